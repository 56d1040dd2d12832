#pragma once
// The spirometry parameters derived from the breaths of an analysis (Ti, Te, VT or FVC, PIF, PEF, FEV1,
// FEV1/FVC, and the sums VE, average VT and f). Times and the volume one second into an expiration come
// from the caller, so that each output can take them from its own source.
#include <functional>
#include <memory>
#include <vector>

#include "spirometry/document/breath.h"
#include "spirometry/document/ispiro_results.h"

namespace Spirometry {

// Seconds from one position to another.
using TimeBetweenFn = std::function<double(DataPosition from, DataPosition to)>;
// The volume (L) a number of seconds after a position; false when that point is not in the data.
using VolumeAfterFn = std::function<bool(DataPosition position, double seconds, double* volume)>;

// Seconds after the start of expiration at which FEV1 is read.
inline constexpr double kFev1Seconds = 1.0;

SpiroBreathParameters DeriveBreathParameters(const Breath& breath, const TimeBetweenFn& timeBetween,
                                             const VolumeAfterFn& volumeAfter);

SpiroSummary Summarise(const std::vector<std::unique_ptr<Breath>>& breaths, const TimeBetweenFn& timeBetween);

}  // namespace Spirometry
