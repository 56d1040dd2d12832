#pragma once
// Predicted values, limits of normal and z-scores by the LMS method: for a subject and a measure the tables
// give L (skewness), M (the median, which is the predicted value) and S (the coefficient of variation), and
//
//   z = ((X / M)^L - 1) / (L S)     LLN = M (1 - 1.645 L S)^(1/L)     ULN = M (1 + 1.645 L S)^(1/L)
//
// The spline terms are interpolated linearly within the quarter year of age. Ratios are fractions (0.78).
// Where the equations cannot be used (age, height, an incomplete subject, a measure they do not have) the
// result has no value and says why in one line.
#include <optional>
#include <string>

#include "spirometry/reference/reference_tables.h"
#include "spirometry/reference/reference_types.h"

namespace Spirometry {

// The limits of normal are the 5th and 95th percentiles.
inline constexpr double kReferenceLimitZ = 1.645;

// Heights the equations are not stretched to. They were fitted on healthy people of 3 to 95 years, the
// shortest of them 3-year-olds of about 85-90 cm and the tallest adults near 2.1 m; the limits leave room
// for the unusual child or adult, and catch a height given in metres or inches, or a slip of a digit.
inline constexpr double kReferenceMinHeightCm = 80.0;
inline constexpr double kReferenceAdultAgeYears = 18.0;
inline constexpr double kReferenceMinAdultHeightCm = 100.0;
inline constexpr double kReferenceMaxHeightCm = 250.0;

// A value, or none and why. The reason may also be set beside a value when a part of it is missing.
template <class T>
struct ReferenceResult {
  std::optional<T> value;
  std::string reason;
  explicit operator bool() const { return value.has_value(); }
};

struct Lms {
  double l = 0.0, m = 0.0, s = 0.0;
};

struct ReferenceComparison {
  double predicted = 0.0;                               // M
  std::optional<double> lln, uln;                       // none where 1 -/+ 1.645 L S is not positive
  std::optional<double> measured, z, percentPredicted;  // with a positive measured value
};

ReferenceResult<Lms> ComputeLms(const ReferenceTables& tables, ReferenceEquations equations,
                                const ReferenceSubject& subject, ReferenceMeasure measure);

// The predicted value and limits, and with a measured value its z-score and percent of predicted.
ReferenceComparison CompareWithLms(const Lms& lms, std::optional<double> measured);

// ComputeLms then CompareWithLms; the reason says why there is no value, or why a measured value gave no
// z-score.
ReferenceResult<ReferenceComparison> CompareWithReference(const ReferenceTables& tables, ReferenceEquations equations,
                                                          const ReferenceSubject& subject, ReferenceMeasure measure,
                                                          std::optional<double> measured);

}  // namespace Spirometry
