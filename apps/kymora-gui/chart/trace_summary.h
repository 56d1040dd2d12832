#pragma once
// Min/max summaries of a trace at several decimation levels, so that a long recording draws at any zoom
// without reading every sample: level 0 keeps the minimum and maximum of every 64 samples, each level above
// of every 8 bins of the one below. A chart column takes the bins of the coarsest level no wider than the
// column; below 64 samples per column the samples themselves are read. Not-a-number samples are skipped.
#include <cstdint>
#include <limits>
#include <vector>

namespace kymora::chart {

struct MinMax {
  float min = std::numeric_limits<float>::infinity();
  float max = -std::numeric_limits<float>::infinity();
  bool Empty() const { return !(min <= max); }
  void Add(float v) {
    min = v < min ? v : min;  // a NaN compares false and changes nothing
    max = v > max ? v : max;
  }
  void Add(const MinMax& o) {
    min = o.min < min ? o.min : min;
    max = o.max > max ? o.max : max;
  }
};

class TraceSummary {
 public:
  static constexpr std::int64_t kBaseBin = 64;
  static constexpr std::int64_t kFactor = 8;

  // Room for a trace of that many samples, so that level 0 is allocated once.
  void Reserve(std::int64_t samples) { mLevels[0].reserve(static_cast<std::size_t>(samples / kBaseBin + 1)); }
  // Appends samples in order; Finish once after the last.
  void Append(const float* samples, std::int64_t count);
  // Closes the last, partial bin and builds the levels above level 0.
  void Finish();

  std::int64_t Length() const { return mLength; }
  int Levels() const { return static_cast<int>(mLevels.size()); }
  std::int64_t BinSize(int level) const;
  const std::vector<MinMax>& Level(int level) const { return mLevels[static_cast<std::size_t>(level)]; }
  // Min and max of the whole trace.
  MinMax Overall() const;
  // The coarsest level whose bins are no wider than a column of `samplesPerColumn` samples; -1 when even
  // level 0 is wider (then the samples themselves are drawn).
  int LevelFor(double samplesPerColumn) const;
  // Column c covers samples [first + c × perColumn, first + (c + 1) × perColumn) and gets the min and max of
  // every bin of the level that overlaps it (empty outside the trace).
  void Columns(int level, double first, double perColumn, int columns, MinMax* out) const;

 private:
  std::vector<std::vector<MinMax>> mLevels{1};
  MinMax mPartial;
  std::int64_t mPartialCount = 0;
  std::int64_t mLength = 0;
};

// The same columns from samples in memory: samples[i] is sample firstIndex + i.
void ColumnsOfSamples(const float* samples, std::int64_t firstIndex, std::int64_t count, double first, double perColumn,
                      int columns, MinMax* out);

// Joins neighbouring columns so that the trace is one line: a column that lies wholly above or below the one
// before it is stretched to meet it. Empty columns break the line.
void ConnectColumns(MinMax* columns, int count);

}  // namespace kymora::chart
