#pragma once
// The chart's value geometry: a channel's vertical scale, its ticks, fitting it to the data and zooming it,
// and the rows of the chart. Plain functions, no drawing.
#include <string>
#include <vector>

namespace kymora::chart {

// Values from bottom to top over a row of pixels from y0 (top) down `height` pixels.
struct ValueView {
  double bottom = -1, top = 1;
  double y0 = 0, height = 1;
  double YOf(double value) const { return y0 + (top - value) / (top - bottom) * height; }
  double ValueAt(double y) const { return top - (y - y0) / height * (top - bottom); }
};

struct ValueRange {
  double bottom = -1, top = 1;
  friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// A range that shows data from min to max with a margin of 5 % of their span above and below; a flat
// signal gets ±10 % of its value (±1 at zero); no finite data gives -1 to 1.
ValueRange FitRange(double min, double max);
// Zooms by `factor` (> 1 zooms in) about the value `centre`.
ValueRange ZoomRange(ValueRange range, double factor, double centre);
// Tick values within the range at a 1, 2, 5 × 10^k step, at least `minGapPixels` apart over `height` pixels.
std::vector<double> ValueTicks(ValueRange range, double height, int minGapPixels);
// A value with six significant digits, in the shorter of plain and exponent notation ("%.6g").
std::string ValueText(double value);

struct ChartRow {
  int top = 0, height = 0;
};

// The chart's layout in a widget: a label column on the left (titles, units, scales), the trace area to its
// right, one row per channel of equal height with a gap between rows, and the time axis at the bottom.
struct ChartLayout {
  int width = 0, height = 0;
  int traceLeft = 0, traceWidth = 0;
  int axisTop = 0, axisHeight = 0;
  std::vector<ChartRow> rows;
  // The row at a y, or -1 (gaps, the axis, outside).
  int RowAt(int y) const;
};

ChartLayout LayOutChart(int width, int height, int channels, int labelWidth = 170, int axisHeight = 30, int gap = 6);

}  // namespace kymora::chart
