#pragma once
// The drawing of the flow-volume plot, apart from any window: the loops of the analysed stretch (one
// curve per block) with their direction chevrons, the point under the data window's cursor, and a whole
// page with the scales. The plot's window and its printout paint through these.
#include <QPoint>
#include <QRect>
#include <string>

#include "spirometry/views/data_page.h"
#include "spirometry/views/flow_volume_loops.h"
#include "spirometry/views/spiro_graph.h"

class QPainter;

namespace Spirometry {

inline constexpr int kMaxPolylineChunk = 8000;  // points drawn in one call

class SpiroXYGraph {
 public:
  explicit SpiroXYGraph(const DataPage* page);

  // Horizontal (volume) and vertical (flow) ranges; each change rebuilds the loops on the next paint.
  void SetVolumeRange(ValueSpan range);
  void SetFlowRange(ValueSpan range);
  ValueSpan VolumeRange() const { return mVolumeRange; }
  ValueSpan FlowRange() const { return mFlowRange; }
  void MarkForRebuild() { mRebuild = true; }
  // The point under the data window's cursor, in channel units; hidden when `show` is false.
  void SetCursorPoint(bool show, double volume, double flow);
  bool CursorShown() const { return mCursorShown; }

  // Paints the loops, chevrons and cursor point into the graph's rectangle (rebuilding the loops first
  // when the rectangle, the ranges or the data changed).
  void Draw(QPainter& painter, const QRect& rect, const PaintStyle& style);
  // Volume and flow at a pixel of the graph's rectangle (x, y counted from its top-left corner).
  double VolumeAt(int x, const QRect& rect) const;
  double FlowAt(int y, const QRect& rect) const;
  // The cursor point's pixel in the rectangle.
  QPoint CursorPixel(const QRect& rect) const;
  const FlowVolumeLoops& Loops() const { return mLoops; }

 private:
  void Build(const QRect& rect, const PaintStyle& style);

  const DataPage* mPage;
  ValueSpan mVolumeRange, mFlowRange;
  FlowVolumeLoops mLoops;
  QRect mBuiltFor;
  bool mRebuild = true;
  bool mCursorShown = false;
  double mCursorVolume = 0, mCursorFlow = 0;
};

// The flow-volume ranges of a page: data widened by 15 % at each end, without a minimum span.
ValueSpan XYVolumeRange(const DataPage& page);
ValueSpan XYFlowRange(const DataPage& page);

// The whole plot as a page: title line, graph with its frame, the flow and volume scales; the message in
// the graph area when the page is not valid.
void PaintXYPage(QPainter& painter, const QRect& area, const DataPage& page, const std::wstring& title,
                 const PaintStyle& style);

}  // namespace Spirometry
