#include "apps/kymora-gui/chart/chart_painter.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>

namespace kymora::chart {

QColor TraceColour(int channel) {
  static const QColor kColours[] = {{0, 70, 160},  {170, 30, 30}, {0, 120, 60}, {120, 60, 150},
                                    {180, 100, 0}, {0, 120, 130}, {90, 90, 90}, {160, 40, 110}};
  return kColours[static_cast<std::size_t>(channel) % (sizeof kColours / sizeof kColours[0])];
}

QColor SelectionColour() { return QColor(60, 120, 220, 55); }

namespace {
const QColor kFrame(200, 200, 200), kGrid(236, 236, 236), kText(40, 40, 40), kBoundary(150, 150, 150);

// One device pixel wide whatever the device.
QPen Thin(const QColor& colour) { return QPen(colour, 0); }

// Grid lines as filled rectangles: the raster engine fills a rectangle many times faster than it strokes a
// line of the same pixels, and a chart has dozens of them across its whole width.
void HorizontalRule(QPainter& painter, double x0, double x1, double y, double width, const QColor& colour) {
  painter.fillRect(QRectF(x0, std::floor(y), x1 - x0, width), colour);
}
void VerticalRule(QPainter& painter, double x, double y0, double y1, double width, const QColor& colour) {
  painter.fillRect(QRectF(std::floor(x), y0, width, y1 - y0), colour);
}

double RuleWidth(const ChartDecor& decor) { return std::max(1.0, std::round(decor.fontScale)); }

ValueView RowView(const ChartLayout& layout, const ChannelTrace& trace, int row) {
  const auto& r = layout.rows[static_cast<std::size_t>(row)];
  return {trace.range.bottom, trace.range.top, static_cast<double>(r.top), static_cast<double>(r.height)};
}

QRectF TraceRect(const ChartLayout& layout, int row) {
  const auto& r = layout.rows[static_cast<std::size_t>(row)];
  return QRectF(layout.traceLeft, r.top, layout.traceWidth, r.height);
}

// Lines from each column's minimum to its maximum, at least one pixel long.
void AddColumnLines(std::vector<MinMax>& columns, int firstColumn, double left, const ValueView& vv,
                    QVector<QLineF>& lines) {
  ConnectColumns(columns.data(), static_cast<int>(columns.size()));
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const auto& m = columns[c];
    if (m.Empty()) continue;
    const double x = left + firstColumn + static_cast<double>(c) + 0.5;
    double y0 = vv.YOf(m.max), y1 = vv.YOf(m.min);
    if (y1 - y0 < 1) y1 = y0 + 1;
    lines.append(QLineF(x, y0, x, y1));
  }
}

void PaintBlockTrace(QPainter& painter, const ChartLayout& layout, const ChartContent& content, const TimeView& view,
                     int channel, int block) {
  const auto& trace = content.channels[static_cast<std::size_t>(channel)];
  const auto& span = content.timeline.Block(block);
  if (block >= static_cast<int>(trace.hasData.size()) || !trace.hasData[static_cast<std::size_t>(block)]) return;
  const int c0 = std::max(0, static_cast<int>(std::floor(view.XOf(span.startSec))));
  const int c1 = std::min(layout.traceWidth, static_cast<int>(std::ceil(view.XOf(span.EndSec()))));
  if (c1 <= c0) return;
  const double perColumn = view.secsPerPixel / span.secsPerTick;
  const double first = (view.SecondsAt(c0) - span.startSec) / span.secsPerTick;
  const auto vv = RowView(layout, trace, channel);
  const auto* summary = block < static_cast<int>(trace.summaries.size())
                            ? trace.summaries[static_cast<std::size_t>(block)].get()
                            : nullptr;
  const int level = summary ? summary->LevelFor(perColumn) : -1;

  if (level >= 0) {
    std::vector<MinMax> columns(static_cast<std::size_t>(c1 - c0));
    summary->Columns(level, first, perColumn, c1 - c0, columns.data());
    QVector<QLineF> lines;
    lines.reserve(c1 - c0);
    AddColumnLines(columns, c0, layout.traceLeft, vv, lines);
    painter.drawLines(lines);
    return;
  }
  // Closer than the summaries go (or before they are built): the samples themselves.
  const auto from = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(first)) - 1);
  const auto to =
      std::min<std::int64_t>(span.length, static_cast<std::int64_t>(std::ceil(first + perColumn * (c1 - c0))) + 1);
  if (to <= from || to - from > kMaxSamplesPerPaint || !content.readSamples) {
    painter.setPen(Thin(kBoundary));
    painter.drawText(TraceRect(layout, channel), Qt::AlignCenter, QStringLiteral("Preparing the trace…"));
    return;
  }
  std::vector<float> samples;
  if (!content.readSamples(channel, block, from, to - from, &samples) || samples.empty()) return;
  if (perColumn >= 1) {
    std::vector<MinMax> columns(static_cast<std::size_t>(c1 - c0));
    ColumnsOfSamples(samples.data(), from, static_cast<std::int64_t>(samples.size()), first, perColumn, c1 - c0,
                     columns.data());
    QVector<QLineF> lines;
    AddColumnLines(columns, c0, layout.traceLeft, vv, lines);
    painter.drawLines(lines);
    return;
  }
  // Fewer samples than pixels: a line through the samples, broken where a sample is not a number.
  QVector<QPointF> points;
  auto flush = [&] {
    if (points.size() > 1)
      painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    else if (points.size() == 1)
      painter.drawPoint(points.front());
    points.clear();
  };
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (std::isnan(samples[i])) {
      flush();
      continue;
    }
    const double t = span.startSec + static_cast<double>(from + static_cast<std::int64_t>(i)) * span.secsPerTick;
    points.append(QPointF(layout.traceLeft + view.XOf(t), vv.YOf(samples[i])));
  }
  flush();
}

