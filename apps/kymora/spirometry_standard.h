#pragma once
// The command line's output of the clinical standard's measures (ATS/ERS 2019) of the forced expirations
// and of the automatic detection level: JSON members, a table and DIR/standard.csv. Only written when
// --standard or an automatic level asks for them, so that other runs print exactly what they always did.
#include <string>
#include <vector>

#include "apps/kymora/json_writer.h"
#include "host/com/expected.h"
#include "spirometry/document/ispiro_results2.h"

namespace kymora::cli {

struct StandardResults {
  std::vector<Spirometry::SpiroManoeuvreRecord> manoeuvres;
  Spirometry::SpiroForcedTestRecord test{};
};

// The key of a forced breath's measures and of the test's.
inline constexpr const char* kStandardKey = "ATSERS2019";
inline constexpr const char* kStandardTestKey = "ATSERS2019Test";

// The measures of one manoeuvre as the members of an object (the caller opens and closes it).
void WriteManoeuvreJson(JsonWriter& w, const Spirometry::SpiroManoeuvreRecord& m);
void WriteTestJson(JsonWriter& w, const Spirometry::SpiroForcedTestRecord& t);
// {"Automatic": true, "Height": ..., "Level": ..., "NoiseHeight": ..., "ChatterHeight": ..., "BreathPeak": ...}
void WriteDetectionJson(JsonWriter& w, const Spirometry::SpiroDetectionRecord& d);

// A table of the manoeuvres and a line for the test, in the units of the report (factor and prefix text).
std::string StandardTableText(const StandardResults& r, double factor, const char* prefix);

// One row per manoeuvre, then the test; comma-separated with a decimal point, litres, seconds, L/s, LF
// line ends. Written beside the target and renamed into place.
Status WriteStandardCsv(const StandardResults& r, const std::string& path);

}  // namespace kymora::cli
