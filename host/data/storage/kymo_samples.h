#pragma once
// Reading the stored samples of one channel-block, every chunk checked: by the load, and later, for
// samples the load left in the file, the first time a reader needs them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/data/data_file.h"
#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/sqlite_database.h"

namespace kymora::storage {

// "block 2, channel 3" for storage's numbers counted from 0.
std::string Place(std::int64_t block, std::int64_t channel);

// Appends the samples of one channel-block, `length` samples long, from the next rows of `chunks` (columns
// block, channel, chunk, content_hash, samples, in chunk order): the numbering, the size and the checksum
// of every chunk are checked. The first problem as text ("block 1, channel 2, chunk 3: ..."), or nothing.
std::optional<std::string> ReadChunks(SqliteStatement& chunks, std::int64_t block, std::int64_t channel,
                                      std::int64_t length, std::int64_t chunkSamples, Samples& out);

// The file that a load left samples in.
struct SampleOrigin {
  std::string path;
  std::int64_t chunkSamples = kDefaultChunkSamples;
};

// Reads the stored chunks of one channel-block when first needed: it refuses a file whose change stamp is
// not `stamp` (another program saved it) and checks every chunk as the load does.
struct StoredChunks {
  std::shared_ptr<const SampleOrigin> origin;
  // The stamp of the file that holds these chunks: the load's, moved on by a save of ours that kept them.
  std::shared_ptr<std::atomic<ChangeStamp>> stamp;
  std::int64_t block = 0, channel = 0, length = 0;

  Expected<Samples> operator()() const;
};

std::shared_ptr<DeferredSamples> DeferSamples(std::shared_ptr<const SampleOrigin> origin, ChangeStamp stamp,
                                              std::int64_t block, std::int64_t channel, std::int64_t length);

// The chunks a channel-block's samples are still unread in, if they are stored in a .kymo file.
std::optional<StoredChunks> UnreadChunks(const ChannelBlock& data);

}  // namespace kymora::storage
