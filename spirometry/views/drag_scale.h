#pragma once
// A value scale the user drags: dragging moves the range with the mouse, the wheel zooms about the value
// under it. Each change goes to the observer with the scale's control id (also its object name).
#include <QWidget>
#include <functional>
#include <string>

#include "spirometry/views/spiro_graph.h"

namespace Spirometry {

inline constexpr int kFlowScaleId = 4200, kVolumeScaleId = 4201, kReadoutId = 4202;

struct IDragScaleObserver {
  virtual void ScaleChanged(int scaleId, ValueSpan range) = 0;

 protected:
  ~IDragScaleObserver() = default;
};

class CDragScale final : public QWidget {
 public:
  CDragScale(int id, bool vertical, IDragScaleObserver* observer, QWidget* parent);
  void SetRange(ValueSpan range);
  ValueSpan Range() const { return mRange; }
  void SetUnits(const std::wstring& units);
  // The part of the scale that lines up with its graph (the whole scale when not set).
  void SetSpan(int from, int length);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent*) override { mDragging = false; }
  void wheelEvent(QWheelEvent* event) override;

 private:
  QRect SpanRect() const;
  double Along(QPointF p) const { return mVertical ? p.y() : p.x(); }
  void Change(ValueSpan range);

  int mId;
  bool mVertical;
  IDragScaleObserver* mObserver;
  ValueSpan mRange;
  std::wstring mUnits;
  int mSpanFrom = 0, mSpanLength = -1;
  bool mDragging = false;
  double mDragAt = 0;
  ValueSpan mDragRange;
};

}  // namespace Spirometry
