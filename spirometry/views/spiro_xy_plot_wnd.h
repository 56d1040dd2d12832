#pragma once
// The flow-volume plot of a spirometry document: flow against volume over the analysed stretch with the
// direction of travel, drag scales, a readout under the mouse, the point under the data window's cursor,
// and Copy, Print and Print Preview of its page.
#include <memory>

#include "spirometry/views/cursor_link.h"
#include "spirometry/views/data_page.h"
#include "spirometry/views/drag_scale.h"
#include "spirometry/views/spiro_view_base.h"
#include "spirometry/views/spiro_xy_graph.h"

namespace Spirometry {

class SpiroXYWidget;

class SpiroXYPlotWnd final : public SpiroViewBase, public IDragScaleObserver, public ICursorPointSink {
 public:
  SpiroXYPlotWnd(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host);

  ComPtr<IPrintout> MakePrintout() override;
  HRESULT Close() override;
  void ScaleChanged(int scaleId, ValueSpan range) override;
  void CursorPoint(bool show, double volume, double flow) override;

  const DataPage& Page() const { return *mPage; }
  SpiroXYGraph& Graph() { return mGraph; }
  // The mouse at (x, y) of the graph, or x = -1 when it left: the readout.
  void MoveMouse(int x, int y, QSize graph);

 protected:
  QWidget* CreateWidget() override;
  void Update() override;

 private:
  ~SpiroXYPlotWnd() override;

  std::unique_ptr<DataPage> mPage;  // the graph points at it
  SpiroXYGraph mGraph;
  SpiroXYWidget* mView = nullptr;  // owned by the base as its widget
};

}  // namespace Spirometry
