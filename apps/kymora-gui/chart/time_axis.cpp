#include "apps/kymora-gui/chart/time_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kymora::chart {

Timeline::Timeline(const std::vector<std::pair<double, std::int64_t>>& blocks) {
  double start = 0;
  for (const auto& [secsPerTick, length] : blocks) {
    mSpans.push_back({start, secsPerTick, length});
    start = mSpans.back().EndSec();
  }
}

Timeline Timeline::Of(const DataFile& file) {
  std::vector<std::pair<double, std::int64_t>> blocks;
  for (const auto& b : file.blocks) blocks.emplace_back(b.secsPerTick, b.length);
  return Timeline(blocks);
}

DataPosition Timeline::PositionAt(double seconds, bool preferEarlier) const {
  if (mSpans.empty()) return {};
  std::size_t b = 0;
  while (b + 1 < mSpans.size() && (preferEarlier ? seconds > mSpans[b].EndSec() : seconds >= mSpans[b + 1].startSec))
    ++b;
  const auto& span = mSpans[b];
  const double tick = std::round((seconds - span.startSec) / span.secsPerTick);
  const double clamped =
      std::clamp(tick, 0.0, static_cast<double>(std::min<std::int64_t>(span.length, DataPosition::kNotSet - 1)));
  return {static_cast<std::int32_t>(clamped), static_cast<std::int32_t>(b)};
}

double Timeline::SecondsOf(DataPosition position) const {
  if (position.block < 0 || position.block >= BlockCount()) return 0;
  const auto& span = mSpans[static_cast<std::size_t>(position.block)];
  const double offset = position.offset == DataPosition::kNotSet ? static_cast<double>(span.length) : position.offset;
  return span.startSec + offset * span.secsPerTick;
}

TimeView FitAll(double duration, int width) { return {0.0, duration > 0 && width > 0 ? duration / width : 1.0}; }

TimeView ClampView(TimeView view, double duration, int width, double minSecsPerPixel) {
  if (width <= 0 || !(duration > 0)) return FitAll(duration, width);
  const double maxSpp = duration / width;
  view.secsPerPixel = std::clamp(view.secsPerPixel, std::min(minSecsPerPixel, maxSpp), maxSpp);
  const double span = view.secsPerPixel * width;
  view.startSec = std::clamp(view.startSec, 0.0, std::max(0.0, duration - span));
  return view;
}

TimeView ZoomAt(TimeView view, double x, double factor, double duration, int width, double minSecsPerPixel) {
  if (!(factor > 0)) return ClampView(view, duration, width, minSecsPerPixel);
  const double anchor = view.SecondsAt(x);
  TimeView zoomed{0, view.secsPerPixel / factor};
  zoomed = ClampView(zoomed, duration, width, minSecsPerPixel);  // the scale first, then place the anchor
  zoomed.startSec = anchor - x * zoomed.secsPerPixel;
  return ClampView(zoomed, duration, width, minSecsPerPixel);
}

double NiceStep(double minimum) {
  if (!(minimum > 0) || !std::isfinite(minimum)) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(minimum)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    // The tolerance keeps 0.3 / 0.1 style rounding from skipping a step.
    if (m * power >= minimum * (1 - 1e-9)) return m * power;
  }
  return 10.0 * power;
}

double NiceTimeStep(double minSeconds) {
  if (minSeconds < 10.0) return std::min(NiceStep(minSeconds), 10.0);
  static constexpr double kSteps[] = {10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  for (double s : kSteps)
    if (s >= minSeconds) return s;
  return 86400.0 * NiceStep(minSeconds / 86400.0);
}

std::vector<double> TimeTicks(const TimeView& view, int width, int minGapPixels) {
  std::vector<double> ticks;
  if (width <= 0 || !(view.secsPerPixel > 0)) return ticks;
  const double step = NiceTimeStep(view.secsPerPixel * std::max(1, minGapPixels));
  const double end = view.SecondsAt(width);
  for (double k = std::ceil(view.startSec / step - 1e-9);; k += 1) {
    const double t = k * step;
    if (t > end + 1e-9 * step) break;
    ticks.push_back(t);
  }
  return ticks;
}

std::string TimeLabel(double seconds, double step) {
  const int decimals = step >= 1 ? 0 : std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
  const char* sign = seconds < 0 ? "-" : "";
  // Rounded once at the precision shown, so that 59.96 s with one decimal reads 1:00.0, not 0:60.0 or 60.0.
  const double unit = std::pow(10.0, -decimals);
  const double s = std::round(std::fabs(seconds) / unit) * unit;
  char text[64];
  if (s < 60 && step < 60) {
    std::snprintf(text, sizeof text, "%s%.*f", sign, decimals, s);
    return text;
  }
  const auto whole = static_cast<long long>(std::floor(s + unit / 2));
  const double fraction = std::max(0.0, s - static_cast<double>(whole));
  const long long h = whole / 3600, m = (whole / 60) % 60, sec = whole % 60;
  char secText[32];
  std::snprintf(secText, sizeof secText, "%0*.*f", decimals > 0 ? decimals + 3 : 2, decimals,
                static_cast<double>(sec) + fraction);
  if (h > 0)
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%s", sign, h, m, secText);
  else
    std::snprintf(text, sizeof text, "%s%lld:%s", sign, m, secText);
  return text;
}

Selection SelectionFromDrag(const Timeline& timeline, const TimeView& view, double x0, double x1, double minPixels) {
  if (std::fabs(x1 - x0) < minPixels) return {};
  return SelectionOfSeconds(timeline, view.SecondsAt(x0), view.SecondsAt(x1));
}

Selection SelectionOfSeconds(const Timeline& timeline, double t0, double t1) {
  Selection s;
  if (timeline.BlockCount() == 0) return s;
  s.start = timeline.PositionAt(std::min(t0, t1), false);
  s.end = timeline.PositionAt(std::max(t0, t1), true);
  // A drag wholly before the data, after it, or within one sample selects nothing.
  s.valid = timeline.SecondsOf(s.end) > timeline.SecondsOf(s.start);
  if (!s.valid) s = Selection{};
  return s;
}

}  // namespace kymora::chart