void PaintLabels(QPainter& painter, const ChartLayout& layout, const ChartContent& content, const ChartDecor& decor) {
  QFont titleFont = painter.font(), smallFont = painter.font();
  titleFont.setBold(true);
  smallFont.setPointSizeF(smallFont.pointSizeF() * 0.85);
  for (int c = 0; c < static_cast<int>(layout.rows.size()); ++c) {
    const auto& row = layout.rows[static_cast<std::size_t>(c)];
    const auto& trace = content.channels[static_cast<std::size_t>(c)];
    const QRectF label(0, row.top, layout.traceLeft, row.height);
    if (c == decor.currentChannel) painter.fillRect(label.adjusted(1, 0, -1, 0), QColor(225, 235, 250));
    painter.fillRect(QRectF(2, row.top + 4, 4, 14 * decor.fontScale), TraceColour(c));
    painter.setPen(Thin(kText));
    painter.setFont(titleFont);
    // The title on up to two lines, the units under it, all left of the scale's numbers.
    const QRectF textBox = label.adjusted(10 * decor.fontScale, 2, -60 * decor.fontScale, -2);
    const QFontMetricsF titleMetrics(titleFont, painter.device());
    const QString title = QString::fromStdWString(trace.title);
    QRectF titleBox(textBox.topLeft(), QSizeF(textBox.width(), titleMetrics.height() * 2));
    QRectF used = painter.boundingRect(titleBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);
    if (used.height() > titleBox.height() + 1 || used.width() > titleBox.width() + 1) {
      painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignTop,
                       titleMetrics.elidedText(title, Qt::ElideRight, textBox.width()));
      used = QRectF(titleBox.topLeft(), QSizeF(textBox.width(), titleMetrics.height()));
    } else {
      painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);
    }
    painter.setFont(smallFont);
    painter.drawText(QRectF(textBox.left(), used.bottom(), textBox.width(), textBox.bottom() - used.bottom()),
                     Qt::AlignLeft | Qt::AlignTop, QString::fromStdWString(trace.units));
    // The scale: ticks and values along the right edge of the label column.
    const auto vv = RowView(layout, trace, c);
    const QFontMetricsF metrics(smallFont, painter.device());
    const double right = layout.traceLeft - 3;
    for (double v : ValueTicks(trace.range, row.height, static_cast<int>(metrics.height() * 2.5))) {
      const double y = vv.YOf(v);
      painter.setPen(Thin(kText));
      painter.drawLine(QLineF(right - 3, y, right + 3, y));
      const QString text = QString::fromStdString(ValueText(v));
      const double top = std::clamp(y - metrics.height() / 2, static_cast<double>(row.top),
                                    static_cast<double>(row.top + row.height) - metrics.height());
      painter.drawText(QRectF(right - 60 * decor.fontScale, top, 55 * decor.fontScale, metrics.height()),
                       Qt::AlignRight | Qt::AlignVCenter, text);
      HorizontalRule(painter, layout.traceLeft, layout.traceLeft + layout.traceWidth, y, RuleWidth(decor), kGrid);
    }
  }
}

