#include "apps/kymora-gui/chart/trace_summary.h"

#include <algorithm>
#include <cmath>

namespace kymora::chart {

void TraceSummary::Append(const float* samples, std::int64_t count) {
  auto& level0 = mLevels[0];
  std::int64_t i = 0;
  while (i < count) {
    const std::int64_t run = std::min(count - i, kBaseBin - mPartialCount);
    float mn = mPartial.min, mx = mPartial.max;
    for (std::int64_t k = 0; k < run; ++k) {
      const float v = samples[i + k];
      mn = v < mn ? v : mn;
      mx = v > mx ? v : mx;
    }
    mPartial = {mn, mx};
    mPartialCount += run;
    i += run;
    if (mPartialCount == kBaseBin) {
      level0.push_back(mPartial);
      mPartial = MinMax{};
      mPartialCount = 0;
    }
  }
  mLength += count;
}

void TraceSummary::Finish() {
  if (mPartialCount > 0) {
    mLevels[0].push_back(mPartial);
    mPartial = MinMax{};
    mPartialCount = 0;
  }
  mLevels.resize(1);
  while (mLevels.back().size() > 1) {
    const auto& below = mLevels.back();
    std::vector<MinMax> above((below.size() + kFactor - 1) / kFactor);
    for (std::size_t b = 0; b < below.size(); ++b) above[b / kFactor].Add(below[b]);
    mLevels.push_back(std::move(above));
  }
}

std::int64_t TraceSummary::BinSize(int level) const {
  std::int64_t size = kBaseBin;
  for (int l = 0; l < level; ++l) size *= kFactor;
  return size;
}

MinMax TraceSummary::Overall() const {
  MinMax all;
  for (const auto& m : mLevels.back()) all.Add(m);
  return all;
}

int TraceSummary::LevelFor(double samplesPerColumn) const {
  int level = -1;
  for (int l = 0; l < Levels(); ++l)
    if (static_cast<double>(BinSize(l)) <= samplesPerColumn) level = l;
  return level;
}

void TraceSummary::Columns(int level, double first, double perColumn, int columns, MinMax* out) const {
  const auto& bins = Level(level);
  const double bin = static_cast<double>(BinSize(level));
  const auto count = static_cast<std::int64_t>(bins.size());
  for (int c = 0; c < columns; ++c) {
    const double s0 = first + c * perColumn, s1 = s0 + perColumn;
    const auto b0 = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(s0 / bin)));
    const auto b1 = std::min<std::int64_t>(count, static_cast<std::int64_t>(std::ceil(s1 / bin)));
    MinMax m;
    if (s1 > 0 && s0 < static_cast<double>(mLength))
      for (auto b = b0; b < b1; ++b) m.Add(bins[static_cast<std::size_t>(b)]);
    out[c] = m;
  }
}

void ColumnsOfSamples(const float* samples, std::int64_t firstIndex, std::int64_t count, double first, double perColumn,
                      int columns, MinMax* out) {
  for (int c = 0; c < columns; ++c) {
    const double s0 = first + c * perColumn, s1 = s0 + perColumn;
    // Every sample whose interval [i, i + 1) overlaps the column.
    const auto i0 = std::max<std::int64_t>(firstIndex, static_cast<std::int64_t>(std::floor(s0)));
    const auto i1 = std::min<std::int64_t>(firstIndex + count, static_cast<std::int64_t>(std::ceil(s1)));
    MinMax m;
    for (auto i = i0; i < i1; ++i) m.Add(samples[i - firstIndex]);
    out[c] = m;
  }
}

void ConnectColumns(MinMax* columns, int count) {
  for (int c = 1; c < count; ++c) {
    const MinMax before = columns[c - 1];
    MinMax& m = columns[c];
    if (before.Empty() || m.Empty()) continue;
    if (m.min > before.max) m.min = before.max;
    if (m.max < before.min) m.max = before.min;
  }
}

}  // namespace kymora::chart
