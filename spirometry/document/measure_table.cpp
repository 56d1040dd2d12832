#include "spirometry/document/measure_table.h"

#include <array>

namespace Spirometry {

namespace {

// How the terminal table writes a number: significant digits or decimals, in a column of a width.
struct TableForm {
  std::int32_t digits = 6;
  bool fixed = false;
  std::int32_t width = 0;
};
constexpr TableForm Significant(std::int32_t digits, std::int32_t width) { return {digits, false, width}; }
constexpr TableForm Decimals(std::int32_t digits, std::int32_t width) { return {digits, true, width}; }

constexpr std::uint32_t kJson = kShowInJson, kCsv = kShowInCsv, kTable = kShowInTable, kSection = kShowInSection;

constexpr SpiroMeasureInfo Info(const char* key, const char* title, SpiroMeasureUnit unit, std::uint32_t outputs,
                                TableForm form = {}, const char* shortTitle = nullptr) {
  return {key,        title,  shortTitle ? shortTitle : title, unit, form.digits, form.fixed ? kTrue16 : kFalse16,
          form.width, outputs};
}

constexpr SpiroMeasureValue Number(double v) { return {kValueNumber, v}; }
constexpr SpiroMeasureValue Count(std::int64_t v) { return {kValueCount, static_cast<double>(v)}; }
constexpr SpiroMeasureValue YesNo(bool v) { return {kValueYesNo, v ? 1.0 : 0.0}; }
constexpr SpiroMeasureValue Letter(char c) { return {kValueLetter, static_cast<double>(c)}; }
constexpr SpiroMeasureValue Missing() { return {kValueMissing, 0.0}; }
constexpr SpiroMeasureValue Absent() { return {kValueAbsent, 0.0}; }

// ---- Per breath ----

bool ForcedOrSingle(const Breath& b) { return b.IsForced || b.IsSingleExpiration; }

const std::array kBreathMeasures{
    Measure<BreathItem>{Info("Ti", "Ti", kUnitSeconds, kJson | kCsv | kTable, Decimals(3, 8)),
                        [](const BreathItem& i) { return Number(i.parameters.Ti); }},
    Measure<BreathItem>{Info("Te", "Te", kUnitSeconds, kJson | kCsv | kTable, Decimals(3, 8)),
                        [](const BreathItem& i) { return Number(i.parameters.Te); }},
    Measure<BreathItem>{Info("Duration", "Duration", kUnitSeconds, kJson | kCsv | kTable, Decimals(3, 8), "Dur"),
                        [](const BreathItem& i) { return Number(i.parameters.Duration); }},
    // The expired volume is VT for a breath at rest and FVC for a forced or single expiration.
    Measure<BreathItem>{
        Info("VT", "VT", kUnitLitres, kJson),
        [](const BreathItem& i) { return ForcedOrSingle(i.breath) ? Absent() : Number(i.parameters.VolumeVtOrFvc); }},
    Measure<BreathItem>{
        Info("FVC", "FVC", kUnitLitres, kJson | kCsv),
        [](const BreathItem& i) { return ForcedOrSingle(i.breath) ? Number(i.parameters.VolumeVtOrFvc) : Absent(); }},
    Measure<BreathItem>{Info("VT/FVC", "VT/FVC", kUnitLitres, kTable, Significant(4, 11)),
                        [](const BreathItem& i) { return Number(i.parameters.VolumeVtOrFvc); }},
    Measure<BreathItem>{Info("PIF", "PIF", kUnitLitresPerSecond, kJson | kCsv | kTable, Significant(4, 11)),
                        [](const BreathItem& i) { return Number(i.parameters.Pif); }},
    Measure<BreathItem>{Info("PEF", "PEF", kUnitLitresPerSecond, kJson | kCsv | kTable, Significant(4, 11)),
                        [](const BreathItem& i) { return Number(i.parameters.Pef); }},
    Measure<BreathItem>{Info("FEV1", "FEV1", kUnitLitres, kJson | kCsv | kTable, Significant(4, 10)),
                        [](const BreathItem& i) {
                          return i.parameters.Fev1Available != kFalse16 ? Number(i.parameters.Fev1) : Missing();
                        }},
    Measure<BreathItem>{Info("FEV1/FVC", "FEV1/FVC", kUnitPercent, kJson | kCsv | kTable, Significant(3, 9)),
                        [](const BreathItem& i) {
                          return i.parameters.Fev1Available != kFalse16 ? Number(i.parameters.Fev1OverFvc) : Missing();
                        }},
};

// ---- Per forced manoeuvre ----

using M = ManoeuvreItem;
const std::array kManoeuvreMeasures{
    Measure<M>{Info("Breath", "Breath", kUnitNone, kCsv | kTable, Significant(6, -7)),
               [](const M& i) { return Count(std::int64_t{i.breathIndex} + 1); }},
    Measure<M>{Info("Measured", "Measured", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.measures.measured); }},
    Measure<M>{Info("TimeZero", "Time zero", kUnitSeconds, kJson | kCsv | kTable | kSection, Decimals(3, 7), "t0"),
               [](const M& i) { return Number(i.measures.timeZero); }},
    Measure<M>{Info("BEV", "BEV", kUnitLitres, kJson | kCsv | kTable | kSection, Significant(4, 10)),
               [](const M& i) { return Number(i.measures.bev); }},
    Measure<M>{Info("BEVLimit", "BEV limit", kUnitLitres, kJson | kCsv),
               [](const M& i) { return Number(i.measures.bevLimit); }},
    Measure<M>{Info("PEF", "PEF", kUnitLitresPerSecond, kJson | kCsv | kSection),
               [](const M& i) { return Number(i.measures.pef); }},
    Measure<M>{Info("PEFTime", "PEF time", kUnitSeconds, kJson | kCsv),
               [](const M& i) { return Number(i.measures.pefTime); }},
    Measure<M>{Info("FEV1", "FEV1", kUnitLitres, kJson | kCsv | kTable | kSection, Significant(4, 10)),
               [](const M& i) { return Number(i.measures.fev1); }},
    Measure<M>{Info("FEV6", "FEV6", kUnitLitres, kJson | kCsv | kTable | kSection, Significant(4, 10)),
               [](const M& i) { return Number(i.measures.fev6); }},
    Measure<M>{Info("FVC", "FVC", kUnitLitres, kJson | kCsv | kTable | kSection, Significant(4, 10)),
               [](const M& i) { return Number(i.measures.fvc); }},
    Measure<M>{Info("FEV1/FVC", "FEV1/FVC", kUnitPercent, kJson | kCsv | kSection),
               [](const M& i) { return Number(i.measures.fev1OverFvc); }},
    Measure<M>{Info("FEF25-75", "FEF25-75", kUnitLitresPerSecond, kJson | kCsv | kTable | kSection, Significant(4, 12)),
               [](const M& i) { return Number(i.measures.fef2575); }},
    Measure<M>{Info("FET", "FET", kUnitSeconds, kJson | kCsv | kTable | kSection, Decimals(2, 7)),
               [](const M& i) { return Number(i.measures.fet); }},
    Measure<M>{Info("LastSecondChange", "Last second", kUnitLitres, kJson | kCsv),
               [](const M& i) { return Number(i.measures.lastSecondChange); }},
    Measure<M>{Info("FIVC", "FIVC", kUnitLitres, kJson | kCsv | kSection),
               [](const M& i) { return Number(i.measures.fivc); }},
    Measure<M>{Info("BEVWithinLimit", "BEV within limit", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.measures.bevWithinLimit); }},
    Measure<M>{Info("Plateau", "Plateau", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.measures.plateau); }},
    Measure<M>{Info("FET15s", "FET 15 s", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.measures.longExpiration); }},
    Measure<M>{Info("EndOfExpiration", "End of expiration", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.quality.endOfExpiration); }},
    Measure<M>{Info("FirstSecondComplete", "First second complete", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.measures.firstSecondComplete); }},
    Measure<M>{Info("FIVCWithinLimit", "FIVC within limit", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.measures.fivcWithinLimit); }},
    Measure<M>{Info("FEV1Acceptable", "FEV1 acceptable", kUnitNone, kJson | kCsv | kSection),
               [](const M& i) { return YesNo(i.quality.fev1Acceptable); }},
    Measure<M>{Info("FVCAcceptable", "FVC acceptable", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.quality.fvcAcceptable); }},
    Measure<M>{Info("FEV1Usable", "FEV1 usable", kUnitNone, kJson | kCsv | kSection),
               [](const M& i) { return YesNo(i.quality.fev1Usable); }},
    Measure<M>{Info("FVCUsable", "FVC usable", kUnitNone, kJson | kCsv),
               [](const M& i) { return YesNo(i.quality.fvcUsable); }},
    Measure<M>{Info("FEV0.5", "FEV0.5", kUnitLitres, kJson | kCsv | kSection),
               [](const M& i) { return Number(ExpiredAfterTimeZero(i.curve, i.measures, 0.5)); }},
    Measure<M>{Info("FEV3", "FEV3", kUnitLitres, kJson | kCsv | kSection),
               [](const M& i) { return Number(ExpiredAfterTimeZero(i.curve, i.measures, 3.0)); }},
    Measure<M>{Info("FEF25", "FEF25", kUnitLitresPerSecond, kJson | kCsv | kSection),
               [](const M& i) { return Number(FlowAt(i.curve, TimeToReach(i.curve, 0.25 * i.measures.fvc))); }},
    Measure<M>{Info("FEF50", "FEF50", kUnitLitresPerSecond, kJson | kCsv | kSection),
               [](const M& i) { return Number(FlowAt(i.curve, TimeToReach(i.curve, 0.50 * i.measures.fvc))); }},
    Measure<M>{Info("FEF75", "FEF75", kUnitLitresPerSecond, kJson | kCsv | kSection),
               [](const M& i) { return Number(FlowAt(i.curve, TimeToReach(i.curve, 0.75 * i.measures.fvc))); }},
};

