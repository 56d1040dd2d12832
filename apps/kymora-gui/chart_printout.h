#pragma once
// The chart as a printout: one page with the file's name above the chart as the window shows it (the same
// stretch of time and the same channel scales), with fonts and lines scaled to the device.
#include <QPointer>
#include <string>

#include "apps/kymora-gui/chart/chart_view.h"
#include "host/com/com_object.h"
#include "host/ui/iprintout.h"

namespace kymora::gui {

class ChartPrintout final : public ComObject<IPrintout> {
 public:
  ChartPrintout(chart::ChartView* chart, std::wstring title) : mChart(chart), mTitle(std::move(title)) {}
  HRESULT GetTitle(std::wstring* title) override;
  HRESULT GetPageCount(std::int32_t* count) override;
  HRESULT PrintPage(std::int32_t page, QPainter* painter, const PrintArea* area) override;

 private:
  QPointer<chart::ChartView> mChart;
  std::wstring mTitle;
};

}  // namespace kymora::gui
