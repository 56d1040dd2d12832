#include "host/data/storage/kymo_schema.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <vector>

#include "host/data/storage/kymo_storage.h"

namespace kymora::storage {

const char* const kCreateTablesSql = R"(
CREATE TABLE file_info(
  id INTEGER PRIMARY KEY CHECK (id = 1),
  chunk_samples INTEGER NOT NULL,
  selection_valid INTEGER NOT NULL,
  selection_start_block INTEGER NOT NULL,
  selection_start_offset INTEGER NOT NULL,
  selection_end_block INTEGER NOT NULL,
  selection_end_offset INTEGER NOT NULL) STRICT;
CREATE TABLE channels(
  channel INTEGER PRIMARY KEY,
  title TEXT NOT NULL,
  calculation_class TEXT,
  calculation_settings BLOB,
  CHECK ((calculation_class IS NULL) = (calculation_settings IS NULL))) STRICT;
CREATE TABLE blocks(
  block INTEGER PRIMARY KEY,
  secs_per_tick REAL NOT NULL,
  length INTEGER NOT NULL) STRICT;
CREATE TABLE channel_blocks(
  block INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  units TEXT NOT NULL,
  full_scale REAL NOT NULL,
  has_data INTEGER NOT NULL,
  PRIMARY KEY (block, channel)) STRICT, WITHOUT ROWID;
CREATE TABLE sample_chunks(
  block INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  chunk INTEGER NOT NULL,
  content_hash INTEGER NOT NULL,
  samples BLOB NOT NULL,
  PRIMARY KEY (block, channel, chunk)) STRICT;
CREATE TABLE document_streams(
  name TEXT PRIMARY KEY NOT NULL,
  content BLOB NOT NULL) STRICT;
)";

// Files written before the stamp existed lack this table; their stamp counts as 0.
const char* const kCreateStampTableSql =
    "CREATE TABLE IF NOT EXISTS save_stamp(id INTEGER PRIMARY KEY CHECK (id = 1), stamp INTEGER NOT NULL) STRICT";

const char* const kCreateConversionTableSql = R"(
CREATE TABLE IF NOT EXISTS user_conversions(
  block INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  conversion_scale REAL NOT NULL,
  conversion_offset REAL NOT NULL,
  shown_units TEXT NOT NULL,
  PRIMARY KEY (block, channel)) STRICT, WITHOUT ROWID;
)";

bool HasConversionTable(SqliteDatabase& db) {
  return db.QueryInt("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'user_conversions'") != 0;
}

namespace {
const char* const kConversionProbe =
    "SELECT block, channel, conversion_scale, conversion_offset, shown_units FROM user_conversions LIMIT 0";

// Every column the loader and the saver use; a file that cannot answer these is not ours.
const char* const kProbes[] = {
    ("SELECT id, chunk_samples, selection_valid, selection_start_block, selection_start_offset, "
     "selection_end_block, selection_end_offset FROM file_info LIMIT 0"),
    "SELECT channel, title, calculation_class, calculation_settings FROM channels LIMIT 0",
    "SELECT block, secs_per_tick, length FROM blocks LIMIT 0",
    "SELECT block, channel, units, full_scale, has_data FROM channel_blocks LIMIT 0",
    "SELECT block, channel, chunk, content_hash, samples FROM sample_chunks LIMIT 0",
    "SELECT name, content FROM document_streams LIMIT 0",
};

bool IsDamage(int code) {
  int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT;
}
}  // namespace

