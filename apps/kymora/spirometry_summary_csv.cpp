#include "apps/kymora/spirometry_summary_csv.h"

#include <cmath>

#include "apps/kymora/cli_context.h"

namespace kymora::cli {

namespace {

using Spirometry::kShowInCsv;

std::string Quoted(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// The columns of a kind's measures: those the CSV files show.
struct Columns {
  const MeasureSet* titles = nullptr;  // any set of the kind, for the measures' titles; null when none was read
  std::size_t Count() const {
    std::size_t n = 0;
    if (titles)
      for (const auto& info : titles->infos) n += (info.Outputs & kShowInCsv) != 0;
    return n;
  }
  std::string Header() const {
    std::string header;
    if (titles)
      for (const auto& info : titles->infos)
        if (info.Outputs & kShowInCsv) header += "," + CsvTitle(info);
    return header;
  }
  std::string Blank() const { return std::string(Count(), ','); }
};

std::string Cells(const MeasureSet& set, std::size_t item) {
  std::string cells;
  for (std::size_t m = 0; m < set.infos.size(); ++m)
    if (set.infos[m].Outputs & kShowInCsv) cells += "," + CsvCell(set.At(item, m));
  return cells;
}

std::string ForcedRows(const std::string& file, const Report& r, const Columns& sums) {
  std::string rows;
  for (std::size_t i = 0; i < r.breaths.size() && i < r.breathMeasures.Items(); ++i) {
    if (r.breaths[i].IsForced == kFalse16) continue;
    rows += file + ",forced," + std::to_string(i + 1) + Cells(r.breathMeasures, i) + sums.Blank() + ",,\n";
  }
  return rows;
}

std::string SummaryRow(const std::string& file, const SummaryEntry& e, const Columns& breaths, const Columns& sums) {
  std::string row = file + ",summary," + breaths.Blank();
  if (!e.report) return row + sums.Blank() + ",no," + Quoted(e.error) + "\n";
  const Report& r = *e.report;
  if (r.valid && r.analysisMeasures.Items() > 0)
    row += Cells(r.analysisMeasures, 0) + ",yes,";
  else
    row += sums.Blank() + ",no,";
  return row + Quoted(e.error.empty() ? r.message : e.error) + "\n";
}

}  // namespace

std::string SummaryCsv(const std::vector<SummaryEntry>& entries) {
  Columns breaths, sums;
  for (const auto& e : entries) {
    if (!e.report) continue;
    if (!breaths.titles && !e.report->breathMeasures.infos.empty()) breaths.titles = &e.report->breathMeasures;
    if (!sums.titles && !e.report->analysisMeasures.infos.empty()) sums.titles = &e.report->analysisMeasures;
  }
  std::string text = "File,Row,Breath" + breaths.Header() + sums.Header() + ",Valid,Message\n";
  for (const auto& e : entries) {
    const std::string file = Quoted(e.file);
    if (e.report && e.report->valid) text += ForcedRows(file, *e.report, sums);
    text += SummaryRow(file, e, breaths, sums);
  }
  return text;
}

}  // namespace kymora::cli