// ---- The test ----

// A spread needs two acceptable values; it is negative with fewer.
SpiroMeasureValue Spread(double litres) { return litres < 0.0 ? Missing() : Number(litres); }

const std::array kTestMeasures{
    Measure<TestItem>{Info("Manoeuvres", "Manoeuvres", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Count(i.manoeuvres); }},
    Measure<TestItem>{Info("AcceptableFEV1", "Acceptable FEV1", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Count(i.quality.acceptableFev1); }},
    Measure<TestItem>{Info("AcceptableFVC", "Acceptable FVC", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Count(i.quality.acceptableFvc); }},
    Measure<TestItem>{Info("UsableFEV1", "Usable FEV1", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Count(i.quality.usableFev1); }},
    Measure<TestItem>{Info("UsableFVC", "Usable FVC", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Count(i.quality.usableFvc); }},
    Measure<TestItem>{Info("FEV1Spread", "FEV1 spread", kUnitLitres, kJson | kCsv),
                      [](const TestItem& i) { return Spread(i.quality.fev1Spread); }},
    Measure<TestItem>{Info("FVCSpread", "FVC spread", kUnitLitres, kJson | kCsv),
                      [](const TestItem& i) { return Spread(i.quality.fvcSpread); }},
    Measure<TestItem>{Info("Repeatable", "Repeatable", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return YesNo(i.quality.repeatable); }},
    Measure<TestItem>{Info("FEV1Grade", "FEV1 grade", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Letter(i.quality.fev1Grade); }},
    Measure<TestItem>{Info("FVCGrade", "FVC grade", kUnitNone, kJson | kCsv),
                      [](const TestItem& i) { return Letter(i.quality.fvcGrade); }},
    Measure<TestItem>{Info("BestFEV1", "Best FEV1", kUnitLitres, kJson | kCsv),
                      [](const TestItem& i) { return Number(i.quality.bestFev1); }},
    Measure<TestItem>{Info("BestFVC", "Best FVC", kUnitLitres, kJson | kCsv),
                      [](const TestItem& i) { return Number(i.quality.bestFvc); }},
};

