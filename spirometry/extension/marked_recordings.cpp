#include "spirometry/extension/marked_recordings.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace Spirometry::testing {

MarkedRecording ReadMarkedRecording(const std::filesystem::path& path) {
  MarkedRecording r;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  bool onsetsDone = false;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    if (cells.size() < 5) continue;
    r.flow.push_back(std::stof(cells[2]));
    if (onsetsDone || cells[4].empty()) continue;
    const auto onset = static_cast<std::int32_t>(std::stod(cells[4]));
    if (!r.onsets.empty() && onset <= r.onsets.back())
      onsetsDone = true;
    else
      r.onsets.push_back(onset);
  }
  return r;
}

std::vector<std::filesystem::path> MarkedRecordingFiles(std::filesystem::path* folder) {
  const char* root = std::getenv("KYMORA_EXTDATA");
  const std::filesystem::path where =
      std::filesystem::path(root ? root : "") / "airflow-recordings" / "PQ_ProcessedData";
  if (folder) *folder = where;
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (!root || !std::filesystem::is_directory(where, ec)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(where, ec))
    if (entry.path().extension() == ".csv") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace Spirometry::testing
