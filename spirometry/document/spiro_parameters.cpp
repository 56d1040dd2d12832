#include "spirometry/document/spiro_parameters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Spirometry {

namespace {
// Whether the smallest volume after the largest, where the expiration ends, comes sooner than `seconds`
// after the largest. Unknown (false) when the breath has no such landmark in the same block.
bool ExpirationEndsWithin(const Breath& b, double seconds, const TimeBetweenFn& timeBetween) {
  const DataPosition from = b.MaxVolumePosition, to = b.MinVolumePosition;
  if (from.offset == DataPosition::kNotSet || to.offset == DataPosition::kNotSet || from.block != to.block ||
      to.offset < from.offset)
    return false;
  return timeBetween(from, to) < seconds;
}

// A volume expired by some time: from none to all of it. NaN (a gap in the data) stays NaN.
double ExpiredWithin(double expired, double all) {
  if (std::isnan(expired)) return expired;
  return std::max(0.0, std::min(expired, all));
}
}  // namespace

SpiroBreathParameters DeriveBreathParameters(const Breath& breath, const TimeBetweenFn& timeBetween,
                                             const VolumeAfterFn& volumeAfter) {
  SpiroBreathParameters p{};
  p.Ti = timeBetween(breath.Start, breath.MaxVolumePosition);
  p.Te = timeBetween(breath.MaxVolumePosition, breath.End);
  p.Duration = timeBetween(breath.Start, breath.End);
  p.VolumeVtOrFvc = breath.ExpiredVolume();
  p.Pif = breath.PeakInspiratoryFlow;
  p.Pef = -breath.PeakExpiratoryFlow;
  const double fvc = p.VolumeVtOrFvc;
  double later = 0.0;
  bool available = true;
  if (ExpirationEndsWithin(breath, kFev1Seconds, timeBetween)) {
    // All of it was out before the second was up.
    p.Fev1 = fvc;
  } else if (breath.VolumeOneSecondLater.has_value() ||
             (volumeAfter && volumeAfter(breath.MaxVolumePosition, kFev1Seconds, &later))) {
    // The reading lies between the largest and the smallest volume of the expiration; a units conversion
    // may round it a hair beyond either, and a volume expired is never negative nor more than all of it.
    p.Fev1 = ExpiredWithin(breath.MaxVolume - breath.VolumeOneSecondLater.value_or(later), fvc);
  } else {
    available = false;
  }
  p.Fev1Available = ToBool16(available);
  // Nothing expired leaves nothing to divide by; a volume that could not be measured (NaN) stays unknown.
  p.Fev1OverFvc = available && !(fvc <= 0.0) ? p.Fev1 / fvc * 100.0 : 0.0;
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
