#pragma once
// One channel's samples over the analysed range, held for drawing: the samples themselves (markers, the
// cursor's readout and the flow-volume loops read them) and min/max summaries at several decimations, so
// that a trace of hours draws from a few bins per pixel column instead of every sample.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"

namespace Spirometry {

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

class ChannelTrace {
 public:
  static constexpr std::int64_t kBaseBin = 32;  // samples per bin of the finest summary
  static constexpr std::int64_t kFactor = 8;    // bins of one level per bin of the next

  ChannelTrace() = default;
  // Takes the samples (sample i is offset first + i of its block) and builds the summaries.
  void Assign(std::vector<float> samples);

  std::int64_t Size() const { return static_cast<std::int64_t>(mSamples.size()); }
  const std::vector<float>& Samples() const { return mSamples; }
  // Sample i of the trace, or NaN outside it.
  float At(std::int64_t i) const;
  MinMax Overall() const;
  // Column c covers samples [c × perColumn, (c + 1) × perColumn) and gets their min and max, from the
  // coarsest summary whose bins fit in a column (the samples themselves when none does).
  void Columns(double perColumn, int columns, MinMax* out) const;

 private:
  std::vector<float> mSamples;
  std::vector<std::vector<MinMax>> mLevels;  // level k: bins of kBaseBin × kFactor^k samples
};

// Reads a channel as the user sees it, in its units, over [start, end) of start's block (an end offset of
// kNotSet reads to the end of the block). False when the host cannot give the samples.
bool ReadChannelTrace(IChannelData* data, std::int32_t channel, DataPosition start, DataPosition end,
                      ChannelTrace* trace);
// The channel's units text in the block ("L/s"), empty when it has none.
std::wstring ChannelUnitsText(IChannelData* data, std::int32_t channel, std::int32_t block);

}  // namespace Spirometry
