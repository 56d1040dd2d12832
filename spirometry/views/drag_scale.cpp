#include "spirometry/views/drag_scale.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace Spirometry {

namespace {
constexpr double kWheelZoom = 1.25;  // per notch
}  // namespace

CDragScale::CDragScale(int id, bool vertical, IDragScaleObserver* observer, QWidget* parent)
    : QWidget(parent), mId(id), mVertical(vertical), mObserver(observer) {
  setObjectName(QString::number(id));
  setCursor(vertical ? Qt::SizeVerCursor : Qt::SizeHorCursor);
}

void CDragScale::SetRange(ValueSpan range) {
  mRange = range;
  update();
}

void CDragScale::SetUnits(const std::wstring& units) {
  mUnits = units;
  update();
}

void CDragScale::SetSpan(int from, int length) {
  mSpanFrom = from;
  mSpanLength = length;
  update();
}

QRect CDragScale::SpanRect() const {
  if (mSpanLength < 0) return rect();
  return mVertical ? QRect(0, mSpanFrom, width(), mSpanLength) : QRect(mSpanFrom, 0, mSpanLength, height());
}

void CDragScale::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintValueScale(painter, SpanRect(), mRange, mVertical, mUnits, PaintStyle::ForDpi(logicalDpiY()));
}

void CDragScale::Change(ValueSpan range) {
  if (!(range.high > range.low) || !std::isfinite(range.low) || !std::isfinite(range.high)) return;
  SetRange(range);
  if (mObserver) mObserver->ScaleChanged(mId, range);
}

void CDragScale::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  mDragging = true;
  mDragAt = Along(event->position());
  mDragRange = mRange;
}

void CDragScale::mouseMoveEvent(QMouseEvent* event) {
  if (!mDragging) return;
  const QRect span = SpanRect();
  const int pixels = mVertical ? span.height() : span.width();
  if (pixels <= 0) return;
  // The value under the mouse stays under it: a drag down (or left) shows higher values.
  const double perPixel = (mDragRange.high - mDragRange.low) / pixels;
  const double moved = (Along(event->position()) - mDragAt) * perPixel * (mVertical ? 1 : -1);
  Change({mDragRange.low + moved, mDragRange.high + moved});
}

void CDragScale::wheelEvent(QWheelEvent* event) {
  const QRect span = SpanRect();
  const int pixels = mVertical ? span.height() : span.width();
  if (pixels <= 0 || event->angleDelta().y() == 0) return;
  const AxisMap map = AxisMap::Of(mRange, pixels, mVertical);
  const double centre = map.ValueAt(Along(event->position()) - (mVertical ? span.top() : span.left()));
  const double factor = event->angleDelta().y() > 0 ? 1 / kWheelZoom : kWheelZoom;
  Change({centre - (centre - mRange.low) * factor, centre + (mRange.high - centre) * factor});
  event->accept();
}

}  // namespace Spirometry
