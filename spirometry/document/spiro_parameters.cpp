#include "spirometry/document/spiro_parameters.h"

#include <cmath>
#include <limits>

namespace Spirometry {

SpiroBreathParameters DeriveBreathParameters(const Breath& breath, const TimeBetweenFn& timeBetween,
                                             const VolumeAfterFn& volumeAfter) {
  SpiroBreathParameters p{};
  p.Ti = timeBetween(breath.Start, breath.MaxVolumePosition);
  p.Te = timeBetween(breath.MaxVolumePosition, breath.End);
  p.Duration = timeBetween(breath.Start, breath.End);
  p.VolumeVtOrFvc = breath.ExpiredVolume();
  p.Pif = breath.PeakInspiratoryFlow;
  p.Pef = -breath.PeakExpiratoryFlow;
  // The volume read with the breath, or else read now.
  double later = breath.VolumeOneSecondLater.value_or(0.0);
  const bool available = breath.VolumeOneSecondLater.has_value() ||
                         (volumeAfter && volumeAfter(breath.MaxVolumePosition, kFev1Seconds, &later));
  p.Fev1Available = ToBool16(available);
  p.Fev1 = available ? breath.MaxVolume - later : 0.0;
  p.Fev1OverFvc = available && p.VolumeVtOrFvc != 0.0 ? p.Fev1 / p.VolumeVtOrFvc * 100.0 : 0.0;
  return p;
}

SpiroSummary Summarise(const std::vector<std::unique_ptr<Breath>>& breaths, const TimeBetweenFn& timeBetween) {
  SpiroSummary s{};
  // VE and the average VT rest on the non-forced breaths whose volume could be measured.
  double measuredVolume = 0.0, measuredDuration = 0.0;
  std::int32_t measured = 0;
  for (const auto& b : breaths) {
    const double duration = timeBetween(b->Start, b->End);
    s.TotalDuration += duration;
    ++s.BreathCount;
    if (b->IsForced || b->IsSingleExpiration) {
      ++s.ForcedCount;
      continue;
    }
    ++s.NonForcedCount;
    s.NonForcedDuration += duration;
    if (!std::isfinite(b->ExpiredVolume())) continue;
    ++measured;
    measuredVolume += b->ExpiredVolume();
    measuredDuration += duration;
  }
  if (s.NonForcedDuration > 0.0) s.BreathingFrequency = s.NonForcedCount / s.NonForcedDuration;
  if (measured == 0 && s.NonForcedCount > 0) {
    s.MinuteVentilation = s.AverageTidalVolume = std::numeric_limits<double>::quiet_NaN();
    return s;
  }
  if (measuredDuration > 0.0) s.MinuteVentilation = measuredVolume / measuredDuration;
  if (measured > 0) s.AverageTidalVolume = measuredVolume / measured;
  return s;
}

}  // namespace Spirometry
