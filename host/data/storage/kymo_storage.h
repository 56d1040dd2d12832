#pragma once
// The .kymo data file: a DataFile kept as one SQLite database in WAL journal mode.
//
// A save is one transaction, so a crash or a kill at any moment leaves either the old or the new content.
// Saving over an existing .kymo file rewrites only the sample chunks whose content changed; saving to a
// new path builds the file under a temporary name beside it and renames it into place when complete.
// Loading opens the file read-only, checks every row and refuses anything inconsistent.
// Every failure is returned as a message for the user that names the file.
#include <cstdint>
#include <string>

#include "host/com/expected.h"
#include "host/data/data_file.h"

namespace kymora::storage {

// Held in PRAGMA user_version; files of a larger number are refused.
constexpr int kFormatVersion = 1;
// Held in PRAGMA application_id ("KYMO"): tells our SQLite files from any other.
constexpr std::int32_t kApplicationId = 0x4B594D4F;
// Samples per stored chunk: large enough that the per-row overhead vanishes, small enough that editing a
// few samples rewrites little.
constexpr std::int32_t kDefaultChunkSamples = 65536;

struct SaveOptions {
  std::int32_t chunkSamples = kDefaultChunkSamples;
};

// What a save did to the stored samples; lets callers and tests see that unchanged data was left alone.
struct SaveStats {
  std::int64_t chunksWritten = 0;
  std::int64_t chunksKept = 0;
  std::int64_t chunksDeleted = 0;
};

Expected<DataFile> LoadKymo(const std::string& path);
Status SaveKymo(const std::string& path, const DataFile& file);
Status SaveKymo(const std::string& path, const DataFile& file, const SaveOptions& options, SaveStats* stats);

}  // namespace kymora::storage
