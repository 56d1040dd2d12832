#include <sqlite3.h>

#include <cmath>
#include <exception>
#include <limits>
#include <new>

#include "host/com/text.h"
#include "host/data/storage/kymo_open.h"
#include "host/data/storage/kymo_samples.h"
#include "host/data/storage/kymo_schema.h"
#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/kymo_temporaries.h"

namespace kymora::storage {
namespace {

// Reads the tables into a DataFile, checking every row against what the earlier rows promised. The first
// problem found ends the load; the message names the file and the place.
class KymoReader {
 public:
  KymoReader(SqliteDatabase& db, std::string path, ChangeStamp stamp, LoadMode mode)
      : mDb(db), mPath(std::move(path)), mStamp(stamp), mMode(mode) {}

  Expected<DataFile> Read() {
    ReadFileInfo();
    ReadChannels();
    ReadBlocks();
    ReadChannelBlocks();
    ReadSamples();
    ReadUserConversions();
    ReadDocumentStreams();
    // A failure of SQLite comes first: a problem noted after it is only its echo.
    if (!mDb.Ok()) return Error{DescribeFailure(mDb, mPath, "read")};
    if (!mProblem.empty()) return Error{mPath + " is damaged: " + mProblem + "."};
    if (auto problem = mFile.Check()) return Error{mPath + " is damaged: " + *problem + "."};
    return std::move(mFile);
  }

 private:
  bool Going() const { return mProblem.empty() && mDb.Ok(); }
  void Problem(std::string text) {
    if (mProblem.empty()) mProblem = std::move(text);
  }
  // Integer column that must lie in [low, high].
  bool Int(const SqliteStatement& row, int column, std::int64_t low, std::int64_t high, std::int64_t& out,
           const std::string& what) {
    if (row.Type(column) != SQLITE_INTEGER) {
      Problem(what + " is not an integer");
      return false;
    }
    out = row.Int64(column);
    if (out < low || out > high) {
      Problem(what + " is out of range (" + std::to_string(out) + ")");
      return false;
    }
    return true;
  }

  void ReadFileInfo() {
    if (mDb.QueryInt("SELECT count(*) FROM file_info") != 1) Problem("the file description row is missing");
    auto row = mDb.Prepare(
        "SELECT id, chunk_samples, selection_valid, selection_start_block, selection_start_offset, "
        "selection_end_block, selection_end_offset FROM file_info");
    if (!Going() || !row.Step()) return;
    constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();
    std::int64_t valid = 0, v[4] = {};
    if (!Int(row, 1, 1, kMaxChunkSamples, mChunkSamples, "the chunk size") ||
        !Int(row, 2, 0, 1, valid, "the selection flag"))
      return;
    for (int k = 0; k < 4; ++k)
      if (!Int(row, 3 + k, kI32Min, kI32Max, v[k], "a selection position")) return;
    mFile.selection.valid = valid != 0;
    mFile.selection.start = {static_cast<std::int32_t>(v[1]), static_cast<std::int32_t>(v[0])};
    mFile.selection.end = {static_cast<std::int32_t>(v[3]), static_cast<std::int32_t>(v[2])};
  }

  void ReadChannels() {
    auto row =
        mDb.Prepare("SELECT channel, title, calculation_class, calculation_settings FROM channels ORDER BY channel");
    for (std::int64_t expected = 0; Going() && row.Step(); ++expected) {
      std::int64_t index = 0;
      if (!Int(row, 0, expected, expected, index, "channel numbering")) return;
      std::string where = "channel " + std::to_string(index + 1);
      if (row.Type(1) != SQLITE_TEXT) return Problem(where + " has no title");
      Channel channel{FromUtf8(row.Text(1)), std::nullopt};
      if (row.Type(2) != SQLITE_NULL) {
        auto classId = row.Type(2) == SQLITE_TEXT ? Guid::FromString(row.Text(2)) : std::nullopt;
        if (!classId) return Problem(where + " has a malformed calculation class id");
        if (row.Type(3) != SQLITE_BLOB) return Problem(where + " has a calculation without settings");
        auto settings = row.Blob(3);
        channel.calculation = StoredCalculation{*classId, {settings.begin(), settings.end()}};
      }
      mFile.channels.push_back(std::move(channel));
    }
  }

  void ReadBlocks() {
    auto row = mDb.Prepare("SELECT block, secs_per_tick, length FROM blocks ORDER BY block");
    for (std::int64_t expected = 0; Going() && row.Step(); ++expected) {
      std::int64_t index = 0, length = 0;
      if (!Int(row, 0, expected, expected, index, "block numbering")) return;
      std::string where = "block " + std::to_string(index + 1);
      if (!Int(row, 2, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), length,
               where + " length"))
        return;
      if (length < 0) return Problem(where + " has a negative length (" + std::to_string(length) + ")");
      if (length > std::numeric_limits<std::int64_t>::max() / 4)
        return Problem(where + " is impossibly long (" + std::to_string(length) + " samples)");
      if (row.Type(1) != SQLITE_FLOAT) return Problem(where + " has no sample interval");
      Block block;
      block.secsPerTick = row.Double(1);
      block.length = length;
      block.channels.resize(mFile.channels.size());
      mFile.blocks.push_back(std::move(block));
    }
  }

