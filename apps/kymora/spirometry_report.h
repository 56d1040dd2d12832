#pragma once
// What `kymora spirometry` found in one selection, and its two printed forms: the JSON object and the table.
#include <optional>
#include <string>
#include <vector>

#include "apps/kymora/measure_set.h"
#include "apps/kymora/spirometry_standard.h"
#include "host/data/data_position.h"
#include "spirometry/document/ispiro_results2.h"

namespace kymora::cli {

struct Report {
  Spirometry::SpiroSettingsRecord settings{};
  DataPosition start, end;
  bool valid = false;
  std::string message;
  std::vector<Spirometry::SpiroBreathRecord> breaths;
  MeasureSet breathMeasures;                                  // one item per breath
  MeasureSet analysisMeasures;                                // one item: the sums over the analysis
  std::optional<Spirometry::SpiroDetectionRecord> detection;  // only with an automatic detection level
  std::optional<StandardResults> standard;                    // only with --standard
};

// The JSON object on one line, with its line end. With a file name (several files analysed at once) the
// object starts with "file".
std::string ReportJson(const Report& r, const std::string* file = nullptr);
// The table of the breaths and the summary, in the report's flow units.
std::string ReportTable(const Report& r);

// The flow units' scale from L/s and their prefix text ("m" for mL/s).
double PrefixFactor(std::int32_t prefix);
const char* PrefixText(std::int32_t prefix);

}  // namespace kymora::cli
