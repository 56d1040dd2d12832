#include "spirometry/views/spiro_graph.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <vector>

namespace Spirometry {

namespace {
constexpr int kWindowFontPixels = 10;    // the window font's height on the screen
constexpr double kMarkerFontPoints = 8;  // the marker font
constexpr int kTickGapLines = 3;         // value ticks at least three lines apart

QString Text(const std::wstring& s) { return QString::fromStdWString(s); }

// A tick label with as many decimals as the step needs.
QString TickLabel(double value, double step) {
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
  return QString::number(value, 'f', decimals);
}

QPen Pen(const QColor& colour, const PaintStyle& style) {
  QPen pen(colour);
  pen.setWidth(style.pen);
  return pen;
}

// Marker labels with the band colour behind them. Where forced breaths crowd together (hours on one
// screen) a label that would overlap the last one of its kind is left out; the marks themselves stay.
class LabelWriter {
 public:
  LabelWriter(QPainter& painter, const PaintStyle& style)
      : mPainter(painter), mStyle(style), mMetrics(style.markerFont, painter.device()) {
    mPainter.setFont(style.markerFont);
  }
  const QFontMetrics& Metrics() const { return mMetrics; }
  // At the label's top-left corner, or its bottom-left when `above`. False when it was left out.
  bool Write(QPoint corner, const QString& text, bool above, int kind) {
    const QSize size(mMetrics.horizontalAdvance(text) + 2 * mStyle.pen, mMetrics.height());
    const QRect box = above ? QRect(QPoint(corner.x(), corner.y() - size.height()), size) : QRect(corner, size);
    QRect& last = mLast[kind];
    if (last.intersects(box)) return false;
    last = box;
    mPainter.fillRect(box, SpiroColours::kBand);
    mPainter.setPen(SpiroColours::kMarker);
    mPainter.drawText(box, Qt::AlignCenter, text);
    return true;
  }

 private:
  QPainter& mPainter;
  const PaintStyle& mStyle;
  QFontMetrics mMetrics;
  QRect mLast[5];
};
}  // namespace

PaintStyle PaintStyle::ForDpi(int dpiY) {
  PaintStyle s;
  s.scale = std::max(0.25, dpiY / 96.0);
  const QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  s.windowFont = QFont(system.family());
  s.windowFont.setPixelSize(std::max(1, static_cast<int>(std::lround(kWindowFontPixels * s.scale))));
  s.windowFont.setWeight(QFont::Normal);
  s.markerFont = QFont(system.family());
  s.markerFont.setPixelSize(std::max(1, static_cast<int>(std::lround(kMarkerFontPoints * dpiY / 72.0))));
  s.markerFont.setWeight(QFont::Normal);
  s.lineHeight = s.windowFont.pixelSize() + static_cast<int>(std::lround(2 * s.scale));
  s.markerHeight = s.markerFont.pixelSize();
  s.pen = std::max(1, static_cast<int>(std::lround(s.scale)));
  return s;
}

int PaintStyle::ScaleWidth() const {
  const QFontMetrics fm(windowFont);
  return fm.horizontalAdvance(QStringLiteral("-0000.00")) + lineHeight + static_cast<int>(std::lround(6 * scale));
}

int PaintStyle::ScaleLabelHeight() const { return lineHeight + static_cast<int>(std::lround(6 * scale)); }

QRect ToQRect(const PixelRect& r) { return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height())); }
PixelRect ToPixelRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

int SpiroGraph::YOf(double value, const QRect& rect) const {
  return rect.top() + Truncated(AxisMap::Of(mRange, rect.height(), true).PixelOf(value));
}

int SpiroGraph::XOf(std::int64_t sample, const QRect& rect) const {
  return rect.left() + XOfSample(sample, mPage->Samples(), rect.width());
}

bool SpiroGraph::PointAt(std::int64_t sample, const QRect& rect, QPoint* point) const {
  const float v = Trace().At(sample);
  if (!std::isfinite(v)) return false;
  *point = QPoint(XOf(sample, rect), YOf(v, rect));
  return true;
}

