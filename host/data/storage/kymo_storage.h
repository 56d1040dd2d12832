#pragma once
// The .kymo data file: a DataFile kept as one SQLite database in WAL journal mode.
//
// A save is one transaction, so a crash or a kill at any moment leaves either the old or the new content.
// Saving over an existing .kymo file rewrites only the sample chunks whose content changed; saving to a
// new path builds the file under a temporary name beside it and renames it into place when complete.
// Loading checks every row and refuses anything inconsistent; it needs no write access and leaves nothing
// beside the file. Every failure is returned as a message for the user that names the file.
//
// Two programs may load one file and both save it. Each save leaves a new change stamp in the file; a save
// that names the stamp its content was loaded with refuses to overwrite a file whose stamp has moved on
// since, so that the later writer cannot throw away the earlier one's change.
#include <cstdint>
#include <optional>
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

// A number drawn anew at every save (never 0); 0 for a file saved before stamps existed.
using ChangeStamp = std::int64_t;

// The end of the message of a save refused because another program saved the file after it was loaded.
inline constexpr const char* kChangedByAnotherProgram = "the file was changed by another program since it was opened";

struct SaveOptions {
  std::int32_t chunkSamples = kDefaultChunkSamples;
  // The stamp the file had when the content being saved was loaded from it: the save is refused when the
  // file holds another. Unset for a new file or a "save as" over another file.
  std::optional<ChangeStamp> expectedStamp;
  // Refuse when a file exists at the path already, instead of saving over it.
  bool onlyNew = false;
};

// What a save did to the stored samples; lets callers and tests see that unchanged data was left alone.
struct SaveStats {
  std::int64_t chunksWritten = 0;
  std::int64_t chunksKept = 0;
  std::int64_t chunksDeleted = 0;
  ChangeStamp stamp = 0;  // the stamp the save left in the file
};

enum class LoadMode {
  kAllSamples,    // every sample of every channel-block is read and checked before the load returns
  kDeferSamples,  // the samples stay in the file until a reader asks for them (ChannelBlock::ReadSamples)
};

// *stamp (when given) receives the stamp of the content loaded. Deferred samples are checked as they are
// read; reading them fails, with a message ending in kChangedByAnotherProgram, once another program has
// saved the file. A save reads every deferred sample first and is refused when one cannot be read.
Expected<DataFile> LoadKymo(const std::string& path, ChangeStamp* stamp = nullptr,
                            LoadMode mode = LoadMode::kAllSamples);
Status SaveKymo(const std::string& path, const DataFile& file);
Status SaveKymo(const std::string& path, const DataFile& file, const SaveOptions& options, SaveStats* stats);

}  // namespace kymora::storage
