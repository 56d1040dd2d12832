#pragma once
// For the tests that run on the external airflow recordings: real tidal breathing at 100 samples per
// second whose inspiration onsets the recordings' authors marked.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace Spirometry::testing {

struct MarkedRecording {
  std::vector<float> flow;           // L/s, inspiration positive
  std::vector<std::int32_t> onsets;  // sample indices of the marked inspiration onsets
};

// Columns: Time [s], Pressure [cmH2O], Flow [L/s], V_tidal [L], Inspiratory Indicies, Weight [kg]; the
// onsets are listed from the first row down and padded with zeros.
MarkedRecording ReadMarkedRecording(const std::filesystem::path& path);

// The recordings' files in name order, found through KYMORA_EXTDATA; none when it does not lead to them.
// *folder (optional) receives where they were looked for.
std::vector<std::filesystem::path> MarkedRecordingFiles(std::filesystem::path* folder = nullptr);

}  // namespace Spirometry::testing
