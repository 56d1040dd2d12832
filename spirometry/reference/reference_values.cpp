#include "spirometry/reference/reference_values.h"

#include <cmath>
#include <sstream>
#include <vector>

namespace Spirometry {
namespace {

// Below this |L| the power forms lose their digits; their limits as L goes to 0 are used instead.
constexpr double kZeroL = 1e-12;

std::string Number(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string NoValues() { return "No reference values: "; }

std::string NoValueFor(ReferenceMeasure measure) {
  return "No " + std::string(MeasureName(measure)) + " reference value: ";
}

// "age", "age and height", "age, height and sex".
std::string JoinedList(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i)
    out += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  return out;
}

bool Known(const std::optional<double>& value) { return value && std::isfinite(*value); }

// What keeps the subject from the equations, or nothing.
std::string SubjectFault(ReferenceEquations equations, const ReferenceSubject& subject) {
  std::vector<std::string> missing;
  if (!Known(subject.ageYears)) missing.emplace_back("age");
  if (!Known(subject.heightCm)) missing.emplace_back("height");
  if (!subject.sex || (*subject.sex != Sex::Male && *subject.sex != Sex::Female)) missing.emplace_back("sex");
  const auto group = subject.ethnicGroup ? static_cast<int>(*subject.ethnicGroup) : 0;
  if (equations == ReferenceEquations::Gli2012 && (group < 1 || group > 5))
    missing.emplace_back("ethnic group (GLI-2012 needs it)");
  if (!missing.empty()) return NoValues() + "set the subject's " + JoinedList(missing) + ".";

  const double age = *subject.ageYears;
  if (age < kReferenceMinAgeYears || age > kReferenceMaxAgeYears)
    return NoValues() + "the equations cover ages " + Number(kReferenceMinAgeYears) + " to " +
           Number(kReferenceMaxAgeYears) + " years, not " + Number(age) + ".";
  const bool adult = age >= kReferenceAdultAgeYears;
  const double minHeight = adult ? kReferenceMinAdultHeightCm : kReferenceMinHeightCm;
  const double height = *subject.heightCm;
  if (height < minHeight || height > kReferenceMaxHeightCm)
    return NoValues() + "a height of " + Number(height) + " cm is outside " + Number(minHeight) + " to " +
           Number(kReferenceMaxHeightCm) + " cm, the range used for " + (adult ? "adults" : "children") +
           "; give the height in centimetres.";
  return {};
}

double Interpolated(double at, double next, double fraction) { return at + (next - at) * fraction; }

// The power form (1 + k L S)^(1/L), or none where its base is not positive.
std::optional<double> Centile(const Lms& lms, double zScore) {
  if (std::abs(lms.l) < kZeroL) return lms.m * std::exp(zScore * lms.s);
  const double base = 1.0 + zScore * lms.l * lms.s;
  if (!(base > 0.0)) return std::nullopt;
  const double value = lms.m * std::pow(base, 1.0 / lms.l);
  return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

ReferenceResult<Lms> ComputeLms(const ReferenceTables& tables, ReferenceEquations equations,
                                const ReferenceSubject& subject, ReferenceMeasure measure) {
  if (auto fault = SubjectFault(equations, subject); !fault.empty()) return {std::nullopt, std::move(fault)};
  const auto* curve = tables.Of(equations).Find(*subject.sex, measure);
  if (!curve)
    return {std::nullopt, NoValueFor(measure) + std::string(EquationsName(equations)) + " has no equation for it."};
  const double age = *subject.ageYears;
  if (age < curve->firstAge || age > curve->LastAge())
    return {std::nullopt, NoValueFor(measure) + std::string(EquationsName(equations)) + " gives it from " +
                              Number(curve->firstAge) + " to " + Number(curve->LastAge()) + " years, not at " +
                              Number(age) + "."};

  // The row whose agebound is the quarter year at or below the age, and the way to the next one.
  const double ageBound = std::floor(age * 4.0) / 4.0;
  const auto row = static_cast<std::size_t>(std::lround((ageBound - curve->firstAge) * 4.0));
  const double fraction = (age - ageBound) / 0.25;
  const auto& at = curve->knots[row];
  const auto& next = row + 1 < curve->knots.size() ? curve->knots[row + 1] : at;  // the last row: fraction is 0

  const std::size_t group =
      equations == ReferenceEquations::Gli2012 ? static_cast<std::size_t>(*subject.ethnicGroup) - 1 : 0;
  const double lnAge = std::log(age);
  Lms lms;
  lms.l = curve->lIntercept + curve->lLnAge * lnAge + Interpolated(at.l, next.l, fraction);
  lms.m = std::exp(curve->mIntercept + curve->mLnHeight * std::log(*subject.heightCm) + curve->mLnAge * lnAge +
                   curve->mGroup[group] + Interpolated(at.m, next.m, fraction));
  lms.s =
      std::exp(curve->sIntercept + curve->sLnAge * lnAge + curve->sGroup[group] + Interpolated(at.s, next.s, fraction));
  if (!std::isfinite(lms.l) || !std::isfinite(lms.m) || !std::isfinite(lms.s) || lms.m <= 0.0 || lms.s <= 0.0)
    return {std::nullopt, NoValueFor(measure) + "the equations give no finite value for this subject."};
  return {lms, {}};
}

ReferenceComparison CompareWithLms(const Lms& lms, std::optional<double> measured) {
  ReferenceComparison out;
  out.predicted = lms.m;
  out.lln = Centile(lms, -kReferenceLimitZ);
  out.uln = Centile(lms, kReferenceLimitZ);
  out.measured = measured;
  if (measured && std::isfinite(*measured) && *measured > 0.0) {
    const double ratio = *measured / lms.m;
    out.z = std::abs(lms.l) < kZeroL ? std::log(ratio) / lms.s : (std::pow(ratio, lms.l) - 1.0) / (lms.l * lms.s);
    if (!std::isfinite(*out.z)) out.z.reset();
    out.percentPredicted = 100.0 * ratio;
  }
  return out;
}

ReferenceResult<ReferenceComparison> CompareWithReference(const ReferenceTables& tables, ReferenceEquations equations,
                                                          const ReferenceSubject& subject, ReferenceMeasure measure,
                                                          std::optional<double> measured) {
  auto lms = ComputeLms(tables, equations, subject, measure);
  if (!lms) return {std::nullopt, std::move(lms.reason)};
  ReferenceResult<ReferenceComparison> result{CompareWithLms(*lms.value, measured), {}};
  if (measured && !result.value->z)
    result.reason = "No " + std::string(MeasureName(measure)) + " z-score: the measured value " + Number(*measured) +
                    (std::isfinite(*measured) && *measured > 0.0 ? " is too far from the predicted one."
                                                                 : " is not a positive number.");
  return result;
}

}  // namespace Spirometry