void SpiroGraph::Draw(QPainter& painter, const QRect& rect, const PaintStyle& style) const {
  if (!mPage || !mPage->valid || rect.width() <= 0 || rect.height() <= 0) return;
  painter.save();
  painter.setClipRect(rect);
  painter.fillRect(rect, Qt::white);
  DrawBands(painter, rect, style);
  painter.setPen(Pen(SpiroColours::kBoundary, style));
  const int zero = YOf(0.0, rect);
  painter.drawLine(rect.left(), zero, rect.right(), zero);
  DrawTrace(painter, rect, style);
  DrawMarkers(painter, rect, style);
  painter.setFont(style.windowFont);
  painter.setPen(Qt::black);
  painter.drawText(rect.adjusted(style.pen * 3, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, Text(Title()));
  painter.restore();
}

void SpiroGraph::DrawBands(QPainter& painter, const QRect& rect, const PaintStyle& style) const {
  // Filled rather than stroked: thousands of one-pixel lines fill several times faster than they stroke.
  std::vector<QRect> bands, boundaries;
  boundaries.reserve(2 * mPage->breaths.size());
  for (const Breath& b : mPage->breaths) {
    const int x1 = XOf(mPage->SampleOf(b.Start), rect), x2 = XOf(mPage->SampleOf(b.End), rect);
    if (b.IsForced || b.IsSingleExpiration) bands.emplace_back(x1, rect.top(), std::max(1, x2 - x1), rect.height());
    boundaries.emplace_back(x1, rect.top(), style.pen, rect.height());
    boundaries.emplace_back(x2, rect.top(), style.pen, rect.height());
  }
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(SpiroColours::kBand);
  painter.drawRects(bands.data(), static_cast<int>(bands.size()));
  painter.setBrush(SpiroColours::kBoundary);
  painter.drawRects(boundaries.data(), static_cast<int>(boundaries.size()));
  painter.restore();
}

void SpiroGraph::DrawTrace(QPainter& painter, const QRect& rect, const PaintStyle& style) const {
  const ChannelTrace& trace = Trace();
  const std::int64_t n = trace.Size();
  const int width = rect.width();
  painter.setPen(Pen(Qt::black, style));
  if (n < 2 * static_cast<std::int64_t>(width)) {
    // Few samples: a line through each of them, broken where a sample is not a number.
    QPolygon line;
    for (std::int64_t i = 0; i < n; ++i) {
      QPoint p;
      if (PointAt(i, rect, &p)) {
        line << p;
        continue;
      }
      if (line.size() > 1) painter.drawPolyline(line);
      line.clear();
    }
    if (line.size() > 1) painter.drawPolyline(line);
    return;
  }
  // Many samples: each pixel column from its minimum to its maximum, stretched to meet the column before.
  std::vector<MinMax> columns(static_cast<std::size_t>(width));
  trace.Columns(static_cast<double>(n) / width, width, columns.data());
  std::vector<QRect> lines;  // one-pixel columns, filled (see the bands)
  lines.reserve(columns.size());
  MinMax previous;
  for (int c = 0; c < width; ++c) {
    MinMax m = columns[static_cast<std::size_t>(c)];
    if (m.Empty()) {
      previous = m;
      continue;
    }
    if (!previous.Empty()) {
      m.min = std::min(m.min, previous.max);
      m.max = std::max(m.max, previous.min);
    }
    const int top = YOf(m.max, rect);
    lines.emplace_back(rect.left() + c, top, 1, YOf(m.min, rect) - top + style.pen);
    previous = columns[static_cast<std::size_t>(c)];
  }
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawRects(lines.data(), static_cast<int>(lines.size()));
  painter.restore();
}

void SpiroFlowGraph::DrawMarkers(QPainter& painter, const QRect& rect, const PaintStyle& style) const {
  const int tick = MarkerTickLength(style.markerHeight);
  LabelWriter labels(painter, style);
  for (const Breath& b : mPage->breaths) {
    if (!b.IsForced && !b.IsSingleExpiration) continue;
    auto mark = [&](DataPosition at, bool expiratory) {
      QPoint p;
      if (!PointAt(mPage->SampleOf(at), rect, &p)) return;
      const PeakMark m = expiratory ? PefMark({p.x(), p.y()}, tick) : PifMark({p.x(), p.y()}, tick);
      painter.setPen(Pen(SpiroColours::kMarker, style));
      painter.drawLine(m.from.x, m.from.y, m.to.x, m.to.y);
      labels.Write({m.label.x, m.label.y}, expiratory ? QStringLiteral("PEF") : QStringLiteral("PIF"), !m.labelBelow,
                   expiratory ? 0 : 1);
    };
    mark(b.PeakExpiratoryFlowPosition, true);
    if (b.IsForced && !b.IsSingleExpiration) mark(b.PeakInspiratoryFlowPosition, false);
  }
}

void SpiroVolumeGraph::DrawMarkers(QPainter& painter, const QRect& rect, const PaintStyle& style) const {
  const int head = MarkerTickLength(style.markerHeight);
  const QPen pen = Pen(SpiroColours::kMarker, style);
  LabelWriter labels(painter, style);
  auto dimension = [&](int x, int yFrom, int yTo, const QString& label, bool subscriptOne) {
    const DimensionMark d = VolumeDimension(x, yFrom, yTo, 2 * style.pen);
    painter.setPen(pen);
    painter.drawLine(d.x, d.yFrom, d.x, d.yTo);
    const int dir = d.yTo >= d.yFrom ? 1 : -1;  // arrow heads point away from the middle
    painter.drawLine(d.x, d.yFrom, d.x - head, d.yFrom + dir * head);
    painter.drawLine(d.x, d.yFrom, d.x + head, d.yFrom + dir * head);
    painter.drawLine(d.x, d.yTo, d.x - head, d.yTo - dir * head);
    painter.drawLine(d.x, d.yTo, d.x + head, d.yTo - dir * head);
    const QFontMetrics& fm = labels.Metrics();
    const QPoint at(d.label.x, d.label.y - fm.height() / 2);
    if (labels.Write(at, label, false, subscriptOne ? 2 : 3) && subscriptOne) {
      const QPoint sub(at.x() + fm.horizontalAdvance(label) + style.pen,
                       at.y() + static_cast<int>(std::lround(0.4 * fm.height())));
      labels.Write(sub, QStringLiteral("1"), false, 4);
    }
  };
  for (const Breath& b : mPage->breaths) {
    if (!b.IsForced && !b.IsSingleExpiration) continue;
    QPoint top, bottom;
    const std::int64_t start = mPage->SampleOf(b.MaxVolumePosition);
    if (!PointAt(start, rect, &top) || !PointAt(mPage->SampleOf(b.MinVolumePosition), rect, &bottom)) continue;
    painter.setPen(pen);
    painter.drawLine(top.x(), top.y(), bottom.x(), top.y());  // the level the volumes are measured from
    dimension(bottom.x(), top.y(), bottom.y(), QStringLiteral("FVC"), false);
    const std::int64_t fev1 =
        Fev1Sample(b.MaxVolumePosition.offset, b.MinVolumePosition.offset, mPage->rate, mPage->blockLength);
    QPoint one;
    if (fev1 >= 0 && PointAt(fev1 - mPage->start.offset, rect, &one))
      dimension(one.x(), top.y(), one.y(), QStringLiteral("FEV"), true);
  }
}

void PaintValueScale(QPainter& painter, const QRect& rect, ValueSpan range, bool vertical, const std::wstring& units,
                     const PaintStyle& style) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  painter.save();
  painter.setFont(style.windowFont);
  painter.setPen(Pen(Qt::black, style));
  const int tick = static_cast<int>(std::lround(4 * style.scale));
  const int pixels = vertical ? rect.height() : rect.width();
  const double step = TickStep(range, pixels, kTickGapLines * style.lineHeight);
  const AxisMap map = AxisMap::Of(range, pixels, vertical);
  const QFontMetrics fm(style.windowFont, painter.device());
  for (double v : TickValues(range, step)) {
    const int at = Truncated(map.PixelOf(v));
    const QString label = TickLabel(v, step);
    if (vertical) {
      const int y = rect.top() + at;
      painter.drawLine(rect.right() - tick, y, rect.right(), y);
      painter.drawText(QRect(rect.left(), y - fm.height() / 2, rect.width() - tick - style.pen, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, label);
    } else {
      const int x = rect.left() + at;
      painter.drawLine(x, rect.top(), x, rect.top() + tick);
      painter.drawText(QRect(x - 50 * style.pen, rect.top() + tick, 100 * style.pen, fm.height()), Qt::AlignCenter,
                       label);
    }
  }
  if (vertical) {
    painter.translate(rect.left(), rect.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-rect.height() / 2, 0, rect.height(), style.lineHeight), Qt::AlignCenter, Text(units));
  } else {
    painter.drawText(QRect(rect.left(), rect.top() + tick, rect.width(), fm.height()), Qt::AlignRight | Qt::AlignTop,
                     Text(units));
  }
  painter.restore();
}

