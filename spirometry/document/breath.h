#pragma once
// One breath found by the breath analysis. Only the analysis writes it; views and exports read it.
// Flows are in L/s and volumes in L (the analysis reads its channels in those units).
#include <cfloat>
#include <optional>

#include "host/data/data_position.h"

namespace Spirometry {

struct Breath {
  double PeakInspiratoryFlow = 0.0;                  // PIF, positive
  double PeakExpiratoryFlow = 0.0;                   // negative; PEF is its magnitude
  double MaxVolume = -static_cast<double>(FLT_MAX);  // at the start of expiration
  double MinVolume = static_cast<double>(FLT_MAX);   // smallest at or after the maximum
  bool IsForced = false;
  bool IsSingleExpiration = false;  // an expiration without a preceding inspiration
  DataPosition Start;               // zero crossing before inspiration
  DataPosition End;                 // start of the next breath
  DataPosition MaxVolumePosition;   // the start of expiration for Ti, Te and FEV1
  DataPosition MinVolumePosition;
  DataPosition PeakInspiratoryFlowPosition;
  DataPosition PeakExpiratoryFlowPosition;
  DataPosition ExpirationStart;  // inspiration-to-expiration zero crossing of the flow
  // The volume (L) one second after MaxVolumePosition, when the analysis read it as it found the breath
  // (its samples were then at hand); empty when it did not, or when that point was not in the data yet.
  std::optional<double> VolumeOneSecondLater;

  double ExpiredVolume() const { return MaxVolume - MinVolume; }
};

}  // namespace Spirometry
