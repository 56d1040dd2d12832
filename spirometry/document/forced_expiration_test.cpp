#include "spirometry/document/forced_expiration.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Spirometry {
namespace {

// A blow whose every measure has a closed form: a pause at full inspiration, flow rising linearly to its
// peak over `ramp` seconds, then falling exponentially with time constant tau, cut off at `length` seconds.
struct Blow {
  double pause = 0.2, ramp = 0.1, peak = 8.0, tau = 0.5, length = 10.3;

  double RampVolume() const { return 0.5 * peak * ramp; }
  double Expired(double t) const {
    t = std::min(t, length);
    if (t <= pause) return 0.0;
    if (t <= pause + ramp) return 0.5 * peak / ramp * (t - pause) * (t - pause);
    return RampVolume() + peak * tau * (1.0 - std::exp(-(t - pause - ramp) / tau));
  }
  // When the exponential part reaches a volume.
  double TimeOf(double v) const { return pause + ramp - tau * std::log(1.0 - (v - RampVolume()) / (peak * tau)); }
  VolumeTimeCurve Curve(double dt) const {
    VolumeTimeCurve c{{}, dt};
    for (int i = 0; i * dt <= length + 1e-9; ++i) c.expired.push_back(Expired(i * dt));
    return c;
  }
};

TEST(MeasureForcedExpiration, MatchesTheClosedFormOfBlowsOfEveryKind) {
  struct Case {
    const char* name;
    Blow blow;
    double fivcExcess;  // FIVC - FVC
    bool bevWithin, plateau, firstSecond, fivcWithin;
  };
  const Case cases[] = {
      {"brisk start and a plateau", {}, 0.0, true, true, true, true},
      {"slow start", {0.2, 0.5, 8.0, 0.5, 10.7}, 0.0, false, true, true, true},
      {"cut off while still blowing", {0.0, 0.1, 6.0, 1.5, 2.0}, 0.0, true, false, true, true},
      {"stopped within the first second", {0.0, 0.1, 6.0, 0.2, 0.7}, 0.0, true, false, false, true},
      {"larger inspiration afterwards", {}, 0.3, true, true, true, false},
      {"inspiration afterwards within limit", {}, 0.2, true, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Blow& b = c.blow;
    const double dt = 0.001;
    const double fvc = b.Expired(b.length);
    const auto m = MeasureForcedExpiration(b.Curve(dt), fvc + c.fivcExcess);
    ASSERT_TRUE(m.measured);
    // The tangent at peak flow (the end of the ramp) meets zero volume rampVolume / peak before it.
    const double t0 = b.pause + b.ramp - b.RampVolume() / b.peak;
    EXPECT_NEAR(m.pef, b.peak, 0.005 * b.peak);  // central differences across the kink at the peak
    EXPECT_NEAR(m.timeZero, t0, 0.002);
    EXPECT_NEAR(m.pefTime, b.ramp - t0 + b.pause, 0.002);
    EXPECT_NEAR(m.bev, b.Expired(t0), 0.002);
    EXPECT_NEAR(m.bevLimit, std::max(0.05 * fvc, 0.1), 1e-9);
    EXPECT_NEAR(m.fvc, fvc, 1e-9);
    const double end = b.length;
    EXPECT_NEAR(m.fev1, t0 + 1.0 <= end ? b.Expired(t0 + 1.0) : fvc, 0.01);
    EXPECT_NEAR(m.fev6, t0 + 6.0 <= end ? b.Expired(t0 + 6.0) : fvc, 0.01);
    EXPECT_NEAR(m.fev1OverFvc, m.fev1 / fvc * 100.0, 1e-9);
    EXPECT_NEAR(m.fet, end - t0, 0.002);
    EXPECT_NEAR(m.lastSecondChange, fvc - b.Expired(end - 1.0), 0.001);
    if (0.25 * fvc > b.RampVolume()) {
      EXPECT_NEAR(m.fef2575, 0.5 * fvc / (b.TimeOf(0.75 * fvc) - b.TimeOf(0.25 * fvc)), 0.01);
    }
    EXPECT_EQ(m.bevWithinLimit, c.bevWithin);
    EXPECT_EQ(m.plateau, c.plateau);
    EXPECT_EQ(m.firstSecondComplete, c.firstSecond);
    EXPECT_EQ(m.fivcWithinLimit, c.fivcWithin);
    EXPECT_FALSE(m.longExpiration);
  }
}

TEST(MeasureForcedExpiration, FifteenSecondsEndTheExpirationWithoutAPlateau) {
  Blow b;
  b.tau = 20.0;  // still 0.47 L/s at the end
  b.peak = 1.0;  // time zero at 0.25 s
  for (const auto& [length, long15] : {std::pair{15.3, true}, std::pair{15.2, false}}) {
    b.length = length;
    const auto m = MeasureForcedExpiration(b.Curve(0.01));
    EXPECT_FALSE(m.plateau) << length;
    EXPECT_EQ(m.longExpiration, long15) << length;
  }
}

TEST(MeasureForcedExpiration, CurvesWithoutARiseAreNotMeasured) {
  const double nan = std::nan("");
  for (const VolumeTimeCurve& c : {VolumeTimeCurve{{0.0, 0.1}, 0.01}, VolumeTimeCurve{{0.0, 0.0, 0.0, 0.0}, 0.01},
                                   VolumeTimeCurve{{0.0, 0.1, nan, 0.3}, 0.01}, VolumeTimeCurve{{0.0, 0.1, 0.2}, 0.0}})
    EXPECT_FALSE(MeasureForcedExpiration(c).measured);
}

}  // namespace
}  // namespace Spirometry
