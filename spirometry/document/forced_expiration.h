#pragma once
// The measures of one forced expiration taken from its volume-time curve as clinical spirometry defines
// them: time zero found by back-extrapolation, the back-extrapolated volume and its limit, FEV1 and FEV6
// counted from time zero, FEF25-75, the time to peak flow, the forced expiratory time and the signs that the
// expiration had ended. Plain functions over a curve, so that each measure can be checked on a curve with a
// known answer.
#include <cstddef>
#include <limits>
#include <vector>

namespace Spirometry {

// The back-extrapolated volume may be at most this fraction of FVC or this volume, whichever is greater.
inline constexpr double kBevLimitFraction = 0.05, kBevLimitLitres = 0.100;
// End of forced expiration: less than this volume change over the last second, or an expiration this long.
inline constexpr double kPlateauLitres = 0.025, kPlateauSeconds = 1.0, kLongExpirationSeconds = 15.0;
// A following maximal inspiration (FIVC) may exceed FVC by at most this fraction or volume, whichever is
// greater: more shows that the inspiration before the blow was not maximal.
inline constexpr double kFivcExcessFraction = 0.05, kFivcExcessLitres = 0.100;

// The curve: the volume expired since the maximal inspiration, in litres, one value per sample from the
// start of expiration (the largest volume of the breath) to its end (the smallest), at a fixed interval.
struct VolumeTimeCurve {
  std::vector<double> expired;  // L; expired[0] is 0
  double secsPerSample = 0.0;
};

struct ForcedExpirationMeasures {
  bool measured = false;          // false when the curve has no rise to measure (fewer than 3 samples, no flow, NaN)
  double timeZero = 0.0;          // s from the start of expiration: the hesitation time
  double bev = 0.0;               // L expired before time zero
  double bevLimit = 0.0;          // L
  double pef = 0.0;               // L/s, the steepest slope of the curve (central differences)
  double pefTime = 0.0;           // s from time zero to peak flow
  double fvc = 0.0;               // L, the largest expired volume
  double fev1 = 0.0;              // L, one second after time zero (FVC when the expiration ended sooner)
  double fev6 = 0.0;              // L, six seconds after time zero (FVC when the expiration ended sooner)
  double fev1OverFvc = 0.0;       // %
  double fef2575 = 0.0;           // L/s, mean flow between 25 % and 75 % of FVC expired
  double fet = 0.0;               // s from time zero to the end of expiration (the largest expired volume)
  double lastSecondChange = 0.0;  // L expired over the last second of the expiration
  bool plateau = false;           // lastSecondChange below kPlateauLitres
  bool longExpiration = false;    // fet of kLongExpirationSeconds or more
  bool bevWithinLimit = false;
  bool firstSecondComplete = false;                        // the expiration lasted at least one second after time zero
  double fivc = std::numeric_limits<double>::quiet_NaN();  // L inspired after the expiration; NaN: unknown
  bool fivcWithinLimit = true;                             // true too when FIVC is unknown or not above FVC
};

// Measures one forced expiration. fivc is the volume inspired after it (NaN when nothing followed).
ForcedExpirationMeasures MeasureForcedExpiration(const VolumeTimeCurve& curve,
                                                 double fivc = std::numeric_limits<double>::quiet_NaN());

// The expired volume at a time (s from the start of the curve), linear between samples; the last value
// beyond the end, 0 before the start.
double ExpiredAt(const VolumeTimeCurve& curve, double seconds);

// The first time (s from the start of the curve) at which it reaches a volume, linear between samples; the
// end of the curve when it never does.
double TimeToReach(const VolumeTimeCurve& curve, double volume);

// The flow (L/s) at a time: the slope of the curve by central differences at the nearest sample, as peak
// flow is found. 0 on a curve of fewer than three samples.
double FlowAt(const VolumeTimeCurve& curve, double seconds);

// The volume expired a time after time zero (FEVt), or the FVC when the expiration ended sooner.
double ExpiredAfterTimeZero(const VolumeTimeCurve& curve, const ForcedExpirationMeasures& m, double seconds);

}  // namespace Spirometry
