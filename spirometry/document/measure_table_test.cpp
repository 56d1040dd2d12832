#include "spirometry/document/measure_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace Spirometry {
namespace {

template <class Item>
void ExpectWellFormed(std::span<const Measure<Item>> measures) {
  std::set<std::string> keys;
  for (const auto& m : measures) {
    EXPECT_TRUE(keys.insert(m.info.Key).second) << "two measures are called " << m.info.Key;
    EXPECT_TRUE(*m.info.Title && *m.info.Short) << m.info.Key;
    EXPECT_NE(m.info.Outputs, 0u) << m.info.Key << " is shown nowhere";
    if (m.info.Outputs & kShowInTable) {
      EXPECT_NE(m.info.Width, 0) << m.info.Key << " has no column width";
    }
  }
}

TEST(MeasureTable, KeysAreUniqueAndEveryMeasureIsShownSomewhere) {
  ExpectWellFormed(BreathMeasures());
  ExpectWellFormed(ManoeuvreMeasures());
  ExpectWellFormed(TestMeasures());
  ExpectWellFormed(AnalysisMeasures());
  for (std::int32_t kind = 0; kind < kMeasureKindCount; ++kind) {
    EXPECT_GT(MeasureCountOf(kind), 0);
    EXPECT_EQ(MeasureInfoOf(kind, MeasureCountOf(kind)), nullptr);
  }
  EXPECT_EQ(MeasureCountOf(kMeasureKindCount), -1);
}

// A blow whose volume rises as V(t) = F (1 - exp(-t / tau)). Its flow is (F - V) / tau, so the flow when a
// fraction p of F has been expired is F (1 - p) / tau; its steepest slope is at the start, so time zero is
// (almost) 0 and the volume t seconds after it is F (1 - exp(-t / tau)).
TEST(ManoeuvreMeasures, FlowsAndVolumesOfAnExponentialBlow) {
  constexpr double kF = 4.0, kTau = 0.6, kDt = 0.001;
  VolumeTimeCurve curve;
  curve.secsPerSample = kDt;
  for (int i = 0; i <= 8000; ++i) curve.expired.push_back(kF * (1.0 - std::exp(-i * kDt / kTau)));
  const ForcedExpirationMeasures measures = MeasureForcedExpiration(curve);
  const ForcedTestQuality quality = AssessForcedTest({measures});
  const ManoeuvreItem item{0, curve, measures, quality.manoeuvres[0]};
  auto volumeAfter = [](double t) { return kF * (1.0 - std::exp(-t / kTau)); };
  auto flowAtFraction = [](double p) { return kF * (1.0 - p) / kTau; };
  struct Case {
    const char* key;
    double expected;
  };
  const Case cases[] = {
      {"FEV1", volumeAfter(1.0)},      {"FEV6", volumeAfter(6.0)},      {"FEV0.5", volumeAfter(0.5)},
      {"FEV3", volumeAfter(3.0)},      {"FEF25", flowAtFraction(0.25)}, {"FEF50", flowAtFraction(0.50)},
      {"FEF75", flowAtFraction(0.75)},
  };
  for (const auto& c : cases) {
    const Measure<ManoeuvreItem>* m = FindMeasure(ManoeuvreMeasures(), c.key);
    ASSERT_NE(m, nullptr) << c.key;
    const SpiroMeasureValue v = m->value(item);
    EXPECT_EQ(v.Type, kValueNumber) << c.key;
    EXPECT_NEAR(v.Number, c.expected, 2e-3 * c.expected) << c.key;
  }
}

}  // namespace
}  // namespace Spirometry
