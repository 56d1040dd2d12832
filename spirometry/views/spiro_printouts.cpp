#include "spirometry/views/spiro_printouts.h"

#include <QPainter>

#include "spirometry/resources/string_table.h"
#include "spirometry/views/data_page.h"
#include "spirometry/views/spiro_graph.h"
#include "spirometry/views/spiro_xy_graph.h"
#include "spirometry/views/view_class.h"

namespace Spirometry {

namespace {

QRect AreaRect(const PrintArea& area) { return QRect(area.left, area.top, area.width, area.height); }
}  // namespace

SpiroPrintOutBase::SpiroPrintOutBase(ComPtr<ICustomDocument> document, SpiroDocument* spiro, int titleString)
    : mDocument(std::move(document)), mSpiro(spiro), mTitle(LoadString(titleString)) {}

HRESULT SpiroPrintOutBase::GetTitle(std::wstring* title) {
  if (!title) return E_POINTER;
  try {
    *title = mTitle;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SpiroPrintOutBase::GetPageCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT SpiroPrintOutBase::PrintPage(std::int32_t page, QPainter* painter, const PrintArea* area) {
  if (!painter || !area) return E_POINTER;
  if (page != 1 || area->width <= 0 || area->height <= 0) return E_INVALIDARG;
  if (!mSpiro) return E_FAIL;
  try {
    painter->save();
    RenderPage(*painter, *area);
    painter->restore();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

SpiroDataPrintOut::SpiroDataPrintOut(ComPtr<ICustomDocument> document, SpiroDocument* spiro)
    : SpiroPrintOutBase(std::move(document), spiro, kStringDataName) {}

void SpiroDataPrintOut::RenderPage(QPainter& painter, const PrintArea& area) {
  const DataPage page = LoadDataPage(*mSpiro);
  PaintDataPage(painter, AreaRect(area), page, mTitle, PaintStyle::ForDpi(area.dpiY));
}

SpiroXYPrintOut::SpiroXYPrintOut(ComPtr<ICustomDocument> document, SpiroDocument* spiro)
    : SpiroPrintOutBase(std::move(document), spiro, kStringXYName) {}

void SpiroXYPrintOut::RenderPage(QPainter& painter, const PrintArea& area) {
  const DataPage page = LoadDataPage(*mSpiro);
  PaintXYPage(painter, AreaRect(area), page, mTitle, PaintStyle::ForDpi(area.dpiY));
}

}  // namespace Spirometry