Status CheckSqliteHeader(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{"Cannot open " + path + ": " + std::strerror(errno) + "."};
  char header[16] = {};
  std::size_t got = 0;
  int readError = 0;
  while (got < sizeof header) {
    ssize_t n = ::read(fd, header + got, sizeof header - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readError = errno;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (readError) return Error{"Cannot read " + path + ": " + std::strerror(readError) + "."};
  if (got == 0) return Error{path + " is empty; it is not a Kymora data file."};
  if (got < sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)
    return Error{path + " is not a Kymora data file."};
  return Ok();
}

Status CheckKymoDatabase(SqliteDatabase& db, const std::string& path) {
  auto applicationId = db.QueryInt("PRAGMA application_id");
  auto version = db.QueryInt("PRAGMA user_version");
  if (!db.Ok()) return Error{DescribeFailure(db, path, "read")};
  if (applicationId != kApplicationId)
    return Error{path + " is not a Kymora data file (it is another kind of SQLite database)."};
  if (version > kFormatVersion)
    return Error{path + " was written by a newer version of Kymora (file format " + std::to_string(version) +
                 "; this version reads up to " + std::to_string(kFormatVersion) + ")."};
  if (version < 1)
    return Error{path + " is damaged: it has no valid file format number (" + std::to_string(version) + ")."};
  std::vector<const char*> probes(std::begin(kProbes), std::end(kProbes));
  if (HasConversionTable(db)) probes.push_back(kConversionProbe);
  for (const char* probe : probes) {
    db.Prepare(probe);
    if (db.Ok()) continue;
    if (IsDamage(db.FailureCode())) return Error{DescribeFailure(db, path, "read")};
    return Error{path + " is damaged: it lacks part of the Kymora tables (" + db.FailureMessage() + ")."};
  }
  return Ok();
}

ChangeStamp ReadStamp(SqliteDatabase& db) {
  if (db.QueryInt("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'save_stamp'") == 0) return 0;
  return db.QueryInt("SELECT stamp FROM save_stamp WHERE id = 1");
}

void WriteStamp(SqliteDatabase& db, ChangeStamp stamp) {
  db.Exec(kCreateStampTableSql);
  db.Prepare("INSERT OR REPLACE INTO save_stamp VALUES (1, ?1)").Bind(1, stamp).Run();
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string DescribeFailure(const SqliteDatabase& db, const std::string& path, const std::string& doing) {
  if (IsDamage(db.FailureCode())) return path + " is damaged (" + db.FailureMessage() + ").";
  return "Cannot " + doing + " " + path + ": " + db.FailureMessage() + ".";
}

void EncodeSamples(std::span<const float> samples, std::vector<std::uint8_t>& out) {
  out.resize(samples.size() * sizeof(float));
  if constexpr (std::endian::native == std::endian::little) {
    if (!samples.empty()) std::memcpy(out.data(), samples.data(), out.size());
  } else {
    for (std::size_t i = 0; i < samples.size(); ++i) {
      auto bits = std::bit_cast<std::uint32_t>(samples[i]);
      for (int k = 0; k < 4; ++k) out[i * 4 + k] = static_cast<std::uint8_t>(bits >> (8 * k));
    }
  }
}

void AppendDecodedSamples(std::span<const std::uint8_t> bytes, Samples& out) {
  std::size_t count = bytes.size() / sizeof(float);
  std::size_t at = out.size();
  out.resize(at + count);
  if constexpr (std::endian::native == std::endian::little) {
    if (count) std::memcpy(out.data() + at, bytes.data(), count * sizeof(float));
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t bits = 0;
      for (int k = 0; k < 4; ++k) bits |= std::uint32_t{bytes[i * 4 + k]} << (8 * k);
      out[at + i] = std::bit_cast<float>(bits);
    }
  }
}

std::uint64_t ChunkHash(std::span<const std::uint8_t> bytes) {
  constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ull;
  constexpr std::uint64_t k2 = 0xC2B2AE3D27D4EB4Full;
  constexpr std::uint64_t k3 = 0xFF51AFD7ED558CCDull;
  auto step = [&](std::uint64_t h, std::uint64_t word) { return std::rotl(h ^ (word * k1), 31) * k2; };
  auto load = [](const std::uint8_t* p, std::size_t n) {
    std::uint64_t word = 0;
    for (std::size_t k = 0; k < n; ++k) word |= std::uint64_t{p[k]} << (8 * k);
    return word;
  };
  std::uint64_t h = 0x4B594D4F00000001ull ^ (bytes.size() * k3);
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    if constexpr (std::endian::native == std::endian::little)
      std::memcpy(&word, bytes.data() + i, 8);
    else
      word = load(bytes.data() + i, 8);
    h = step(h, word);
  }
  if (i < bytes.size()) h = step(h, load(bytes.data() + i, bytes.size() - i));
  h ^= h >> 33;
  h *= k3;
  h ^= h >> 33;
  return h;
}

}  // namespace kymora::storage