void PaintTimeScale(QPainter& painter, const QRect& rect, const QRect& graph, double seconds, const PaintStyle& style) {
  const QRect under(graph.left(), rect.top(), graph.width(), rect.height());
  PaintValueScale(painter, under, {0.0, seconds > 0 ? seconds : 1.0}, false, L"s", style);
}

void PaintGraphFrame(QPainter& painter, const QRect& graph, const PaintStyle& style) {
  painter.save();
  painter.setBrush(Qt::NoBrush);
  painter.setPen(Pen(SpiroColours::kFrame, style));
  painter.drawRect(graph.adjusted(-style.pen, -style.pen, 0, 0));
  painter.restore();
}

void PaintCentredMessage(QPainter& painter, const QRect& rect, const std::wstring& text, const PaintStyle& style) {
  painter.save();
  painter.setFont(style.markerFont);
  painter.setPen(Qt::black);
  painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, Text(text));
  painter.restore();
}

void PaintDataPage(QPainter& painter, const QRect& area, const DataPage& page, const std::wstring& title,
                   const PaintStyle& style) {
  const DataLayout l = LayOutDataWindow(ToPixelRect(area), style.ScaleWidth(), style.lineHeight);
  painter.save();
  painter.setFont(style.windowFont);
  painter.setPen(Qt::black);
  painter.drawText(ToQRect(l.readout), Qt::AlignLeft | Qt::AlignVCenter, Text(title));
  painter.restore();
  const QRect flowRect = ToQRect(l.flowGraph), volumeRect = ToQRect(l.volumeGraph);
  if (!page.valid) {
    PaintCentredMessage(painter, flowRect, page.message, style);
    PaintCentredMessage(painter, volumeRect, page.message, style);
    return;
  }
  SpiroFlowGraph flow(&page);
  SpiroVolumeGraph volume(&page);
  flow.SetRange(page.flowRange);
  volume.SetRange(page.volumeRange);
  flow.Draw(painter, flowRect, style);
  volume.Draw(painter, volumeRect, style);
  PaintValueScale(painter, ToQRect(l.flowScale), page.flowRange, true, page.flowUnits, style);
  PaintValueScale(painter, ToQRect(l.volumeScale), page.volumeRange, true, page.volumeUnits, style);
  PaintTimeScale(painter, ToQRect(l.timeScale), flowRect, page.Seconds(), style);
  PaintGraphFrame(painter, flowRect, style);
  PaintGraphFrame(painter, volumeRect, style);
}

}  // namespace Spirometry
