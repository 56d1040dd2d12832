#include "apps/kymora-gui/chart_printout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace kymora::gui {

HRESULT ChartPrintout::GetTitle(std::wstring* title) {
  if (!title) return E_POINTER;
  *title = mTitle;
  return S_OK;
}

HRESULT ChartPrintout::GetPageCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ChartPrintout::PrintPage(std::int32_t page, QPainter* painter, const PrintArea* area) {
  if (!painter || !area) return E_POINTER;
  if (page != 1 || area->width <= 0 || area->height <= 0) return E_INVALIDARG;
  if (!mChart) return E_FAIL;
  // Device pixels per screen pixel: a page at 600 dpi draws everything six and a quarter times larger.
  const double scale = std::max(1.0, area->dpiY / 96.0);
  painter->translate(area->left, area->top);
  QFont title = painter->font();
  title.setBold(true);
  painter->setFont(title);
  const double titleHeight = QFontMetricsF(title, painter->device()).height() * 1.5;
  painter->setPen(Qt::black);
  painter->drawText(QRectF(0, 0, area->width, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                    QString::fromStdWString(mTitle));
  title.setBold(false);
  painter->setFont(title);
  painter->translate(0, titleHeight);
  mChart->PaintInto(*painter, QSize(area->width, std::max(1, area->height - static_cast<int>(titleHeight))), scale);
  return S_OK;
}

}  // namespace kymora::gui