  void ReadChannelBlocks() {
    if (!Going()) return;
    auto channels = static_cast<std::int64_t>(mFile.channels.size());
    auto blocks = static_cast<std::int64_t>(mFile.blocks.size());
    auto rows = mDb.QueryInt("SELECT count(*) FROM channel_blocks");
    // Both counts come from rows that exist, so their product cannot overflow in practice; the check
    // below still refuses files whose counts would.
    if (channels != 0 && blocks > std::numeric_limits<std::int64_t>::max() / channels)
      return Problem("too many blocks and channels");
    if (rows != channels * blocks)
      return Problem(std::to_string(rows) + " channel-in-block rows where " + std::to_string(channels * blocks) +
                     " are expected");
    auto row =
        mDb.Prepare("SELECT block, channel, units, full_scale, has_data FROM channel_blocks ORDER BY block, channel");
    for (std::int64_t b = 0; b < blocks; ++b) {
      for (std::int64_t c = 0; c < channels; ++c) {
        if (!Going() || !row.Step()) return Problem(Place(b, c) + ": row missing");
        std::int64_t block = 0, channel = 0, hasData = 0;
        if (!Int(row, 0, b, b, block, Place(b, c) + ": row missing; block number") ||
            !Int(row, 1, c, c, channel, Place(b, c) + ": row missing; channel number") ||
            !Int(row, 4, 0, 1, hasData, Place(b, c) + ": the data flag"))
          return;
        if (row.Type(2) != SQLITE_TEXT || row.Type(3) != SQLITE_FLOAT)
          return Problem(Place(b, c) + ": units or full-scale range missing");
        auto& cb = mFile.blocks[b].channels[c];
        cb.units = FromUtf8(row.Text(2));
        cb.range = row.Double(3);
        if (hasData) mWithData.push_back({b, c});
      }
    }
  }

  // Chunk counts and sizes first, from the row headers only, so that nothing is allocated for a block
  // length the stored chunks do not actually hold.
  void ReadSamples() {
    if (!Going()) return;
    auto totals = mDb.Prepare(
        "SELECT block, channel, count(*), sum(length(samples)) FROM sample_chunks GROUP BY block, channel "
        "ORDER BY block, channel");
    // Data of length zero has no chunks at all.
    std::vector<std::pair<std::int64_t, std::int64_t>> chunked;
    for (auto place : mWithData)
      if (mFile.blocks[place.first].length > 0) chunked.push_back(place);
    std::size_t next = 0;
    while (Going() && totals.Step()) {
      std::int64_t b = totals.Int64(0), c = totals.Int64(1);
      if (next >= chunked.size() || chunked[next] != std::pair{b, c}) {
        bool known = b >= 0 && c >= 0 && b < mFile.BlockCount() && c < mFile.ChannelCount();
        // Either chunks for a place that holds no data, or a place with data whose chunks are missing.
        if (next < chunked.size() && (!known || chunked[next] < std::pair{b, c}))
          return Problem(Place(chunked[next].first, chunked[next].second) + ": the sample chunks are missing");
        return Problem(known ? Place(b, c) + ": sample chunks stored where there is no data"
                             : "sample chunks stored for a block or channel that does not exist");
      }
      std::int64_t length = mFile.blocks[b].length;
      std::int64_t expectedChunks = length / mChunkSamples + (length % mChunkSamples != 0);
      std::int64_t bytes = totals.Int64(3);
      if (totals.Int64(2) != expectedChunks || bytes != length * static_cast<std::int64_t>(sizeof(float)))
        return Problem(Place(b, c) + ": the stored chunks hold " + std::to_string(bytes) + " bytes in " +
                       std::to_string(totals.Int64(2)) + " chunks, but the block is " + std::to_string(length) +
                       " samples long");
      ++next;
    }
    if (Going() && next < chunked.size())
      return Problem(Place(chunked[next].first, chunked[next].second) + ": the sample chunks are missing");

    if (Going() && mMode == LoadMode::kDeferSamples) return DeferAll();
    auto chunks = mDb.Prepare(
        "SELECT block, channel, chunk, content_hash, samples FROM sample_chunks ORDER BY block, channel, chunk");
    for (auto [b, c] : mWithData) {
      std::int64_t length = mFile.blocks[b].length;
      Samples samples;
      samples.reserve(static_cast<std::size_t>(length));
      if (!Going()) return;
      if (auto problem = ReadChunks(chunks, b, c, length, mChunkSamples, samples)) return Problem(*problem);
      mFile.blocks[b].channels[c].SetSamples(std::make_shared<const Samples>(std::move(samples)));
    }
  }