// ---- Over the analysis ----

const std::array kAnalysisMeasures{
    Measure<AnalysisItem>{Info("Breaths", "Breaths", kUnitNone, kJson | kCsv),
                          [](const AnalysisItem& i) { return Count(i.summary.BreathCount); }},
    Measure<AnalysisItem>{Info("NonForcedBreaths", "Non-forced breaths", kUnitNone, kJson | kCsv),
                          [](const AnalysisItem& i) { return Count(i.summary.NonForcedCount); }},
    Measure<AnalysisItem>{Info("ForcedBreaths", "Forced breaths", kUnitNone, kJson | kCsv),
                          [](const AnalysisItem& i) { return Count(i.summary.ForcedCount); }},
    Measure<AnalysisItem>{Info("TotalDuration", "Total duration", kUnitSeconds, kJson | kCsv),
                          [](const AnalysisItem& i) { return Number(i.summary.TotalDuration); }},
    Measure<AnalysisItem>{Info("NonForcedDuration", "Non-forced duration", kUnitSeconds, kJson | kCsv),
                          [](const AnalysisItem& i) { return Number(i.summary.NonForcedDuration); }},
    Measure<AnalysisItem>{Info("VE", "VE", kUnitLitresPerSecond, kJson | kCsv),
                          [](const AnalysisItem& i) { return Number(i.summary.MinuteVentilation); }},
    Measure<AnalysisItem>{Info("AverageVT", "Average VT", kUnitLitres, kJson | kCsv),
                          [](const AnalysisItem& i) { return Number(i.summary.AverageTidalVolume); }},
    Measure<AnalysisItem>{Info("f", "f", kUnitHertz, kJson | kCsv),
                          [](const AnalysisItem& i) { return Number(i.summary.BreathingFrequency); }},
};

