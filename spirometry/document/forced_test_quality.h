#pragma once
// The quality of a whole forced-expiration test (all its manoeuvres, in the order they were blown): which
// manoeuvres give an acceptable or a usable FEV1 and FVC, whether the two largest values repeat, and the
// grade of FEV1 and of FVC (A to F, with U for usable only), as clinical spirometry grades a session.
//
// Only what the curves show is judged: the back-extrapolated volume, the end of forced expiration, an
// expiration stopped within its first second, and a following inspiration larger than the blow. Cough,
// glottic closure later in the blow, leaks, an obstructed mouthpiece and a faulty zero-flow setting are left
// to the operator.
#include <vector>

#include "spirometry/document/forced_expiration.h"

namespace Spirometry {

// The two largest values repeat within this (adults and children older than six; age is not known here).
inline constexpr double kRepeatabilityLitres = 0.150;

struct ManoeuvreQuality {
  bool endOfExpiration = false;  // plateau, 15 s, or FVC near or above every earlier manoeuvre's FVC
  bool fev1Acceptable = false;
  bool fvcAcceptable = false;
  bool fev1Usable = false;
  bool fvcUsable = false;
};

struct ForcedTestQuality {
  std::vector<ManoeuvreQuality> manoeuvres;  // one per manoeuvre, in order (all false when not measured)
  int acceptableFev1 = 0, acceptableFvc = 0, usableFev1 = 0, usableFvc = 0;
  // The difference between the two largest acceptable values; negative with fewer than two.
  double fev1Spread = -1.0, fvcSpread = -1.0;
  bool repeatable = false;  // both spreads known and within kRepeatabilityLitres
  char fev1Grade = 'F', fvcGrade = 'F';
  // The largest value of an acceptable manoeuvre, or of a usable one when none is acceptable; 0 without.
  double bestFev1 = 0.0, bestFvc = 0.0;
};

ForcedTestQuality AssessForcedTest(const std::vector<ForcedExpirationMeasures>& manoeuvres);

// The measures of every forced expiration of an analysis and the test they make.
struct ForcedTestResults {
  std::vector<int> breaths;                        // the indices of the forced breaths in the analysis, in time order
  std::vector<VolumeTimeCurve> curves;             // one per forced breath; empty when it could not be read
  std::vector<ForcedExpirationMeasures> measures;  // one per forced breath
  ForcedTestQuality quality;
};

// The grade of one measure from its number of acceptable and usable values and the spread of the two
// largest acceptable ones: A three or more within 0.150 L, B two within 0.150 L, C within 0.200 L, D
// within 0.250 L, E further apart or one acceptable, U none acceptable but one usable, F none usable.
char GradeOf(int acceptable, int usable, double spread);

}  // namespace Spirometry
