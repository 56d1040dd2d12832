#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "host/com/text.h"
#include "host/data/storage/kymo_samples.h"
#include "host/data/storage/kymo_schema.h"
#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/kymo_temporaries.h"

namespace kymora::storage {
namespace {

using ChunkKey = std::tuple<std::int64_t, std::int64_t, std::int64_t>;  // block, channel, chunk
struct StoredChunk {
  std::uint64_t hash = 0;
  std::int64_t bytes = 0;
};
using ChunkIndex = std::map<ChunkKey, StoredChunk>;

std::string Errno(int error) { return std::strerror(error); }

// Reads what the file holds already: the chunk hashes and sizes, not the samples.
ChunkIndex ReadChunkIndex(SqliteDatabase& db) {
  ChunkIndex index;
  auto query = db.Prepare("SELECT block, channel, chunk, content_hash, length(samples) FROM sample_chunks");
  while (query.Step())
    index[{query.Int64(0), query.Int64(1), query.Int64(2)}] =
        StoredChunk{static_cast<std::uint64_t>(query.Int64(3)), query.Int64(4)};
  return index;
}

void WriteConversions(SqliteDatabase& db, const DataFile& file) {
  db.Exec(kCreateConversionTableSql);
  db.Exec("DELETE FROM user_conversions");
  auto row = db.Prepare("INSERT INTO user_conversions VALUES (?1, ?2, ?3, ?4, ?5)");
  for (std::size_t b = 0; b < file.blocks.size(); ++b) {
    for (std::size_t c = 0; c < file.blocks[b].channels.size(); ++c) {
      const auto& conversion = file.blocks[b].channels[c].userConversion;
      if (!conversion) continue;
      row.Bind(1, static_cast<std::int64_t>(b))
          .Bind(2, static_cast<std::int64_t>(c))
          .Bind(3, conversion->scale)
          .Bind(4, conversion->offset)
          .BindText(5, ToUtf8(conversion->units))
          .Run();
      row.Reset();
    }
  }
}

void WriteDescription(SqliteDatabase& db, const DataFile& file, std::int32_t chunkSamples) {
  db.Exec(
      "DELETE FROM file_info; DELETE FROM channels; DELETE FROM blocks; DELETE FROM channel_blocks; "
      "DELETE FROM document_streams;");

  const auto& sel = file.selection;
  db.Prepare("INSERT INTO file_info VALUES (1, ?1, ?2, ?3, ?4, ?5, ?6)")
      .Bind(1, std::int64_t{chunkSamples})
      .Bind(2, std::int64_t{sel.valid ? 1 : 0})
      .Bind(3, std::int64_t{sel.start.block})
      .Bind(4, std::int64_t{sel.start.offset})
      .Bind(5, std::int64_t{sel.end.block})
      .Bind(6, std::int64_t{sel.end.offset})
      .Run();

  auto channel = db.Prepare("INSERT INTO channels VALUES (?1, ?2, ?3, ?4)");
  for (std::size_t c = 0; c < file.channels.size(); ++c) {
    const auto& ch = file.channels[c];
    channel.Bind(1, static_cast<std::int64_t>(c)).BindText(2, ToUtf8(ch.title));
    if (ch.calculation)
      channel.BindText(3, ch.calculation->classId.ToString()).BindBlob(4, ch.calculation->settings);
    else
      channel.BindNull(3).BindNull(4);
    channel.Run();
    channel.Reset();
  }

  auto block = db.Prepare("INSERT INTO blocks VALUES (?1, ?2, ?3)");
  auto channelBlock = db.Prepare("INSERT INTO channel_blocks VALUES (?1, ?2, ?3, ?4, ?5)");
  for (std::size_t b = 0; b < file.blocks.size(); ++b) {
    const auto& bl = file.blocks[b];
    block.Bind(1, static_cast<std::int64_t>(b)).Bind(2, bl.secsPerTick).Bind(3, bl.length).Run();
    block.Reset();
    for (std::size_t c = 0; c < bl.channels.size(); ++c) {
      const auto& cb = bl.channels[c];
      channelBlock.Bind(1, static_cast<std::int64_t>(b))
          .Bind(2, static_cast<std::int64_t>(c))
          .BindText(3, ToUtf8(cb.units))
          .Bind(4, cb.range)
          .Bind(5, std::int64_t{cb.HasData() ? 1 : 0})
          .Run();
      channelBlock.Reset();
    }
  }

  WriteConversions(db, file);

  auto stream = db.Prepare("INSERT INTO document_streams VALUES (?1, ?2)");
  for (const auto& [name, bytes] : file.documentStreams) {
    stream.BindText(1, name).BindBlob(2, bytes).Run();
    stream.Reset();
  }
}

// A save back over the file that unread samples lie in, and the stamps of the unread samples it left there.
struct KeptChunks {
  std::string path;
  std::optional<ChangeStamp> expectedStamp;
  std::int32_t chunkSamples = kDefaultChunkSamples;
  std::vector<std::shared_ptr<std::atomic<ChangeStamp>>> stamps;

