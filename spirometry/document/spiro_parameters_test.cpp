#include "spirometry/document/spiro_parameters.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Spirometry {
namespace {

// Ticks of a millisecond: the time between two positions of one block.
double Millis(DataPosition from, DataPosition to) { return (to.offset - from.offset) / 1000.0; }

std::unique_ptr<Breath> MakeBreath(std::int32_t start, std::int32_t maxAt, std::int32_t end, double volume, bool forced,
                                   bool single = false) {
  auto b = std::make_unique<Breath>();
  b->Start = {start, 0};
  b->MaxVolumePosition = {maxAt, 0};
  b->End = {end, 0};
  b->MaxVolume = volume;
  b->MinVolume = 0.0;
  b->IsForced = forced;
  b->IsSingleExpiration = single;
  return b;
}

TEST(DeriveBreathParameters, TimesVolumesFlowsAndFev1) {
  auto b = MakeBreath(1000, 2500, 5000, 3.0, true);
  b->PeakInspiratoryFlow = 2.5;
  b->PeakExpiratoryFlow = -4.0;
  DataPosition askedAt;
  const auto p = DeriveBreathParameters(*b, Millis, [&](DataPosition at, double seconds, double* v) {
    askedAt = at;
    *v = seconds == 1.0 ? 0.6 : -1.0;
    return true;
  });
  EXPECT_EQ(askedAt, b->MaxVolumePosition);
  EXPECT_DOUBLE_EQ(p.Ti, 1.5);
  EXPECT_DOUBLE_EQ(p.Te, 2.5);
  EXPECT_DOUBLE_EQ(p.Duration, 4.0);
  EXPECT_EQ(p.VolumeVtOrFvc, 3.0);
  EXPECT_EQ(p.Pif, 2.5);
  EXPECT_EQ(p.Pef, 4.0);
  EXPECT_EQ(p.Fev1Available, kTrue16);
  EXPECT_DOUBLE_EQ(p.Fev1, 2.4);
  EXPECT_DOUBLE_EQ(p.Fev1OverFvc, 80.0);

  // No expired volume: FEV1/FVC has nothing to divide by and is 0, not a number that is none.
  auto flat = MakeBreath(0, 10, 20, 0.0, true);
  const auto q = DeriveBreathParameters(*flat, Millis, [](DataPosition, double, double* v) {
    *v = 0.0;
    return true;
  });
  EXPECT_EQ(q.Fev1OverFvc, 0.0);
}

TEST(Summarise, NonForcedBreathsAloneGiveVentilationTidalVolumeAndFrequency) {
  struct Case {
    const char* name;
    std::vector<std::unique_ptr<Breath>> breaths;
    double total, ve, vt, f;
    std::int32_t nonForced, forced;
  };
  auto list = [](auto... b) {
    std::vector<std::unique_ptr<Breath>> v;
    (v.push_back(std::move(b)), ...);
    return v;
  };
  Case cases[] = {
      {"two tidal breaths and a forced one",
       list(MakeBreath(0, 2000, 4000, 0.5, false), MakeBreath(4000, 7000, 10000, 0.7, false),
            MakeBreath(10000, 12000, 15000, 3.0, true)),
       15.0, 1.2 / 10.0, 0.6, 2.0 / 10.0, 2, 1},
      {"forced and single expirations only: nothing to divide by",
       list(MakeBreath(0, 2000, 4000, 3.0, true), MakeBreath(4000, 4000, 6000, 2.0, false, true)), 6.0, 0.0, 0.0, 0.0,
       0, 2},
      {"tidal breaths without duration", list(MakeBreath(5, 5, 5, 0.5, false), MakeBreath(5, 5, 5, 0.7, false)), 0.0,
       0.0, 0.6, 0.0, 2, 0},
      {"no breaths", list(), 0.0, 0.0, 0.0, 0.0, 0, 0},
      {"a tidal breath without a volume counts in f only",
       list(MakeBreath(0, 2000, 4000, 0.5, false), MakeBreath(4000, 7000, 10000, std::nan(""), false),
            MakeBreath(10000, 12000, 16000, HUGE_VAL, false), MakeBreath(16000, 18000, 21000, 3.0, true)),
       21.0, 0.5 / 4.0, 0.5, 3.0 / 16.0, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const SpiroSummary s = Summarise(c.breaths, Millis);
    EXPECT_DOUBLE_EQ(s.TotalDuration, c.total);
    EXPECT_DOUBLE_EQ(s.MinuteVentilation, c.ve);
    EXPECT_DOUBLE_EQ(s.AverageTidalVolume, c.vt);
    EXPECT_DOUBLE_EQ(s.BreathingFrequency, c.f);
    EXPECT_EQ(s.NonForcedCount, c.nonForced);
    EXPECT_EQ(s.ForcedCount, c.forced);
    EXPECT_EQ(s.BreathCount, c.nonForced + c.forced);
  }
}

}  // namespace
}  // namespace Spirometry
