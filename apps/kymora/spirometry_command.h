#pragma once
// The spirometry analysis of the command line, shared by `kymora spirometry` and `kymora demo`.
#include <cstdint>
#include <optional>
#include <string>

namespace kymora {
class HostDocument;
}

namespace kymora::cli {

struct SpirometryArgs {
  std::string file;
  std::optional<std::int32_t> flowChannel, volumeChannel, rawChannel, preset, toBlock;  // 1-based
  std::optional<double> detectionLevel, forcedThreshold, noiseFloor, from, to;
  // Switches: unset keeps what the file holds.
  std::optional<bool> includeNonForced, applyNoiseFloor;
  std::optional<std::string> flowUnits;
  std::optional<std::string> out;  // folder for report.html and report.csv
  std::int32_t block = 1;
  bool save = false, json = false;
  bool autoDetectionLevel = false;  // --detection-level auto
  bool standard = false;            // --standard: the clinical standard's measures too
};

// Runs the analysis and prints or writes its results; the exit code. An open document (opened: null when
// args.file is to be opened) lets the benchmarks leave the reading of the file out.
int RunSpirometry(const SpirometryArgs& args, HostDocument* opened = nullptr);

}  // namespace kymora::cli
