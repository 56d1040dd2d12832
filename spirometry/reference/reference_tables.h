#pragma once
// The tables of the reference equations, read from the CSV files shipped in share/kymora/reference/. Both
// equation sets are held in one form, so that one computation serves both:
//
//   M = exp(mIntercept + mLnHeight ln(H cm) + mLnAge ln(A) + mGroup[E] + Mspline(A))
//   S = exp(sIntercept + sLnAge ln(A) + sGroup[E] + Sspline(A))
//   L = lIntercept + lLnAge ln(A) + Lspline(A)
//
// with the spline values tabulated per quarter year of age (GLI Global 2022 has no ethnic terms and no L
// spline; they are zero). A damaged file is refused with a one-line message naming the file, the line and
// the fault; the loader returns new tables, so whatever the caller held before stays as it was.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/com/expected.h"
#include "spirometry/reference/reference_types.h"

namespace Spirometry {

// The equations' age range in years (GLI-2012's FEF25-75 and FEF75 tables stop earlier, at 90).
inline constexpr double kReferenceMinAgeYears = 3.0;
inline constexpr double kReferenceMaxAgeYears = 95.0;

inline constexpr std::string_view kGli2012CoefficientsFile = "gli_2012_coefficients.csv";
inline constexpr std::string_view kGli2012SplinesFile = "gli_2012_splines.csv";
inline constexpr std::string_view kGliGlobal2022CoefficientsFile = "gli_global_2022_coefficients.csv";
inline constexpr std::string_view kGliGlobal2022SplinesFile = "gli_global_2022_splines.csv";

// The spline values at one quarter-year agebound.
struct SplineKnot {
  double l = 0.0, m = 0.0, s = 0.0;
};

// One sex and measure of one equation set.
struct LmsCurve {
  double mIntercept = 0.0, mLnHeight = 0.0, mLnAge = 0.0;
  double sIntercept = 0.0, sLnAge = 0.0;
  double lIntercept = 0.0, lLnAge = 0.0;
  std::array<double, 5> mGroup{}, sGroup{};  // indexed by EthnicGroup - 1; zero for group 1
  double firstAge = 0.0;                     // the agebound of knots[0]
  std::vector<SplineKnot> knots;             // one per quarter year from firstAge, never empty
  double LastAge() const { return firstAge + 0.25 * static_cast<double>(knots.size() - 1); }
};

class EquationSet {
 public:
  // Null when the tables have no rows for that sex and measure.
  const LmsCurve* Find(Sex sex, ReferenceMeasure measure) const;
  LmsCurve* Find(Sex sex, ReferenceMeasure measure);
  void Set(Sex sex, ReferenceMeasure measure, LmsCurve curve);

 private:
  static std::size_t Slot(Sex sex, ReferenceMeasure measure);
  std::array<std::optional<LmsCurve>, 2 * kReferenceMeasureCount> mCurves;
};

struct ReferenceTables {
  EquationSet gliGlobal2022;
  EquationSet gli2012;
  const EquationSet& Of(ReferenceEquations equations) const;
};

// Reads one equation set from the texts of its coefficient and spline files; the names head the messages.
// Checks the header, every field, that each sex and measure has one row of coefficients and spline rows
// that start at 3 years and go up by a quarter year without a gap, and that coefficients and splines name
// the same sexes and measures.
Expected<EquationSet> ParseEquationSet(ReferenceEquations equations, std::string_view coefficientsText,
                                       std::string_view coefficientsName, std::string_view splinesText,
                                       std::string_view splinesName);

// The program needs FEV1, FVC and FEV1/FVC for both sexes over the whole age range: a file cut short is
// refused here rather than giving "outside the range" for the ages it lost.
Status CheckEquationSetComplete(const EquationSet& set, std::string_view splinesName);

// Reads the four files from a folder (the shipped one, or the source's data folder in tests).
Expected<ReferenceTables> LoadReferenceTables(const std::filesystem::path& folder);

}  // namespace Spirometry
