#include "apps/kymora-gui/chart/value_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "apps/kymora-gui/chart/time_axis.h"

namespace kymora::chart {

ValueRange FitRange(double min, double max) {
  if (!std::isfinite(min) || !std::isfinite(max) || min > max) return {-1, 1};
  if (min == max) {
    const double half = min == 0 ? 1.0 : std::fabs(min) * 0.1;
    return {min - half, max + half};
  }
  const double margin = (max - min) * 0.05;
  return {min - margin, max + margin};
}

ValueRange ZoomRange(ValueRange range, double factor, double centre) {
  if (!(factor > 0)) return range;
  return {centre - (centre - range.bottom) / factor, centre + (range.top - centre) / factor};
}

std::vector<double> ValueTicks(ValueRange range, double height, int minGapPixels) {
  std::vector<double> ticks;
  const double span = range.top - range.bottom;
  if (!(span > 0) || !(height > 0)) return ticks;
  const double step = NiceStep(span / height * std::max(1, minGapPixels));
  // Below 1 a step is 1/n for a whole n, and k/n is the nearest double to the decimal (0.3, not 0.30000000000000004).
  const double perUnit = step < 1 ? std::round(1 / step) : 0;
  for (double k = std::ceil(range.bottom / step - 1e-9); k * step <= range.top + 1e-9 * step; k += 1) {
    const double v = perUnit > 0 ? k / perUnit : k * step;
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);  // no "-0" and no 1e-17 for zero
  }
  return ticks;
}

std::string ValueText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

int ChartLayout::RowAt(int y) const {
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (y >= rows[i].top && y < rows[i].top + rows[i].height) return static_cast<int>(i);
  return -1;
}

ChartLayout LayOutChart(int width, int height, int channels, int labelWidth, int axisHeight, int gap) {
  ChartLayout l;
  l.width = std::max(0, width);
  l.height = std::max(0, height);
  l.traceLeft = std::min(labelWidth, l.width);
  l.traceWidth = l.width - l.traceLeft;
  l.axisHeight = std::min(axisHeight, l.height);
  l.axisTop = l.height - l.axisHeight;
  if (channels <= 0) return l;
  const int available = l.axisTop - gap * channels;
  const int rowHeight = std::max(1, available / channels);
  int y = gap / 2;
  for (int c = 0; c < channels; ++c) {
    l.rows.push_back({y, rowHeight});
    y += rowHeight + gap;
  }
  return l;
}

}  // namespace kymora::chart
