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

// FEV1 is the volume expired in the first second of the expiration: never negative, never more than the
// FVC, all of the FVC when the expiration (its smallest volume) ended sooner, and unknown only when the
// second runs past the data and the expiration is not known to have ended. A forced breath at 1 kHz whose
// volume falls from 3 L at tick 1000 to 1 L: FVC 2 L.
TEST(DeriveBreathParameters, Fev1IsWhatWasExpiredWithinTheFirstSecond) {
  constexpr double kUnavailable = -99.0;
  const double nan = std::nan("");
  struct Case {
    const char* name;
    std::int32_t minAt;  // DataPosition::kNotSet: no smallest volume known
    double later;        // the volume one second after the largest, or kUnavailable
    bool available;
    double fev1, ratio;
  };
  const Case cases[] = {
      {"the second ends within the expiration", 3000, 1.6, true, 1.4, 70.0},
      {"the expiration ends on the second", 2000, 1.0, true, 2.0, 100.0},
      {"the next inspiration has begun by the second", 1600, 3.4, true, 2.0, 100.0},
      {"the volume is reset after an expiration that ended sooner", 1600, -0.5, true, 2.0, 100.0},
      {"the data ends before the second, the expiration sooner", 1600, kUnavailable, true, 2.0, 100.0},
      {"a reading above the start of expiration", 3000, 3.0004, true, 0.0, 0.0},
      {"a reading below the end of expiration", 3000, 0.9996, true, 2.0, 100.0},
      {"a reading above the start, where the expiration ends unknown", DataPosition::kNotSet, 3.5, true, 0.0, 0.0},
      {"the data ends before the second, where the expiration ends unknown", DataPosition::kNotSet, kUnavailable, false,
       0.0, 0.0},
      {"the data ends before the second, within the expiration", 3000, kUnavailable, false, 0.0, 0.0},
  };
  // As the host's times: 0 for a position that is not set.
  const TimeBetweenFn times = [](DataPosition from, DataPosition to) {
    return from.offset == DataPosition::kNotSet || to.offset == DataPosition::kNotSet ? 0.0 : Millis(from, to);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto b = MakeBreath(0, 1000, 4000, 3.0, true);
    b->MinVolume = 1.0;
    if (c.minAt != DataPosition::kNotSet) b->MinVolumePosition = {c.minAt, 0};
    const VolumeAfterFn after = [&](DataPosition at, double seconds, double* v) {
      EXPECT_EQ(at, b->MaxVolumePosition);
      EXPECT_EQ(seconds, 1.0);
      *v = c.later;
      return c.later != kUnavailable;
    };
    const auto p = DeriveBreathParameters(*b, times, after);
    EXPECT_EQ(p.Fev1Available, c.available ? kTrue16 : kFalse16);
    EXPECT_NEAR(p.Fev1, c.fev1, 1e-12);
    EXPECT_NEAR(p.Fev1OverFvc, c.ratio, 1e-9);
    // The same when the analysis read the volume as it found the breath.
    if (c.later != kUnavailable) b->VolumeOneSecondLater = c.later;
    const auto q = DeriveBreathParameters(*b, times, VolumeAfterFn());
    EXPECT_EQ(q.Fev1Available, p.Fev1Available);
    EXPECT_EQ(q.Fev1, p.Fev1);
  }

  // A gap in the data at the second, or at the largest volume, leaves FEV1 and the ratio unknown, not 0.
  for (const double largest : {3.0, nan}) {
    auto gap = MakeBreath(0, 1000, 4000, largest, true);
    gap->MinVolume = 1.0;
    gap->MinVolumePosition = {3000, 0};
    gap->VolumeOneSecondLater = std::isnan(largest) ? 2.0 : nan;
    const auto g = DeriveBreathParameters(*gap, Millis, VolumeAfterFn());
    EXPECT_TRUE(std::isnan(g.Fev1)) << largest;
    EXPECT_TRUE(std::isnan(g.Fev1OverFvc)) << largest;
  }
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
