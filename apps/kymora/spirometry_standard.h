#pragma once
// The command line's output of the clinical standard's measures (ATS/ERS 2019) of the forced expirations
// and of the automatic detection level: JSON members, a table and DIR/standard.csv. Only written when
// --standard or an automatic level asks for them, so that other runs print exactly what they always did.
#include <cstddef>
#include <string>
#include <vector>

#include "apps/kymora/json_writer.h"
#include "apps/kymora/measure_set.h"
#include "host/com/expected.h"
#include "spirometry/document/ispiro_results2.h"

namespace kymora::cli {

// The measures of every forced manoeuvre and of the test they make.
struct StandardResults {
  MeasureSet manoeuvres;  // one item per forced manoeuvre
  MeasureSet test;        // one item
};

// The key of a forced breath's measures and of the test's.
inline constexpr const char* kStandardKey = "ATSERS2019";
inline constexpr const char* kStandardTestKey = "ATSERS2019Test";

// For each of `breaths` breaths, the manoeuvre measured on it, or -1.
std::vector<std::ptrdiff_t> ManoeuvresByBreath(const MeasureSet& manoeuvres, std::size_t breaths);

// {"Automatic": true, "Height": ..., "Level": ..., "NoiseHeight": ..., "ChatterHeight": ..., "BreathPeak": ...}
void WriteDetectionJson(JsonWriter& w, const Spirometry::SpiroDetectionRecord& d);

// A table of the manoeuvres and a line for the test, in the units of the report (factor and prefix text).
std::string StandardTableText(const StandardResults& r, double factor, const char* prefix);

// One row per manoeuvre, then the test; comma-separated with a decimal point, litres, seconds, L/s, LF
// line ends. Written beside the target and renamed into place.
Status WriteStandardCsv(const StandardResults& r, const std::string& path);

}  // namespace kymora::cli
