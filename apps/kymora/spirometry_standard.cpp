#include "apps/kymora/spirometry_standard.h"

#include <cmath>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/spirometry_outputs.h"

namespace kymora::cli {

namespace {
bool Yes(Bool16 v) { return v != kFalse16; }

// A yes/no measure of a manoeuvre; false when the set has no such measure.
bool Flag(const MeasureSet& set, std::size_t item, const char* key) { return set.Number(item, key) == 1.0; }

const char* EndOfExpiration(const MeasureSet& m, std::size_t i) {
  if (Flag(m, i, "Plateau")) return "plateau";
  if (Flag(m, i, "FET15s")) return "15 s";
  if (Flag(m, i, "EndOfExpiration")) return "earlier FVC";
  return "not reached";
}

// "FEV1", "FVC", "FEV1+FVC" or "-" for a pair of yes/no measures.
std::string Pair(const MeasureSet& m, std::size_t i, const char* fev1Key, const char* fvcKey) {
  const bool fev1 = Flag(m, i, fev1Key), fvc = Flag(m, i, fvcKey);
  if (!fev1 && !fvc) return "-";
  return std::string(fev1 ? "FEV1" : "") + (fev1 && fvc ? "+" : "") + (fvc ? "FVC" : "");
}

std::string Grade(const MeasureSet& test, const char* key) {
  const double letter = test.Number(0, key);
  return std::isfinite(letter) ? std::string(1, static_cast<char>(letter)) : "-";
}

// The cells of the shown measures of an item, joined by `separator`.
template <class CellFn>
std::string Row(const MeasureSet& set, std::size_t item, std::uint32_t output, const char* separator, CellFn cell) {
  std::string row;
  for (std::size_t m = 0; m < set.infos.size(); ++m) {
    if (!(set.infos[m].Outputs & output)) continue;
    if (!row.empty()) row += separator;
    row += cell(set.infos[m], set.At(item, m));
  }
  return row;
}

std::string CsvHeader(const MeasureSet& set) {
  std::string header;
  for (const auto& info : set.infos)
    if (info.Outputs & Spirometry::kShowInCsv) header += (header.empty() ? "" : ",") + CsvTitle(info);
  return header + "\n";
}

std::string CsvRow(const MeasureSet& set, std::size_t item) {
  return Row(set, item, Spirometry::kShowInCsv, ",",
             [](const Spirometry::SpiroMeasureInfo&, const Spirometry::SpiroMeasureValue& v) { return CsvCell(v); }) +
         "\n";
}
}  // namespace

std::vector<std::ptrdiff_t> ManoeuvresByBreath(const MeasureSet& manoeuvres, std::size_t breaths) {
  std::vector<std::ptrdiff_t> of(breaths, -1);
  for (std::size_t i = 0; i < manoeuvres.Items(); ++i) {
    const double breath = manoeuvres.Number(i, "Breath");  // from 1
    if (breath >= 1.0 && breath <= static_cast<double>(breaths))
      of[static_cast<std::size_t>(breath) - 1] = static_cast<std::ptrdiff_t>(i);
  }
  return of;
}

void WriteDetectionJson(JsonWriter& w, const Spirometry::SpiroDetectionRecord& d) {
  w.BeginObject().Key("Automatic").Bool(Yes(d.Automatic)).Key("Height").Double(d.Height).Key("Level").Double(d.Level);
  w.Key("NoiseHeight").Double(d.NoiseHeight).Key("ChatterHeight").Double(d.ChatterHeight);
  w.Key("BreathPeak").Double(d.BreathPeak).EndObject();
}

std::string StandardTableText(const StandardResults& r, double k, const char* p) {
  const MeasureSet& m = r.manoeuvres;
  std::string text = "\nATS/ERS 2019, from the back-extrapolated time zero:\n";
  std::string header;
  for (const auto& info : m.infos)
    if (info.Outputs & Spirometry::kShowInTable) header += (header.empty() ? "" : " ") + TableTitle(info, p);
  text += header + Format(" %-12s %-11s %-11s\n", "End", "Acceptable", "Usable");
  for (std::size_t i = 0; i < m.Items(); ++i) {
    if (!Flag(m, i, "Measured")) {
      text +=
          Format("%-7.0f not measured (the volume curve could not be read or does not rise)\n", m.Number(i, "Breath"));
      continue;
    }
    text += Row(m, i, Spirometry::kShowInTable, " ",
                [k](const Spirometry::SpiroMeasureInfo& info, const Spirometry::SpiroMeasureValue& v) {
                  return TableCell(info, v, k);
                });
    text += Format(" %-12s %-11s %-11s\n", EndOfExpiration(m, i), Pair(m, i, "FEV1Acceptable", "FVCAcceptable").c_str(),
                   Pair(m, i, "FEV1Usable", "FVCUsable").c_str());
  }
  const MeasureSet& t = r.test;
  text += Format("Test: %.0f manoeuvres; acceptable FEV1 %.0f, FVC %.0f; %s; grade FEV1 %s, FVC %s\n",
                 t.Number(0, "Manoeuvres"), t.Number(0, "AcceptableFEV1"), t.Number(0, "AcceptableFVC"),
                 Flag(t, 0, "Repeatable") ? "repeatable" : "not repeatable", Grade(t, "FEV1Grade").c_str(),
                 Grade(t, "FVCGrade").c_str());
  return text;
}

Status WriteStandardCsv(const StandardResults& r, const std::string& path) {
  std::string text = CsvHeader(r.manoeuvres);
  for (std::size_t i = 0; i < r.manoeuvres.Items(); ++i) text += CsvRow(r.manoeuvres, i);
  text += "\n" + CsvHeader(r.test);
  for (std::size_t i = 0; i < r.test.Items(); ++i) text += CsvRow(r.test, i);
  if (auto written = WriteThroughPartialFile(path, text); !written) return Error{path + ": " + written.ErrorMessage()};
  return Ok();
}

}  // namespace kymora::cli