  // The chunk totals are checked; the samples stay in the file until a reader asks for them.
  void DeferAll() {
    auto origin = std::make_shared<const SampleOrigin>(SampleOrigin{mPath, mChunkSamples});
    for (auto [b, c] : mWithData) {
      std::int64_t length = mFile.blocks[b].length;
      auto& cb = mFile.blocks[b].channels[c];
      if (length == 0)
        cb.SetSamples(std::make_shared<const Samples>());
      else
        cb.DeferSamples(DeferSamples(origin, mStamp, b, c, length));
    }
  }

  // Files from before the conversion table have no conversions. Whether the data a conversion stands on
  // exists is left to the whole file's check.
  void ReadUserConversions() {
    if (!Going() || !HasConversionTable(mDb)) return;
    auto row = mDb.Prepare(
        "SELECT block, channel, conversion_scale, conversion_offset, shown_units FROM user_conversions "
        "ORDER BY block, channel");
    while (Going() && row.Step()) {
      std::int64_t b = 0, c = 0;
      if (!Int(row, 0, 0, mFile.BlockCount() - 1, b, "the block of a units conversion") ||
          !Int(row, 1, 0, mFile.ChannelCount() - 1, c, "the channel of a units conversion"))
        return;
      if (row.Type(2) != SQLITE_FLOAT || row.Type(3) != SQLITE_FLOAT || row.Type(4) != SQLITE_TEXT)
        return Problem(Place(b, c) + ": the units conversion is incomplete");
      UserConversion conversion{row.Double(2), row.Double(3), FromUtf8(row.Text(4))};
      if (auto why = WhyNotUsable(conversion)) return Problem(Place(b, c) + ": " + *why);
      mFile.blocks[b].channels[c].userConversion = std::move(conversion);
    }
  }

  void ReadDocumentStreams() {
    auto row = mDb.Prepare("SELECT name, content FROM document_streams ORDER BY name");
    while (Going() && row.Step()) {
      if (row.Type(0) != SQLITE_TEXT || row.Type(1) != SQLITE_BLOB)
        return Problem("a document stream has no name or no content");
      auto bytes = row.Blob(1);
      mFile.documentStreams[row.Text(0)] = {bytes.begin(), bytes.end()};
    }
  }

  SqliteDatabase& mDb;
  std::string mPath;
  ChangeStamp mStamp;
  LoadMode mMode;
  DataFile mFile;
  std::int64_t mChunkSamples = kDefaultChunkSamples;
  std::vector<std::pair<std::int64_t, std::int64_t>> mWithData;  // (block, channel) in storage order
  std::string mProblem;
};

Expected<DataFile> Read(SqliteDatabase& db, const std::string& path, LoadMode mode, ChangeStamp* stamp) {
  sqlite3_busy_timeout(db.Handle(), 5000);
  // One read transaction: a save running in another process cannot show us half its rows.
  db.Exec("BEGIN");
  if (auto identity = CheckKymoDatabase(db, path); !identity) return Error{identity.ErrorMessage()};
  // Deferred samples are read later only from a file that still holds the content of this load.
  const ChangeStamp loaded = stamp || mode == LoadMode::kDeferSamples ? ReadStamp(db) : 0;
  auto file = KymoReader(db, path, loaded, mode).Read();
  if (file && stamp) *stamp = loaded;
  if (file && !db.Ok()) return Error{DescribeFailure(db, path, "read")};
  db.Rollback();
  return file;
}

Expected<DataFile> Load(const std::string& path, LoadMode mode, ChangeStamp* stamp) {
  if (auto header = CheckSqliteHeader(path); !header) return Error{header.ErrorMessage()};
  RemoveStaleTemporaries(path);
  // A file opened without locks is read as it stands, and read again should a save elsewhere have folded
  // its log into the file meanwhile.
  for (int attempt = 0;; ++attempt) {
    auto before = Identify(path);
    auto opened = OpenToRead(path);
    if (!opened) return Error{opened.ErrorMessage()};
    auto file = Read(opened->db, path, mode, stamp);
    opened->db.Close();
    if (ReadStands(*opened, before, path)) return file;
    if (attempt == 2) return Error{"Cannot read " + path + ": another program keeps changing it."};
  }
}

}  // namespace

Expected<DataFile> LoadKymo(const std::string& path, ChangeStamp* stamp, LoadMode mode) {
  try {
    return Load(path, mode, stamp);
  } catch (const std::bad_alloc&) {
    return Error{"Cannot load " + path + ": out of memory."};
  } catch (const std::exception& e) {
    return Error{"Cannot load " + path + ": " + e.what() + "."};
  }
}

}  // namespace kymora::storage
