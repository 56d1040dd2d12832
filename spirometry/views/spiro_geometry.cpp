#include "spirometry/views/spiro_geometry.h"

#include <algorithm>
#include <cmath>

namespace Spirometry {

namespace {
constexpr int kGraphIndent = 10;       // from the scale's label column to the graph
constexpr float kRangeMargin = 0.15f;  // of the data's span, added at each end
constexpr double kMinimumSpan = 0.25;
constexpr double kChevronAngle = 0.43633232;  // 25° either side of the way back
}  // namespace

DataLayout LayOutDataWindow(const PixelRect& c, int w, int t) {
  const int height = c.bottom - c.top;
  const int top = c.top + t + 1;
  const int gap = (2 * height) / 200;
  const int mid = ((c.bottom - (8 * height) / 100) + top) / 2;
  const int h = mid - gap - top;
  // The graphs end a hundredth of the width short of the right edge, wherever the content starts.
  const int right = c.right - (c.right - c.left) / 100;
  const int left = c.left + w + kGraphIndent;
  DataLayout l;
  l.flowGraph = {left, top, right, top + h};
  l.volumeGraph = {left, mid + gap, right, mid + gap + h};
  l.flowScale = {c.left + 2, top, c.left + w + kGraphIndent - 1, top + h};
  l.volumeScale = {c.left + 2, mid + gap, c.left + w + kGraphIndent - 1, mid + gap + h};
  l.timeScale = {c.left + w + 2, mid + gap + h + 1, right - 2, c.bottom - 5};
  l.readout = {left, c.top, right, top - 1};
  return l;
}

XYLayout LayOutXYPlot(const PixelRect& c, int w, int hx, int t) {
  XYLayout l;
  l.graph = {c.left + w + kGraphIndent, c.top + t + 1, c.right - (2 * (c.right - c.left)) / 100,
             c.bottom - static_cast<int>(std::floor(1.5 * hx))};
  l.flowScale = {c.left + 2, l.graph.top - 6, c.left + w + kGraphIndent, l.graph.bottom + 6};
  l.volumeScale = {c.left + w + 4, l.graph.bottom, l.graph.right + 6, c.bottom - 2};
  l.readout = {c.left + w, c.top + 1, l.graph.right, l.graph.top};
  return l;
}

ValueSpan WidenedRange(float min, float max, bool minimumSpan) {
  const float margin = kRangeMargin * (max - min);
  ValueSpan r{static_cast<double>(min) - margin, static_cast<double>(max) + margin};
  if (minimumSpan && r.high - r.low < kMinimumSpan) {
    r.high += kMinimumSpan / 2;
    r.low -= kMinimumSpan / 2;
  }
  return r;
}

AxisMap AxisMap::Of(ValueSpan range, int pixels, bool upward) {
  const double width = range.high - range.low;
  const double span = width > 0 && std::isfinite(width) ? width : 1.0;
  AxisMap m;
  if (upward) {
    m.pixelsPerUnit = -pixels / span;
    m.offset = -(range.low + span);
  } else {
    m.pixelsPerUnit = pixels / span;
    m.offset = -range.low;
  }
  return m;
}

int Truncated(double pixel) {
  if (!(std::fabs(pixel) < 1e9)) return pixel > 0 ? 1000000000 : -1000000000;  // keeps painters sane
  return static_cast<int>(pixel);
}

int XOfSample(std::int64_t samplesFromStart, std::int64_t samplesShown, int width) {
  if (samplesShown <= 0 || width <= 0) return 0;
  const double perPixel = static_cast<double>(samplesShown) / width;
  return Truncated(static_cast<double>(samplesFromStart) / perPixel);
}

std::int64_t SampleAtX(int x, std::int64_t samplesShown, int width) {
  if (samplesShown <= 0 || width <= 0 || x < 0) return 0;
  return static_cast<std::int64_t>(x * (static_cast<double>(samplesShown) / width));
}

double NiceStep(double minimum) {
  if (!(minimum > 0) || !std::isfinite(minimum)) return 1.0;
  double decade = std::pow(10.0, std::floor(std::log10(minimum)));
  for (;;) {
    for (double m : {1.0, 2.0, 5.0})
      if (m * decade >= minimum * (1 - 1e-12)) return m * decade;
    decade *= 10;
  }
}

double TickStep(ValueSpan range, int pixels, int minGapPixels) {
  const double span = range.high - range.low;
  if (!(span > 0) || pixels <= 0) return 1.0;
  return NiceStep(span * std::max(1, minGapPixels) / pixels);
}

std::vector<double> TickValues(ValueSpan range, double step) {
  std::vector<double> ticks;
  if (!(step > 0) || !(range.high >= range.low)) return ticks;
  const double first = std::ceil(range.low / step - 1e-9);
  for (double k = first; k * step <= range.high + step * 1e-9 && ticks.size() < 1000; k += 1) {
    const double v = k * step;
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  }
  return ticks;
}

int MarkerTickLength(int markerFontHeight) { return std::max(3, markerFontHeight / 3); }

PeakMark PefMark(PixelPoint trace, int length) {
  const PixelPoint end{trace.x, trace.y + length};
  return {trace, end, {end.x, end.y - 1}, true};
}

PeakMark PifMark(PixelPoint trace, int length) {
  const PixelPoint end{trace.x, trace.y - length};
  return {trace, end, {end.x, end.y + 1}, false};
}

std::int32_t WholeRate(double secsPerSample) {
  if (!(secsPerSample > 0)) return 0;
  return static_cast<std::int32_t>(1.0 / secsPerSample + 0.5);
}

std::int64_t Fev1Sample(std::int64_t maxVolumeSample, std::int64_t minVolumeSample, std::int32_t wholeRate,
                        std::int64_t blockLength) {
  const std::int64_t at = maxVolumeSample + wholeRate;
  return at >= 0 && at < blockLength && at < minVolumeSample ? at : -1;
}

DimensionMark VolumeDimension(int x, int yFrom, int yTo, int labelGap) {
  return {x, yFrom, yTo, {x + labelGap, (yFrom + yTo) / 2}};
}

std::array<PixelPoint, 3> ChevronAt(PixelPoint p, double dx, double dy, double h) {
  const double a = std::atan2(-dy, -dx);
  auto arm = [&](double angle) {
    return PixelPoint{p.x + Truncated(std::cos(angle) * h), p.y + Truncated(std::sin(angle) * h)};
  };
  return {arm(a + kChevronAngle), p, arm(a - kChevronAngle)};
}

}  // namespace Spirometry
