#pragma once
// The volume integrator: flow in litres per second (or mL/s, µL/s) becomes volume in the same litre prefix,
// with the optional correction of expired volume beyond the dead space by the volume ratio and the optional
// reset to zero at the end of each expiration. Positive flow is inspiration.
#include <cmath>
#include <cstdint>
#include <string>

#include "host/calc/missing_sample_count.h"

namespace Spirometry {

class SpVolPolicy {
 public:
  // The integrator state, as recorded at checkpoints.
  struct State {
    double volume = 0.0;             // V
    double expired = 0.0;            // E: litres expired since the dead space was last refilled
    double previousIncrement = 0.0;  // d of the previous sample
    double peak = 0.0;               // P: highest volume since the last reset
    // Without the correction E stays at rest, and without the reset d and P do: nothing reads them then.
  };

  // Reads the volume parameter text (current or older form). A text with a field that does not read
  // whole is refused (false) and changes nothing; a text that ends early keeps the values it lacks.
  bool Parse(const std::wstring& text);
  // The interval becomes the multiplier, unless the source is in units that are not flow (NaN then, so
  // that every output sample is NaN); texts of the older form are taken as flow whatever their units.
  // The volume keeps the litre prefix of the flow, and so does the dead space it is compared with.
  void OnSources(double secsPerTick, const std::wstring& sourceUnits);

  void ResetState() { mState = State{}; }
  const State& GetState() const { return mState; }
  void SetState(const State& state) { mState = state; }

  // Source samples in, volume samples out, in place.
  void Integrate(float* samples, std::int32_t count) {
    // The switches are fixed for the whole call: each combination gets a loop without their tests, and so
    // does a piece without missing samples (most pieces).
    if (kymora::CountNotFinite(samples, count) == 0)
      WithSwitches<false>(samples, count);
    else
      WithSwitches<true>(samples, count);
  }

  bool VolumeCorrection() const { return mVolumeCorrection; }
  bool Reset() const { return mReset; }
  double DeadSpace() const { return mDeadSpace; }
  double VolumeRatio() const { return mVolumeRatio; }
  bool Legacy() const { return mLegacy; }

 private:
  bool ParseInto(const std::wstring& text);

  template <bool kMayMiss>
  void WithSwitches(float* samples, std::int32_t count) {
    if (mReset)
      mVolumeCorrection ? IntegrateWith<true, true, kMayMiss>(samples, count)
                        : IntegrateWith<true, false, kMayMiss>(samples, count);
    else
      mVolumeCorrection ? IntegrateWith<false, true, kMayMiss>(samples, count)
                        : IntegrateWith<false, false, kMayMiss>(samples, count);
  }

  template <bool kReset, bool kCorrection, bool kMayMiss>
  void IntegrateWith(float* samples, std::int32_t count) {
    State s = mState;
    const double multiplier = mMultiplier;
    const double deadSpace = mDeadSpace / 1000.0 * mLitreFactor;
    const double ratio = mVolumeRatio;
    // Units that are not flow make every sample NaN, missing ones included.
    const bool flow = !std::isnan(multiplier);
    for (std::int32_t i = 0; i < count; ++i) {
      // A missing (or infinite) flow sample adds nothing: the volume holds across the gap and goes on
      // after it, instead of every later sample of the record becoming NaN.
      if (kMayMiss && flow && !std::isfinite(samples[i])) {
        samples[i] = static_cast<float>(s.volume);
        continue;
      }
      const double d = static_cast<double>(samples[i]) * multiplier;
      // An expiration has just ended and the volume fell by more than 10 % from its peak.
      if (kReset && d >= 0.0 && s.previousIncrement < 0.0 && 0.9 * s.peak > s.volume) {
        s.volume = 0.0;
        s.peak = 0.0;
      }
      double increment = d;
      // The expired volume and the peak serve only the correction and the reset: a loop without them
      // keeps only the running sum as a chain from sample to sample.
      if constexpr (kCorrection) {
        s.expired -= d;
        if (s.expired < 0.0) s.expired = 0.0;
        if (d < 0.0 && s.expired > deadSpace) {
          s.expired = deadSpace;
          increment = d / ratio;
        }
      }
      if constexpr (kReset) s.previousIncrement = d;
      s.volume += increment;
      samples[i] = static_cast<float>(s.volume);
      if constexpr (kReset)
        if (s.volume > s.peak) s.peak = s.volume;
    }
    mState = s;
  }

  bool mVolumeCorrection = false;
  bool mReset = false;
  double mDeadSpace = 0.0;  // mL
  double mVolumeRatio = 1.0;
  bool mLegacy = false;
  double mMultiplier = 0.0;   // seconds per sample, or NaN
  double mLitreFactor = 1.0;  // volume units per litre: 1000 for a flow in mL/s
  State mState;
};

}  // namespace Spirometry
