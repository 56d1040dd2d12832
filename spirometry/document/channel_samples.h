#pragma once
// The samples of a channel over a stretch of one block, read through the host's sample reader and given in
// litres (or litres per second) whatever unit prefix the channel shows, as the breaths' values are.
#include <cstdint>
#include <vector>

#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"

namespace Spirometry {

struct ChannelSamples {
  std::vector<float> values;  // L or L/s
  double secsPerSample = 0.0;
};

// From start up to (excluding) end, both in start's block; an end offset of DataPosition::kNotSet reads to
// the end of the block. False when the host cannot give the samples or their interval.
bool ReadSamplesInLitres(IChannelData* data, std::int32_t channel, DataPosition start, DataPosition end,
                         ChannelSamples* samples);

}  // namespace Spirometry