void PaintTimeAxis(QPainter& painter, const ChartLayout& layout, const TimeView& view, double rule) {
  const QFontMetricsF metrics(painter.font(), painter.device());
  const int gap = static_cast<int>(metrics.horizontalAdvance(QStringLiteral("00:00:00.0")) + 12);
  const auto ticks = TimeTicks(view, layout.traceWidth, gap);
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : NiceTimeStep(view.secsPerPixel * gap);
  const double axisY = layout.axisTop + 2;
  painter.setPen(Thin(kText));
  painter.drawLine(QLineF(layout.traceLeft, axisY, layout.traceLeft + layout.traceWidth, axisY));
  for (double t : ticks) {
    const double x = layout.traceLeft + view.XOf(t);
    for (const auto& row : layout.rows) VerticalRule(painter, x, row.top, row.top + row.height, rule, kGrid);
    painter.setPen(Thin(kText));
    painter.drawLine(QLineF(x, axisY, x, axisY + 4));
    // Centred under its tick, but kept inside the chart at the right edge.
    const QString label = QString::fromStdString(TimeLabel(t, step));
    const double width = metrics.horizontalAdvance(label);
    const double left = std::min(x - width / 2, layout.width - width - 2);
    painter.drawText(QRectF(left, axisY + 5, width + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop, label);
  }
  painter.drawText(
      QRectF(10, axisY + 5, layout.traceLeft / 2.0, metrics.height()), Qt::AlignLeft | Qt::AlignTop,
      step < 60 && view.SecondsAt(layout.traceWidth) < 60 ? QStringLiteral("Time (s)") : QStringLiteral("Time"));
}
}  // namespace

void PaintTrace(QPainter& painter, const ChartLayout& layout, const ChartContent& content, const TimeView& view,
                int channel) {
  painter.save();
  painter.setClipRect(TraceRect(layout, channel));
  painter.setPen(QPen(TraceColour(channel), 0));
  for (int b = 0; b < content.timeline.BlockCount(); ++b) PaintBlockTrace(painter, layout, content, view, channel, b);
  painter.restore();
}

void PaintChart(QPainter& painter, const ChartLayout& layout, const ChartContent& content, const TimeView& view,
                const ChartDecor& decor) {
  painter.fillRect(QRectF(0, 0, layout.width, layout.height), Qt::white);
  if (layout.rows.empty()) {
    painter.setPen(Thin(kText));
    painter.drawText(QRectF(0, 0, layout.width, layout.height), Qt::AlignCenter, QStringLiteral("No channels"));
    return;
  }
  PaintLabels(painter, layout, content, decor);
  PaintTimeAxis(painter, layout, view, RuleWidth(decor));

  // The selection (or the drag in progress) across every row.
  double s0 = 0, s1 = 0;
  if (decor.dragging) {
    s0 = std::min(decor.dragX0, decor.dragX1);
    s1 = std::max(decor.dragX0, decor.dragX1);
  } else if (content.selection.valid) {
    s0 = view.XOf(content.timeline.SecondsOf(content.selection.start));
    s1 = view.XOf(content.timeline.SecondsOf(content.selection.end));
  }
  if (s1 > s0) {
    const double top = layout.rows.front().top, bottom = layout.rows.back().top + layout.rows.back().height;
    const double left = std::max(0.0, s0), right = std::min<double>(layout.traceWidth, s1);
    if (right > left)
      painter.fillRect(QRectF(layout.traceLeft + left, top, right - left, bottom - top), SelectionColour());
  }

  for (int c = 0; c < static_cast<int>(layout.rows.size()); ++c) PaintTrace(painter, layout, content, view, c);

  // Block boundaries, and the frames of the rows.
  painter.setPen(QPen(kBoundary, 0, Qt::DashLine));
  for (int b = 1; b < content.timeline.BlockCount(); ++b) {
    const double x = view.XOf(content.timeline.Block(b).startSec);
    if (x < 0 || x > layout.traceWidth) continue;
    for (const auto& row : layout.rows)
      painter.drawLine(QLineF(layout.traceLeft + x, row.top, layout.traceLeft + x, row.top + row.height));
    painter.drawText(QPointF(layout.traceLeft + x + 3, layout.rows.front().top + 12 * decor.fontScale),
                     QStringLiteral("Block %1").arg(b + 1));
  }
  painter.setPen(QPen(kFrame, 0));
  for (int c = 0; c < static_cast<int>(layout.rows.size()); ++c) painter.drawRect(TraceRect(layout, c));

  if (decor.cursorX >= 0 && decor.cursorX <= layout.traceWidth) {
    painter.setPen(QPen(QColor(90, 90, 90), 0, Qt::DotLine));
    painter.drawLine(QLineF(layout.traceLeft + decor.cursorX, layout.rows.front().top, layout.traceLeft + decor.cursorX,
                            layout.axisTop));
  }
}

}  // namespace kymora::chart
