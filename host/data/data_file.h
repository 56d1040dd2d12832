#pragma once
// The in-memory data file: channels of float samples in blocks, each channel's calculation, the
// documents' named streams and the selection. The .kymo storage and the importers read and write it;
// the host's data access (IChannelData) serves it to extensions.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/com/expected.h"
#include "host/com/guid.h"
#include "host/data/data_position.h"
#include "host/data/deferred_samples.h"

namespace kymora {

// A linear rescaling that the user put on top of a channel's recorded units, for example volts shown as
// L/s: shown value = recorded value × scale + offset, in `units`. It changes what the user is shown, never
// the recorded samples that calculations and expressions read.
struct UserConversion {
  double scale = 1.0;
  double offset = 0.0;
  std::wstring units;  // the units text shown with the converted values
  friend bool operator==(const UserConversion&, const UserConversion&) = default;
};

// Why a conversion cannot be used: a scale of zero maps every value onto one, and a non-finite scale or
// offset gives no value at all. Nothing when it can be used.
std::optional<std::string> WhyNotUsable(const UserConversion& conversion);

// One channel's recorded data in one block.
class ChannelBlock {
 public:
  std::wstring units;  // units text of the channel in this block
  double range = 1.0;  // full-scale range: raw ±32000 maps onto ±range (scale = range / 32000)
  // Set by the user on recorded data only; unset for nearly every channel.
  std::optional<UserConversion> userConversion;

  // True for samples still in the file too.
  bool HasData() const { return mSamples != nullptr || mDeferred != nullptr; }
  // The samples, block length long; null when the channel has no recorded data in the block. Samples left
  // in the file are read here the first time; a failure to read them (a damaged chunk, a file changed by
  // another program) is returned every time, with a message that names the file and the place. Shared so
  // that readers opened on the data keep it alive; never changed in place once shared.
  Expected<std::shared_ptr<const Samples>> ReadSamples() const;
  // The number of samples, without reading any (0 without data).
  std::int64_t SampleCount() const;
  // Whether the samples are in the file still, not yet read.
  bool Deferred() const { return mDeferred && !mDeferred->Read(); }
  // What reads them from there while they are unread; empty otherwise.
  DeferredSamples::ReadFn UnreadSource() const { return mDeferred ? mDeferred->Unread() : nullptr; }
  // Why reading the samples from the file failed; nothing when they were read or are not due yet.
  std::optional<std::string> ReadFailure() const { return mDeferred ? mDeferred->Failure() : std::nullopt; }
  // Puts samples in place of what the channel had in the block (null: no data).
  void SetSamples(std::shared_ptr<const Samples> samples);
  void DeferSamples(std::shared_ptr<DeferredSamples> deferred);

  double Scale() const { return range / 32000.0; }

 private:
  std::shared_ptr<const Samples> mSamples;
  std::shared_ptr<DeferredSamples> mDeferred;  // copies of the data file share it
};

struct Block {
  double secsPerTick = 0.001;
  std::int64_t length = 0;
  std::vector<ChannelBlock> channels;  // one per channel of the file
};

// A calculation stored with its channel: the class id and the settings stream of the calculation.
struct StoredCalculation {
  Guid classId;
  std::vector<std::uint8_t> settings;
  friend bool operator==(const StoredCalculation&, const StoredCalculation&) = default;
};

struct Channel {
  std::wstring title;
  std::optional<StoredCalculation> calculation;
};

struct Selection {
  bool valid = false;
  DataPosition start;
  DataPosition end;
  friend bool operator==(const Selection&, const Selection&) = default;
};

class DataFile {
 public:
  std::vector<Channel> channels;
  std::vector<Block> blocks;
  Selection selection;
  // Named streams of the documents attached to the file (for example the spirometry settings).
  std::map<std::string, std::vector<std::uint8_t>> documentStreams;

  std::int32_t ChannelCount() const { return static_cast<std::int32_t>(channels.size()); }
  std::int32_t BlockCount() const { return static_cast<std::int32_t>(blocks.size()); }

  // Adds a channel without recorded data in any block; returns its index.
  std::int32_t AddChannel(std::wstring title);
  // Adds a block where every channel has no data yet; returns its index.
  std::int32_t AddBlock(double secsPerTick, std::int64_t length);
  // Sets a channel's recorded samples in a block (samples.size() must equal the block length); any units
  // conversion of the user on the data replaced is dropped.
  void SetSamples(std::int32_t block, std::int32_t channel, std::wstring units, double range, Samples samples);

  // The first failure to read samples left in their file, or nothing: a reader that met it failed, but
  // a caller that went on without those samples must not present what it made as a result.
  std::optional<std::string> ReadFailure() const;
  // The first inconsistency (sizes, lengths, intervals, selection positions), or nothing.
  std::optional<std::string> Check() const;
  // Absolute sample index of a position: the lengths of the earlier blocks plus the offset
  // (an offset of DataPosition::kNotSet is the end of the block).
  std::optional<std::int64_t> AbsoluteIndex(DataPosition position) const;
  // Seconds from the start of the recording (blocks end to end) of a position.
  std::optional<double> TimeOf(DataPosition position, bool fromBlockStart) const;
};

// The full-scale range that an importer gives a channel: the smallest 1, 2 or 5 × 10^k at or above the
// largest finite magnitude (1 when all are zero or there are none).
double NiceRange(double largestMagnitude);

}  // namespace kymora
