#pragma once
// What the loader and the saver share: the tables of format 1, the identity checks of a .kymo file, the
// byte form of samples and the content hash of a chunk.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/com/expected.h"
#include "host/data/data_file.h"
#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/sqlite_database.h"

namespace kymora::storage {

// Tables of format 1. Channels and blocks are numbered from 0 in storage. A sample chunk holds
// file_info.chunk_samples samples (fewer in the last chunk of a block) as float32 little-endian, with the
// 64-bit content hash of those bytes, so that a later save can tell unchanged chunks without reading them.
extern const char* const kCreateTablesSql;
// The table of the change stamp (see kymo_storage.h); created by the first save that writes a stamp.
extern const char* const kCreateStampTableSql;

// The table of the units conversions that the user applied, one row per (block, channel) that has one.
// Created by every save (files written before it existed lack it and have no conversions). Programs that
// predate it read the file without the conversions and, saving over the file, leave the rows as they are:
// they can neither remove nor renumber channels and blocks, so each row stays with its recorded data.
extern const char* const kCreateConversionTableSql;
// Whether the file holds the conversion table.
bool HasConversionTable(SqliteDatabase& db);

// Largest chunk size accepted from a file: anything larger is damage, not a choice of ours.
constexpr std::int64_t kMaxChunkSamples = std::int64_t{1} << 24;

// Looks at the first bytes of the file before SQLite does, so that a CSV or a picture gets a plain
// message and is never handed to a database engine. Messages name the file.
Status CheckSqliteHeader(const std::string& path);

// Checks that an open database is a .kymo file this version can read: our application id, a format
// version from 1 to kFormatVersion and every table with every column. Messages name the file.
Status CheckKymoDatabase(SqliteDatabase& db, const std::string& path);

// The stamp the file holds (0 when it has none yet), and a new one written in the current transaction.
ChangeStamp ReadStamp(SqliteDatabase& db);
void WriteStamp(SqliteDatabase& db, ChangeStamp stamp);

// The message for a failure recorded in a connection: "damaged" for corruption, SQLite's text otherwise.
std::string DescribeFailure(const SqliteDatabase& db, const std::string& path, const std::string& doing);

// The folder a file lies in: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path);

// Sample bytes as stored: float32 little-endian, bit for bit (not-a-number payloads included).
void EncodeSamples(std::span<const float> samples, std::vector<std::uint8_t>& out);
void AppendDecodedSamples(std::span<const std::uint8_t> bytes, Samples& out);

// 64-bit hash of chunk bytes. Each 8-byte step is a bijection of the running state for a fixed input word
// and of the word for a fixed state, so chunks that differ in a single word never hash alike.
std::uint64_t ChunkHash(std::span<const std::uint8_t> bytes);

}  // namespace kymora::storage
