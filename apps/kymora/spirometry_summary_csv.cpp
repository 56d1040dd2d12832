#include "apps/kymora/spirometry_summary_csv.h"

#include <cmath>

#include "apps/kymora/cli_context.h"

namespace kymora::cli {

namespace {

constexpr const char* kHeader =
    "File,Row,Breath,Ti (s),Te (s),Duration (s),FVC (L),PIF (L/s),PEF (L/s),FEV1 (L),FEV1/FVC (%),Breaths,"
    "Non-forced breaths,Forced breaths,Total duration (s),Non-forced duration (s),VE (L/s),Average VT (L),f (Hz),"
    "Valid,Message\n";
constexpr int kBreathColumns = 8;   // Ti to FEV1/FVC
constexpr int kSummaryColumns = 9;  // Breaths to Valid

std::string Quoted(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// Six significant digits, as the report has them.
std::string Cell(double value) { return std::isfinite(value) ? Format(",%.6g", value) : ","; }
std::string Blank(int columns) { return std::string(static_cast<std::size_t>(columns), ','); }

std::string ForcedRows(const std::string& file, const Report& r) {
  std::string rows;
  for (std::size_t i = 0; i < r.breaths.size(); ++i) {
    if (r.breaths[i].IsForced == kFalse16) continue;
    const auto& p = r.parameters[i];
    const bool fev1 = p.Fev1Available != kFalse16;
    rows += file + ",forced," + std::to_string(i + 1) + Cell(p.Ti) + Cell(p.Te) + Cell(p.Duration) +
            Cell(p.VolumeVtOrFvc) + Cell(p.Pif) + Cell(p.Pef) + Cell(fev1 ? p.Fev1 : NAN) +
            Cell(fev1 ? p.Fev1OverFvc : NAN) + Blank(kSummaryColumns) + ",\n";
  }
  return rows;
}

std::string SummaryRow(const std::string& file, const SummaryEntry& e) {
  std::string row = file + ",summary," + Blank(kBreathColumns);
  if (!e.report) return row + Blank(kSummaryColumns - 1) + ",no," + Quoted(e.error) + "\n";
  const Report& r = *e.report;
  const auto& m = r.summary;
  if (r.valid)
    row += "," + std::to_string(m.BreathCount) + "," + std::to_string(m.NonForcedCount) + "," +
           std::to_string(m.ForcedCount) + Cell(m.TotalDuration) + Cell(m.NonForcedDuration) +
           Cell(m.MinuteVentilation) + Cell(m.AverageTidalVolume) + Cell(m.BreathingFrequency) + ",yes,";
  else
    row += Blank(kSummaryColumns - 1) + ",no,";
  return row + Quoted(e.error.empty() ? r.message : e.error) + "\n";
}

}  // namespace

std::string SummaryCsv(const std::vector<SummaryEntry>& entries) {
  std::string text = kHeader;
  for (const auto& e : entries) {
    const std::string file = Quoted(e.file);
    if (e.report && e.report->valid) text += ForcedRows(file, *e.report);
    text += SummaryRow(file, e);
  }
  return text;
}

}  // namespace kymora::cli