template <class Item, std::size_t N>
std::span<const Measure<Item>> Span(const std::array<Measure<Item>, N>& rows) {
  return {rows.data(), rows.size()};
}

}  // namespace

std::span<const Measure<BreathItem>> BreathMeasures() { return Span(kBreathMeasures); }
std::span<const Measure<ManoeuvreItem>> ManoeuvreMeasures() { return Span(kManoeuvreMeasures); }
std::span<const Measure<TestItem>> TestMeasures() { return Span(kTestMeasures); }
std::span<const Measure<AnalysisItem>> AnalysisMeasures() { return Span(kAnalysisMeasures); }

std::int32_t MeasureCountOf(std::int32_t kind) {
  switch (kind) {
    case kMeasureOfBreath:
      return static_cast<std::int32_t>(kBreathMeasures.size());
    case kMeasureOfManoeuvre:
      return static_cast<std::int32_t>(kManoeuvreMeasures.size());
    case kMeasureOfTest:
      return static_cast<std::int32_t>(kTestMeasures.size());
    case kMeasureOfAnalysis:
      return static_cast<std::int32_t>(kAnalysisMeasures.size());
    default:
      return -1;
  }
}

const SpiroMeasureInfo* MeasureInfoOf(std::int32_t kind, std::int32_t index) {
  if (index < 0 || index >= MeasureCountOf(kind)) return nullptr;
  const auto i = static_cast<std::size_t>(index);
  switch (kind) {
    case kMeasureOfBreath:
      return &kBreathMeasures[i].info;
    case kMeasureOfManoeuvre:
      return &kManoeuvreMeasures[i].info;
    case kMeasureOfTest:
      return &kTestMeasures[i].info;
    default:
      return &kAnalysisMeasures[i].info;
  }
}

}  // namespace Spirometry
