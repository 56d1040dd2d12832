#pragma once
// `kymora spirometry` on several files (or folders of recordings) at once, in parallel on every core.
#include <string>
#include <vector>

#include "apps/kymora/spirometry_command.h"

namespace kymora::cli {

// The recordings a folder holds (.kymo, .csv, .wav, .edf and .bdf files, any case), sorted by name.
inline constexpr const char* kRecordingExtensions[] = {".kymo", ".csv", ".wav", ".edf", ".bdf"};

// Analyses every file of the inputs with the options of args (its file is not used), one document per file.
// With --json one object per line (with a "file" member) in the order of the files; without, each file's
// table under its name. --out DIR gives each file the folder DIR/NAME (its name without the extension;
// two files of one name are refused) and writes DIR/summary.csv. A file that fails is named on standard
// error and the others go on; the exit code is 1 when any failed.
int RunSpirometryBatch(const SpirometryArgs& args, const std::vector<std::string>& inputs);

}  // namespace kymora::cli
