#pragma once
// DIR/summary.csv of several files analysed at once: a row per forced breath of every file and a summary row
// per file, in the order of the files.
#include <string>
#include <vector>

#include "apps/kymora/spirometry_report.h"

namespace kymora::cli {

struct SummaryEntry {
  std::string file;
  const Report* report = nullptr;  // null when the file was not analysed
  std::string error;               // why, or why its results were not all written
};

// Comma-separated with a decimal point, six significant digits and LF line ends; volumes in L, flows in
// L/s, times in s, VE in L/s, f in Hz; a value that could not be measured is blank.
std::string SummaryCsv(const std::vector<SummaryEntry>& entries);

}  // namespace kymora::cli