  // Unread samples in the file being saved, at the same place and in chunks of the same size, loaded
  // with the stamp the save expects (it checks that stamp under its write lock and is refused when the
  // file holds another): their chunks are their samples, so the save leaves them as they are. Nothing
  // when the save must write the samples.
  std::optional<StoredChunks> Keeps(const ChannelBlock& data, std::size_t block, std::size_t channel) const {
    auto chunks = UnreadChunks(data);
    std::error_code ec;
    if (chunks && expectedStamp && chunks->stamp->load() == *expectedStamp &&
        chunks->block == static_cast<std::int64_t>(block) && chunks->channel == static_cast<std::int64_t>(channel) &&
        chunks->origin->chunkSamples == chunkSamples && std::filesystem::equivalent(chunks->origin->path, path, ec))
      return chunks;
    return std::nullopt;
  }
  // The stored chunks of the channel-block stay; once the save is committed its samples are read (should
  // they be asked for) from the file with the new stamp.
  void Keep(const StoredChunks& chunks, ChunkIndex& stored, SaveStats& stats) {
    constexpr auto kLow = std::numeric_limits<std::int64_t>::min(), kHigh = std::numeric_limits<std::int64_t>::max();
    auto first = stored.lower_bound({chunks.block, chunks.channel, kLow});
    auto last = stored.upper_bound({chunks.block, chunks.channel, kHigh});
    stats.chunksKept += std::distance(first, last);
    stored.erase(first, last);
    stamps.push_back(chunks.stamp);
  }
};

// Writes the chunks whose bytes differ from what the file holds and deletes those that no longer exist.
// Equal hash and size count as equal content: a 64-bit hash makes an accidental match negligible, and
// comparing the old bytes instead would mean reading every hour of recording on every save.
void WriteChunks(SqliteDatabase& db, const DataFile& file, std::int32_t chunkSamples, ChunkIndex stored,
                 SaveStats& stats, KeptChunks* kept) {
  auto insert = db.Prepare("INSERT OR REPLACE INTO sample_chunks VALUES (?1, ?2, ?3, ?4, ?5)");
  std::vector<std::uint8_t> bytes;
  for (std::size_t b = 0; b < file.blocks.size() && db.Ok(); ++b) {
    const auto& bl = file.blocks[b];
    for (std::size_t c = 0; c < bl.channels.size() && db.Ok(); ++c) {
      if (!bl.channels[c].HasData()) continue;
      if (auto chunks = kept ? kept->Keeps(bl.channels[c], b, c) : std::nullopt) {
        kept->Keep(*chunks, stored, stats);
        continue;
      }
      auto read = bl.channels[c].ReadSamples();  // read already by SaveKymo: cannot fail here
      if (!read || !*read) return db.Fail(SQLITE_ERROR, read ? "samples missing" : read.ErrorMessage());
      std::span<const float> samples(**read);
      for (std::int64_t chunk = 0; chunk * chunkSamples < bl.length && db.Ok(); ++chunk) {
        auto first = static_cast<std::size_t>(chunk * chunkSamples);
        auto count = std::min<std::size_t>(static_cast<std::size_t>(chunkSamples), samples.size() - first);
        EncodeSamples(samples.subspan(first, count), bytes);
        auto hash = ChunkHash(bytes);
        ChunkKey key{static_cast<std::int64_t>(b), static_cast<std::int64_t>(c), chunk};
        auto old = stored.find(key);
        bool same = old != stored.end() && old->second.hash == hash &&
                    old->second.bytes == static_cast<std::int64_t>(bytes.size());
        if (old != stored.end()) stored.erase(old);
        if (same) {
          ++stats.chunksKept;
          continue;
        }
        insert.Bind(1, std::get<0>(key))
            .Bind(2, std::get<1>(key))
            .Bind(3, chunk)
            .Bind(4, static_cast<std::int64_t>(hash))
            .BindBlob(5, bytes)
            .Run();
        insert.Reset();
        ++stats.chunksWritten;
      }
    }
  }
  auto erase = db.Prepare("DELETE FROM sample_chunks WHERE block = ?1 AND channel = ?2 AND chunk = ?3");
  for (const auto& [key, chunk] : stored) {
    erase.Bind(1, std::get<0>(key)).Bind(2, std::get<1>(key)).Bind(3, std::get<2>(key)).Run();
    erase.Reset();
    ++stats.chunksDeleted;
  }
}

void WriteContent(SqliteDatabase& db, const DataFile& file, std::int32_t chunkSamples, ChunkIndex stored,
                  SaveStats& stats, KeptChunks* kept) {
  WriteDescription(db, file, chunkSamples);
  WriteChunks(db, file, chunkSamples, std::move(stored), stats, kept);
}

void Configure(SqliteDatabase& db) {
  sqlite3_busy_timeout(db.Handle(), 5000);
  // Full sync: a save that reported success survives a power cut, not only a crash of this process.
  db.Exec("PRAGMA synchronous = FULL");
}

ChangeStamp NewStamp() {
  std::random_device entropy;
  std::uint64_t bits = (std::uint64_t{entropy()} << 32) | entropy();
  auto stamp = static_cast<ChangeStamp>(bits >> 1);
  return stamp == 0 ? 1 : stamp;
}

// Why a file cannot be saved over, before SQLite is asked: it would open a write-protected file read-only
// and only fail at the first write, and it needs the folder for the journal beside the file.
std::optional<std::string> WhyNotWritable(const std::string& path) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
    return "the file cannot be written (" + Errno(errno) + ")";
  if (::faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return "its folder cannot be written (" + Errno(errno) + ")";
  return std::nullopt;
}

Status SaveOver(const std::string& path, const DataFile& file, std::int32_t chunkSamples,
                std::optional<ChangeStamp> expectedStamp, SaveStats& stats) {
  if (auto header = CheckSqliteHeader(path); !header)
    return Error{"Cannot save to " + path + ": " + header.ErrorMessage() + " It was left unchanged."};
  if (auto why = WhyNotWritable(path)) return Error{"Cannot save to " + path + ": " + *why + "."};
  auto opened = SqliteDatabase::Open(path, SQLITE_OPEN_READWRITE);
  if (!opened) return Error{"Cannot open " + path + " to save: " + opened.ErrorMessage() + "."};
  SqliteDatabase& db = *opened;
  Configure(db);
  if (auto identity = CheckKymoDatabase(db, path); !identity)
    return Error{"Cannot save to " + path + ": " + identity.ErrorMessage() + " It was left unchanged."};
  // The file may come from a tool that switched it to another journal; our guarantee needs WAL.
  if (db.QueryText("PRAGMA journal_mode = WAL") != "wal" && db.Ok())
    db.Fail(SQLITE_ERROR, "cannot switch the file to WAL journal mode");

  db.Exec("BEGIN IMMEDIATE");
  // Checked under the write lock, so no other save can come between the check and the commit.
  if (expectedStamp && db.Ok() && ReadStamp(db) != *expectedStamp && db.Ok())
    return Error{"Cannot save " + path + ": " + kChangedByAnotherProgram +
                 "; it was left as the other program saved it."};
  stats.stamp = NewStamp();
  WriteStamp(db, stats.stamp);
  auto stored = ReadChunkIndex(db);
  KeptChunks kept{path, expectedStamp, chunkSamples, {}};
  WriteContent(db, file, chunkSamples, std::move(stored), stats, &kept);
  db.Exec(("PRAGMA user_version = " + std::to_string(kFormatVersion)).c_str());
  db.Exec("COMMIT");
  if (!db.Ok()) {
    std::string message = DescribeFailure(db, path, "save to");
    db.Rollback();
    return Error{message + " The file keeps its earlier content."};
  }
  for (auto& stamp : kept.stamps) stamp->store(stats.stamp);
  // Once committed the content is safe in the write-ahead log; a close that cannot checkpoint (another
  // reader holds the file) leaves the log for the next opener to fold in.
  db.Close();
  return Ok();
}

Status SyncFolderOf(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Error{Errno(errno)};
  int rc = ::fsync(fd);
  int error = errno;
  ::close(fd);
  if (rc != 0) return Error{Errno(error)};
  return Ok();
}

// Writes the whole content into a fresh, empty file of SQLite's and switches it to WAL for later saves.
Status BuildFile(const std::string& temporary, const std::string& path, const DataFile& file, std::int32_t chunkSamples,
                 SaveStats& stats) {
  auto opened = SqliteDatabase::Open(temporary, SQLITE_OPEN_READWRITE);
  if (!opened) return Error{"Cannot save " + path + ": " + opened.ErrorMessage() + "."};
  SqliteDatabase& db = *opened;
  Configure(db);
  db.Exec("PRAGMA journal_mode = OFF");
  db.Exec("BEGIN");
  db.Exec(kCreateTablesSql);
  db.Exec(kCreateStampTableSql);
  db.Exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
  db.Exec(("PRAGMA user_version = " + std::to_string(kFormatVersion)).c_str());
  stats.stamp = NewStamp();
  WriteStamp(db, stats.stamp);
  WriteContent(db, file, chunkSamples, {}, stats, nullptr);
  db.Exec("COMMIT");
  if (db.Ok() && db.QueryText("PRAGMA journal_mode = WAL") != "wal" && db.Ok())
    db.Fail(SQLITE_ERROR, "cannot switch the file to WAL journal mode");
  if (!db.Ok()) return Error{DescribeFailure(db, path, "save")};
  if (int rc = db.Close(); rc != SQLITE_OK) return Error{"Cannot save " + path + ": " + sqlite3_errstr(rc) + "."};
  return Ok();
}

// Builds the complete file under a temporary name beside the target; only a finished file gets the name.
// Until then no rollback journal is needed: a half-built temporary file is simply deleted.
Status SaveNew(const std::string& path, const DataFile& file, std::int32_t chunkSamples, SaveStats& stats) {
  auto temporary = SaveTemporary::CreateBeside(path);
  if (!temporary)
    return Error{"Cannot save " + path + ": cannot create a file in its folder (" + temporary.ErrorMessage() + ")."};
  if (auto built = BuildFile(temporary->Path(), path, file, chunkSamples, stats); !built) return built;

  // Never replace a file that appeared at the path while this one was being built.
  if (::renameat2(AT_FDCWD, temporary->Path().c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
    temporary->Renamed();
  } else {
    int error = errno;
    bool unsupported = error == EINVAL || error == ENOSYS;
    if (!unsupported || ::link(temporary->Path().c_str(), path.c_str()) != 0) {
      error = unsupported ? errno : error;
      if (error == EEXIST)
        return Error{"Cannot save " + path +
                     ": another file of that name appeared while saving; it was left as it is."};
      return Error{"Cannot save " + path + ": " + Errno(error) + "."};
    }
  }
  // The rename itself must reach the disk, or a power cut could still lose the new name.
  if (auto synced = SyncFolderOf(path); !synced)
    return Error{"Saved " + path + ", but its folder could not be flushed to disk (" + synced.ErrorMessage() + ")."};
  return Ok();
}

// Samples still in the file they were loaded from are read (and checked) before anything is written, unless
// the save leaves them where they are: a save never starts on content it cannot finish. The first failure,
// or nothing.
std::optional<std::string> ReadDeferredSamples(const DataFile& file, const KeptChunks& keep) {
  for (std::size_t b = 0; b < file.blocks.size(); ++b) {
    for (std::size_t c = 0; c < file.blocks[b].channels.size(); ++c) {
      const auto& data = file.blocks[b].channels[c];
      if (keep.Keeps(data, b, c)) continue;
      if (auto samples = data.ReadSamples(); !samples) return samples.ErrorMessage();
    }
  }
  return std::nullopt;
}

}  // namespace

Status SaveKymo(const std::string& path, const DataFile& file) { return SaveKymo(path, file, SaveOptions{}, nullptr); }

Status SaveKymo(const std::string& path, const DataFile& file, const SaveOptions& options, SaveStats* stats) {
  try {
    if (auto problem = file.Check()) return Error{"Cannot save " + path + ": " + *problem + "."};
    const KeptChunks keep{path, options.expectedStamp, options.chunkSamples, {}};
    if (auto unread = ReadDeferredSamples(file, keep)) return Error{"Cannot save " + path + ": " + *unread};
    if (options.chunkSamples < 1 || options.chunkSamples > kMaxChunkSamples)
      return Error{"Cannot save " + path + ": chunk size " + std::to_string(options.chunkSamples) +
                   " is out of range."};
    SaveStats local;
    RemoveStaleTemporaries(path);
    struct stat info {};
    Status result = Ok();
    if (::lstat(path.c_str(), &info) == 0 && options.onlyNew)
      result = Error{"Cannot save " + path + ": a file of that name exists already."};
    else if (::stat(path.c_str(), &info) == 0)
      result = SaveOver(path, file, options.chunkSamples, options.expectedStamp, local);
    else if (errno == ENOENT)
      result = SaveNew(path, file, options.chunkSamples, local);
    else
      result = Error{"Cannot save " + path + ": " + Errno(errno) + "."};
    if (result && stats) *stats = local;
    return result;
  } catch (const std::bad_alloc&) {
    return Error{"Cannot save " + path + ": out of memory."};
  } catch (const std::exception& e) {
    return Error{"Cannot save " + path + ": " + e.what() + "."};
  }
}

}  // namespace kymora::storage
