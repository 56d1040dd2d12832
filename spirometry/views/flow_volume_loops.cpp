#include "spirometry/views/flow_volume_loops.h"

#include <algorithm>
#include <cmath>

namespace Spirometry {

namespace {
constexpr double kChevronMinStep = 1.25;  // pixels: a chevron needs a step that shows a direction

struct Mapped {
  double x, y;
  bool finite;
};

// std::hypot guards against overflow that pixel distances never reach, at several times the cost.
double Distance(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

Mapped MapSample(float volume, float flow, const AxisMap& volumeAxis, const AxisMap& flowAxis) {
  const double x = volumeAxis.PixelOf(volume), y = flowAxis.PixelOf(flow);
  return {x, y, std::isfinite(x) && std::isfinite(y)};
}
}  // namespace

void AddLoopPiece(const float* volume, const float* flow, std::int64_t count, const AxisMap& volumeAxis,
                  const AxisMap& flowAxis, PixelPoint origin, double chevronHeight, FlowVolumeLoops* loops) {
  double pathLength = 0;
  bool havePrevious = false;
  Mapped previous{};
  for (std::int64_t i = 0; i < count; ++i) {
    const Mapped m = MapSample(volume[i], flow[i], volumeAxis, flowAxis);
    if (!m.finite) continue;
    if (havePrevious) pathLength += Distance(m.x - previous.x, m.y - previous.y);
    previous = m;
    havePrevious = true;
  }

  const double spacing = pathLength / kChevronsPerPiece;
  double due = spacing * 0.5, running = 0;
  int chevrons = 0;
  std::int32_t current = 0;  // points in the polyline being built
  havePrevious = false;
  // A chevron points along the step from the last point at least kChevronMinStep back, not from the sample
  // before: densely sampled curves move less than a pixel per sample and would never show a direction.
  Mapped anchor{};
  auto endPolyline = [&] {
    if (current > 0) loops->polylineCounts.push_back(current);
    current = 0;
  };
  for (std::int64_t i = 0; i < count; ++i) {
    const Mapped m = MapSample(volume[i], flow[i], volumeAxis, flowAxis);
    if (!m.finite) {
      endPolyline();
      continue;
    }
    const double d = havePrevious ? Distance(m.x - previous.x, m.y - previous.y) : 0.0;
    running += d;
    const PixelPoint p{origin.x + Truncated(m.x), origin.y + Truncated(m.y)};
    // The first point of a polyline always counts; after it, a point on the same pixel as the last adds
    // nothing to the picture.
    if (current == 0 || (d > 0 && !(loops->points.back() == p))) {
      loops->points.push_back(p);
      ++current;
    }
    if (!havePrevious) anchor = m;
    const double dx = m.x - anchor.x, dy = m.y - anchor.y;
    const bool stepped = Distance(dx, dy) > kChevronMinStep;
    if (chevrons < kChevronsPerPiece && running >= due && stepped) {
      const auto c = ChevronAt(p, dx, dy, chevronHeight);
      loops->chevrons.insert(loops->chevrons.end(), c.begin(), c.end());
      ++chevrons;
      due = running + spacing;
    }
    if (stepped) anchor = m;
    previous = m;
    havePrevious = true;
  }
  endPolyline();
}

std::vector<std::pair<std::int32_t, std::int32_t>> PolylineChunks(std::int32_t count, std::int32_t maxPoints) {
  std::vector<std::pair<std::int32_t, std::int32_t>> chunks;
  if (maxPoints < 2) return chunks;
  for (std::int32_t from = 0; from + 1 < count; from += maxPoints - 1)
    chunks.emplace_back(from, std::min(maxPoints, count - from));
  return chunks;
}

std::vector<RangePiece> PiecesOf(DataPosition start, DataPosition end, const std::vector<std::int64_t>& blockLengths) {
  std::vector<RangePiece> pieces;
  const auto blocks = static_cast<std::int32_t>(blockLengths.size());
  if (start.block == DataPosition::kNotSet || end.block == DataPosition::kNotSet) return pieces;
  if (start.block < 0 || end.block >= blocks || start.block > end.block) return pieces;
  for (std::int32_t b = start.block; b <= end.block; ++b) {
    const std::int64_t length = blockLengths[static_cast<std::size_t>(b)];
    std::int64_t from = b == start.block ? start.offset : 0;
    std::int64_t to = b == end.block && end.offset != DataPosition::kNotSet ? end.offset : length;
    from = std::min(std::max<std::int64_t>(from, 0), length);
    to = std::min(std::max(to, from), length);
    if (to > from) pieces.push_back({b, from, to});
  }
  return pieces;
}

}  // namespace Spirometry
