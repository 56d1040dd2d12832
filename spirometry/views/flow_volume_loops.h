#pragma once
// The curves of the flow-volume plot: each piece of the analysed range (one per block) becomes polylines
// of pixels, broken where a sample is not finite, with up to five chevrons spread evenly along its path.
#include <cstdint>
#include <utility>
#include <vector>

#include "host/data/data_position.h"
#include "spirometry/views/spiro_geometry.h"

namespace Spirometry {

inline constexpr int kChevronsPerPiece = 5;

struct FlowVolumeLoops {
  std::vector<PixelPoint> points;
  std::vector<std::int32_t> polylineCounts;  // consecutive runs of `points`
  std::vector<PixelPoint> chevrons;          // three points each
};

// Adds the loops of one piece: volume[i] against flow[i], mapped by the two axes and moved by the graph's
// origin. `chevronHeight` is the marker font's height.
void AddLoopPiece(const float* volume, const float* flow, std::int64_t count, const AxisMap& volumeAxis,
                  const AxisMap& flowAxis, PixelPoint origin, double chevronHeight, FlowVolumeLoops* loops);

// A polyline of `count` points drawn in runs of at most `maxPoints` (from, size), each run starting on the
// last point of the one before so that the line has no break. Nothing for fewer than two points.
std::vector<std::pair<std::int32_t, std::int32_t>> PolylineChunks(std::int32_t count, std::int32_t maxPoints);

// The pieces of a range by blocks: from the start to the end of its block, every whole block between, and
// from the beginning of the last block to the end (an end offset of kNotSet is the end of its block).
struct RangePiece {
  std::int32_t block = 0;
  std::int64_t from = 0, to = 0;  // samples [from, to)
};
std::vector<RangePiece> PiecesOf(DataPosition start, DataPosition end, const std::vector<std::int64_t>& blockLengths);

}  // namespace Spirometry
