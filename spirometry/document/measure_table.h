#pragma once
// The one list of the measures an analysis yields: per breath, per forced manoeuvre, for the test the
// manoeuvres make and over the whole analysis. Each row says what the measure is (SpiroMeasureInfo) and how
// its value is read from an item. Every writer walks these rows (the command line's JSON, tables and CSV
// files through ISpiroMeasures, the report's section of the clinical standard directly) and the fixed
// layouts of the report and the CSV export read their values through them, so a measure is added here.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "spirometry/document/breath.h"
#include "spirometry/document/forced_expiration.h"
#include "spirometry/document/forced_test_quality.h"
#include "spirometry/document/ispiro_measures.h"
#include "spirometry/document/ispiro_results.h"

namespace Spirometry {

// The items the measures are read from.
struct BreathItem {
  const Breath& breath;
  const SpiroBreathParameters& parameters;
};
struct ManoeuvreItem {
  std::int32_t breathIndex;  // 0-based, in the analysis's breath list
  const VolumeTimeCurve& curve;
  const ForcedExpirationMeasures& measures;
  const ManoeuvreQuality& quality;
};
struct TestItem {
  std::int32_t manoeuvres;
  const ForcedTestQuality& quality;
};
struct AnalysisItem {
  const SpiroSummary& summary;
};

template <class Item>
struct Measure {
  SpiroMeasureInfo info;
  SpiroMeasureValue (*value)(const Item& item);
};

std::span<const Measure<BreathItem>> BreathMeasures();
std::span<const Measure<ManoeuvreItem>> ManoeuvreMeasures();
std::span<const Measure<TestItem>> TestMeasures();
std::span<const Measure<AnalysisItem>> AnalysisMeasures();

// The measure with a key among a kind's; null when there is none.
template <class Item>
const Measure<Item>* FindMeasure(std::span<const Measure<Item>> measures, std::string_view key) {
  for (const auto& m : measures)
    if (key == m.info.Key) return &m;
  return nullptr;
}

// The number of a measure known to be in the list (the fixed layouts read their values this way); NaN when
// the measure is not there or has no number for the item.
template <class Item>
double NumberOf(std::span<const Measure<Item>> measures, std::string_view key, const Item& item) {
  const Measure<Item>* m = FindMeasure(measures, key);
  if (!m) return __builtin_nan("");
  const SpiroMeasureValue v = m->value(item);
  return v.Type == kValueAbsent || v.Type == kValueMissing ? __builtin_nan("") : v.Number;
}

// The info of a kind's measure; null outside the kind's measures.
const SpiroMeasureInfo* MeasureInfoOf(std::int32_t kind, std::int32_t index);
std::int32_t MeasureCountOf(std::int32_t kind);

}  // namespace Spirometry
