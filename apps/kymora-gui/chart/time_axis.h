#pragma once
// The chart's time geometry: blocks laid end to end on one time axis, the mapping of time to pixels, zoom and
// scroll limits, tick steps and labels, and the selection a drag makes. Plain functions, no drawing.
#include <cstdint>
#include <string>
#include <vector>

#include "host/data/data_file.h"

namespace kymora::chart {

struct BlockSpan {
  double startSec = 0;  // on the chart's time axis
  double secsPerTick = 0.001;
  std::int64_t length = 0;
  double EndSec() const { return startSec + static_cast<double>(length) * secsPerTick; }
};

class Timeline {
 public:
  Timeline() = default;
  // Blocks as (seconds per tick, length), laid end to end from 0.
  explicit Timeline(const std::vector<std::pair<double, std::int64_t>>& blocks);
  static Timeline Of(const DataFile& file);

  double Duration() const { return mSpans.empty() ? 0.0 : mSpans.back().EndSec(); }
  std::int32_t BlockCount() const { return static_cast<std::int32_t>(mSpans.size()); }
  const BlockSpan& Block(std::int32_t block) const { return mSpans[static_cast<std::size_t>(block)]; }
  // The position nearest a time: offset rounded to the nearest tick within [0, length]. At a boundary
  // between blocks, the end of the earlier block when `preferEarlier`, else the start of the later one.
  // Times outside the axis go to its ends. Not set when there are no blocks.
  DataPosition PositionAt(double seconds, bool preferEarlier = false) const;
  // The time of a position (an offset of kNotSet is its block's end); 0 for a block that does not exist.
  double SecondsOf(DataPosition position) const;

 private:
  std::vector<BlockSpan> mSpans;
};

// Which stretch of time the trace area shows: x = 0 is its left edge.
struct TimeView {
  double startSec = 0;
  double secsPerPixel = 1;
  double XOf(double seconds) const { return (seconds - startSec) / secsPerPixel; }
  double SecondsAt(double x) const { return startSec + x * secsPerPixel; }
};

// The whole duration across the width.
TimeView FitAll(double duration, int width);
// Keeps the view on the data: never before 0, never past the end, and the whole at most (never less
// than `minSecsPerPixel` per pixel either).
TimeView ClampView(TimeView view, double duration, int width, double minSecsPerPixel);
// Zooms by `factor` (> 1 zooms in) keeping the time under x in place, then clamps.
TimeView ZoomAt(TimeView view, double x, double factor, double duration, int width, double minSecsPerPixel);

// The smallest step of the time axis at or above `minSeconds`: 1, 2, 5 × 10^k below ten seconds, then
// 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h, then whole days of 1, 2, 5 × 10^k.
double NiceTimeStep(double minSeconds);
// The smallest 1, 2 or 5 × 10^k at or above a positive value.
double NiceStep(double minimum);
// Tick times in the view, a step apart, at least `minGapPixels` apart on screen.
std::vector<double> TimeTicks(const TimeView& view, int width, int minGapPixels);
// A tick's label: seconds with the decimals the step needs below a minute ("12.5"), else m:ss or h:mm:ss
// (with decimals of a second when the step needs them).
std::string TimeLabel(double seconds, double step);

// The selection of the stretch between two times (in either order): ordered, on the data, its end at the
// end of a block rather than the start of the next. Nothing when the stretch holds no sample interval.
Selection SelectionOfSeconds(const Timeline& timeline, double t0, double t1);
// The selection a drag from x0 to x1 (trace-area pixels) makes: ordered, on the data, its end at the end of
// a block rather than the start of the next. Shorter than `minPixels`: a click, which selects nothing.
Selection SelectionFromDrag(const Timeline& timeline, const TimeView& view, double x0, double x1, double minPixels = 3);

}  // namespace kymora::chart
