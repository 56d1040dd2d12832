#include "spirometry/views/spiro_xy_graph.h"

#include <QPainter>
#include <algorithm>

namespace Spirometry {

namespace {
QPen Pen(const QColor& colour, const PaintStyle& style) {
  QPen pen(colour);
  pen.setWidth(style.pen);
  return pen;
}

ValueSpan Widened(const ChannelTrace& trace) {
  const MinMax m = trace.Overall();
  return m.Empty() ? ValueSpan{} : WidenedRange(m.min, m.max, false);
}
}  // namespace

ValueSpan XYVolumeRange(const DataPage& page) { return Widened(page.volume); }
ValueSpan XYFlowRange(const DataPage& page) { return Widened(page.flow); }

SpiroXYGraph::SpiroXYGraph(const DataPage* page) : mPage(page) {}

void SpiroXYGraph::SetVolumeRange(ValueSpan range) {
  mVolumeRange = range;
  mRebuild = true;
}

void SpiroXYGraph::SetFlowRange(ValueSpan range) {
  mFlowRange = range;
  mRebuild = true;
}

void SpiroXYGraph::SetCursorPoint(bool show, double volume, double flow) {
  mCursorShown = show;
  mCursorVolume = volume;
  mCursorFlow = flow;
}

double SpiroXYGraph::VolumeAt(int x, const QRect& rect) const {
  return AxisMap::Of(mVolumeRange, rect.width(), false).ValueAt(x);
}

double SpiroXYGraph::FlowAt(int y, const QRect& rect) const {
  return AxisMap::Of(mFlowRange, rect.height(), true).ValueAt(y);
}

QPoint SpiroXYGraph::CursorPixel(const QRect& rect) const {
  return {rect.left() + Truncated(AxisMap::Of(mVolumeRange, rect.width(), false).PixelOf(mCursorVolume)),
          rect.top() + Truncated(AxisMap::Of(mFlowRange, rect.height(), true).PixelOf(mCursorFlow))};
}

void SpiroXYGraph::Build(const QRect& rect, const PaintStyle& style) {
  mLoops = FlowVolumeLoops{};
  mBuiltFor = rect;
  mRebuild = false;
  if (!mPage || !mPage->valid) return;
  // The analysed range lies in one block, so it is one piece; the volume and flow traces cover it alike.
  const AxisMap vx = AxisMap::Of(mVolumeRange, rect.width(), false);
  const AxisMap fy = AxisMap::Of(mFlowRange, rect.height(), true);
  const std::int64_t n = std::min(mPage->volume.Size(), mPage->flow.Size());
  AddLoopPiece(mPage->volume.Samples().data(), mPage->flow.Samples().data(), n, vx, fy, {rect.left(), rect.top()},
               style.markerHeight, &mLoops);
}

void SpiroXYGraph::Draw(QPainter& painter, const QRect& rect, const PaintStyle& style) {
  if (!mPage || !mPage->valid || rect.width() <= 0 || rect.height() <= 0) return;
  if (mRebuild || rect != mBuiltFor) Build(rect, style);
  painter.save();
  painter.setClipRect(rect);
  painter.fillRect(rect, Qt::white);
  painter.setPen(Pen(SpiroColours::kBoundary, style));
  const int zeroY = rect.top() + Truncated(AxisMap::Of(mFlowRange, rect.height(), true).PixelOf(0.0));
  painter.drawLine(rect.left(), zeroY, rect.right(), zeroY);

  painter.setPen(Pen(SpiroColours::kMarker, style));
  std::size_t at = 0;
  std::vector<QPoint> chunk;
  for (std::int32_t count : mLoops.polylineCounts) {
    const PixelPoint* run = mLoops.points.data() + at;
    if (count == 1) painter.drawPoint(run[0].x, run[0].y);
    for (const auto& [from, size] : PolylineChunks(count, kMaxPolylineChunk)) {
      chunk.clear();
      for (std::int32_t k = from; k < from + size; ++k) chunk.emplace_back(run[k].x, run[k].y);
      painter.drawPolyline(chunk.data(), size);
    }
    at += static_cast<std::size_t>(count);
  }
  painter.setPen(Pen(QColor(55, 55, 55), style));
  for (std::size_t k = 0; k + 2 < mLoops.chevrons.size(); k += 3) {
    const QPoint c[3] = {{mLoops.chevrons[k].x, mLoops.chevrons[k].y},
                         {mLoops.chevrons[k + 1].x, mLoops.chevrons[k + 1].y},
                         {mLoops.chevrons[k + 2].x, mLoops.chevrons[k + 2].y}};
    painter.drawPolyline(c, 3);
  }
  if (mCursorShown) {
    const QPoint p = CursorPixel(rect);
    const int arm = MarkerTickLength(style.markerHeight);
    painter.setPen(Pen(Qt::red, style));
    painter.drawLine(p.x() - arm, p.y(), p.x() + arm, p.y());
    painter.drawLine(p.x(), p.y() - arm, p.x(), p.y() + arm);
  }
  painter.restore();
}

void PaintXYPage(QPainter& painter, const QRect& area, const DataPage& page, const std::wstring& title,
                 const PaintStyle& style) {
  const XYLayout l = LayOutXYPlot(ToPixelRect(area), style.ScaleWidth(), style.ScaleLabelHeight(), style.lineHeight);
  painter.save();
  painter.setFont(style.windowFont);
  painter.setPen(Qt::black);
  painter.drawText(ToQRect(l.readout), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdWString(title));
  painter.restore();
  const QRect graphRect = ToQRect(l.graph);
  if (!page.valid) {
    PaintCentredMessage(painter, graphRect, page.message, style);
    return;
  }
  SpiroXYGraph graph(&page);
  graph.SetVolumeRange(XYVolumeRange(page));
  graph.SetFlowRange(XYFlowRange(page));
  graph.Draw(painter, graphRect, style);
  painter.save();
  painter.setFont(style.windowFont);
  painter.setPen(Qt::black);
  painter.drawText(graphRect.adjusted(3 * style.pen, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdWString(page.flowTitle + L"  /  " + page.volumeTitle));
  painter.restore();
  const QRect flowScale = ToQRect(l.flowScale);
  // The scales' ends line up with the graph's, whatever margin their rectangles leave.
  PaintValueScale(painter, QRect(flowScale.left(), graphRect.top(), flowScale.width(), graphRect.height()),
                  graph.FlowRange(), true, page.flowUnits, style);
  const QRect volumeScale = ToQRect(l.volumeScale);
  PaintValueScale(painter, QRect(graphRect.left(), volumeScale.top(), graphRect.width(), volumeScale.height()),
                  graph.VolumeRange(), false, page.volumeUnits, style);
  PaintGraphFrame(painter, graphRect, style);
}

}  // namespace Spirometry
