#pragma once
// Flags of the data-access operations (IChannelData and the readers it opens).
#include <cstdint>

namespace ReadFlags {
// Read the channel as the user sees it: through its calculation when it has one.
constexpr std::uint32_t kCalculated = 0x40000000;
// Read the channel's recorded samples, beneath any calculation on it. Used by a calculation that reads its
// own channel (a flow calculation placed on the channel that records the flow-head voltage). kCalculated
// wins when both are set.
constexpr std::uint32_t kRecorded = 0x00000001;
// Values in the channel's units rather than raw converter units. The host stores samples in units, so
// this flag is accepted and changes nothing.
constexpr std::uint32_t kInUnits = 0x00001000;
// Units read together with their prefix.
constexpr std::uint32_t kWithPrefix = 0x00002000;
// Block-level questions (length, timing).
constexpr std::uint32_t kBlockInfo = 0x80000000;
// Times relative to the start of the block rather than to the start of the recording.
constexpr std::uint32_t kFromBlockStart = 0x00000002;

constexpr bool WantsCalculated(std::uint32_t flags) { return (flags & kCalculated) != 0 || (flags & kRecorded) == 0; }
}  // namespace ReadFlags
