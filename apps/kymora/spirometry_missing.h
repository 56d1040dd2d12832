#pragma once
// Samples of the analysed channels that hold no number (an empty cell, NaN or an infinity in the
// recording): the analysis steps over them, and the command says how many there were.
#include <cstdint>
#include <optional>
#include <string>

#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"

namespace kymora::cli {

// The samples of a channel from start up to (excluding) end, in start's block, that are not finite
// numbers; nothing when the channel cannot be read there.
std::optional<std::int64_t> CountMissingSamples(IChannelData& data, std::int32_t channel, DataPosition start,
                                                DataPosition end);

// The notice for the user, or empty when no sample is missing: the flow channel's missing samples, and
// the volume channel's when it is recorded (a calculated volume holds across the gaps of its flow).
// countedFlow: the flow channel's count when the analysis took it as its detectors read the flow; the
// flow channel is read again only without it.
std::string MissingSamplesNotice(IChannelData& data, std::int32_t flowChannel, std::int32_t volumeChannel,
                                 DataPosition start, DataPosition end,
                                 std::optional<std::int64_t> countedFlow = std::nullopt);

}  // namespace kymora::cli
