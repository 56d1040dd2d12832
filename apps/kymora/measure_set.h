#pragma once
// The measures of one kind that the spirometry document describes (ISpiroMeasures), with their values for
// every item, and how each of the command line's outputs writes one: a JSON member, a table cell with its
// column title, a CSV cell with its column title. The writers walk a set in its order, so a measure the
// document adds reaches every output without a change here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/kymora/json_writer.h"
#include "spirometry/document/ispiro_measures.h"

namespace kymora::cli {

struct MeasureSet {
  std::vector<Spirometry::SpiroMeasureInfo> infos;
  std::vector<Spirometry::SpiroMeasureValue> values;  // item by item, one value per measure

  std::size_t Items() const { return infos.empty() ? 0 : values.size() / infos.size(); }
  const Spirometry::SpiroMeasureValue& At(std::size_t item, std::size_t measure) const {
    return values[item * infos.size() + measure];
  }
  // The index of the measure with a key; nothing when the set has none.
  std::optional<std::size_t> Find(std::string_view key) const;
  // The number of a measure for an item; NaN when the measure is not there or has no number.
  double Number(std::size_t item, std::string_view key) const;
};

// Every measure of a kind for every item of the current analysis; false when the document does not answer.
bool ReadMeasures(ISpiroMeasures& measures, std::int32_t kind, MeasureSet* set);

// The members of one item's JSON object for the measures shown in JSON (an absent value writes none).
void WriteMeasuresJson(JsonWriter& w, const MeasureSet& set, std::size_t item);

// The terminal table: a column's title ("FEV1 (mL)", or "FEV1/FVC" for a percentage) and a cell (volumes
// and flows multiplied by `factor`; "-" for a value that could not be measured), each padded to the
// measure's width (the caller puts a space between columns).
std::string TableTitle(const Spirometry::SpiroMeasureInfo& info, const char* prefix);
std::string TableCell(const Spirometry::SpiroMeasureInfo& info, const Spirometry::SpiroMeasureValue& value,
                      double factor);

// The CSV files (litres, seconds, a decimal point): a column's title ("FEV1 (L)") and a cell (six
// significant digits, "yes"/"no", empty for a value that could not be measured).
std::string CsvTitle(const Spirometry::SpiroMeasureInfo& info);
std::string CsvCell(const Spirometry::SpiroMeasureValue& value);

}  // namespace kymora::cli
