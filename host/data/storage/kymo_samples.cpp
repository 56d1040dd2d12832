#include "host/data/storage/kymo_samples.h"

#include <sqlite3.h>

#include <algorithm>
#include <exception>
#include <new>

#include "host/data/storage/kymo_open.h"
#include "host/data/storage/kymo_schema.h"

namespace kymora::storage {
namespace {

Error CannotRead(std::int64_t block, std::int64_t channel, const std::string& path, const std::string& why) {
  return Error{"Cannot read the samples of " + Place(block, channel) + " from " + path + ": " + why + "."};
}

// The samples of one channel-block in a read transaction: the file must still be the one loaded.
Expected<Samples> ReadInTransaction(SqliteDatabase& db, const SampleOrigin& origin, ChangeStamp stamp,
                                    std::int64_t block, std::int64_t channel, std::int64_t length) {
  const std::string& path = origin.path;
  sqlite3_busy_timeout(db.Handle(), 5000);
  db.Exec("BEGIN");
  if (auto identity = CheckKymoDatabase(db, path); !identity) return Error{identity.ErrorMessage()};
  const bool changed = ReadStamp(db) != stamp;
  if (!db.Ok()) return Error{DescribeFailure(db, path, "read")};
  if (changed) return CannotRead(block, channel, path, kChangedByAnotherProgram);
  auto chunks = db.Prepare(
      "SELECT block, channel, chunk, content_hash, samples FROM sample_chunks WHERE block = ?1 AND channel = ?2 "
      "ORDER BY chunk");
  chunks.Bind(1, block).Bind(2, channel);
  Samples samples;
  samples.reserve(static_cast<std::size_t>(length));
  auto problem = ReadChunks(chunks, block, channel, length, origin.chunkSamples, samples);
  if (!db.Ok()) return Error{DescribeFailure(db, path, "read")};
  if (problem) return Error{path + " is damaged: " + *problem + "."};
  db.Rollback();
  return samples;
}

Expected<Samples> ReadDeferred(const SampleOrigin& origin, ChangeStamp stamp, std::int64_t block, std::int64_t channel,
                               std::int64_t length) {
  const std::string& path = origin.path;
  if (auto header = CheckSqliteHeader(path); !header) return Error{header.ErrorMessage()};
  auto before = Identify(path);
  auto opened = OpenToRead(path);
  if (!opened) return Error{opened.ErrorMessage()};
  auto samples = ReadInTransaction(opened->db, origin, stamp, block, channel, length);
  opened->db.Close();
  // Nothing kept another program from writing a file opened without locks; what was read is only
  // trusted when the file stayed as it was.
  if (samples && !ReadStands(*opened, before, path)) return CannotRead(block, channel, path, kChangedByAnotherProgram);
  return samples;
}

}  // namespace

std::string Place(std::int64_t block, std::int64_t channel) {
  return "block " + std::to_string(block + 1) + ", channel " + std::to_string(channel + 1);
}

std::optional<std::string> ReadChunks(SqliteStatement& chunks, std::int64_t block, std::int64_t channel,
                                      std::int64_t length, std::int64_t chunkSamples, Samples& out) {
  for (std::int64_t k = 0; k * chunkSamples < length; ++k) {
    if (!chunks.Step()) return Place(block, channel) + ": a sample chunk is missing";
    std::string where = Place(block, channel) + ", chunk " + std::to_string(k + 1);
    if (chunks.Int64(0) != block || chunks.Int64(1) != channel || chunks.Int64(2) != k) return where + " is missing";
    if (chunks.Type(4) != SQLITE_BLOB) return where + " holds no sample bytes";
    auto blob = chunks.Blob(4);
    auto expectedBytes = std::min<std::int64_t>(chunkSamples, length - k * chunkSamples) * 4;
    if (static_cast<std::int64_t>(blob.size()) != expectedBytes)
      return where + " holds " + std::to_string(blob.size()) + " bytes where " + std::to_string(expectedBytes) +
             " are expected";
    if (static_cast<std::uint64_t>(chunks.Int64(3)) != ChunkHash(blob))
      return where + ": the samples do not match their checksum";
    AppendDecodedSamples(blob, out);
  }
  return std::nullopt;
}

Expected<Samples> StoredChunks::operator()() const {
  try {
    return ReadDeferred(*origin, stamp->load(), block, channel, length);
  } catch (const std::bad_alloc&) {
    return CannotRead(block, channel, origin->path, "out of memory");
  } catch (const std::exception& e) {
    return CannotRead(block, channel, origin->path, e.what());
  }
}

std::shared_ptr<DeferredSamples> DeferSamples(std::shared_ptr<const SampleOrigin> origin, ChangeStamp stamp,
                                              std::int64_t block, std::int64_t channel, std::int64_t length) {
  StoredChunks read{std::move(origin), std::make_shared<std::atomic<ChangeStamp>>(stamp), block, channel, length};
  return std::make_shared<DeferredSamples>(length, std::move(read));
}

std::optional<StoredChunks> UnreadChunks(const ChannelBlock& data) {
  auto read = data.UnreadSource();
  if (const auto* chunks = read.target<StoredChunks>()) return *chunks;
  return std::nullopt;
}

}  // namespace kymora::storage
