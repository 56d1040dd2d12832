#include "spirometry/reference/interpretation.h"

#include <string_view>

namespace Spirometry {
namespace {

// Every word the interpretation writes.
constexpr std::string_view kWithinNormalLimits = "within normal limits";
constexpr std::string_view kLowFvc = "low FVC: possible restriction or non-specific pattern";
constexpr std::string_view kObstruction = "obstruction";
constexpr std::string_view kMild = "mild ";
constexpr std::string_view kModerate = "moderate ";
constexpr std::string_view kSevere = "severe ";
constexpr std::string_view kCaution = "; interpret with caution";
constexpr std::string_view kNoRatio = "Not interpreted: FEV1/FVC has no z-score.";
constexpr std::string_view kNoFvc = "Not interpreted: FVC has no z-score.";

// Below the lower limit of normal.
bool Low(double z) { return z < -kReferenceLimitZ; }

ObstructionSeverity SeverityOf(double fev1Z) {
  if (fev1Z < -4.0) return ObstructionSeverity::Severe;
  if (fev1Z < -2.5) return ObstructionSeverity::Moderate;
  return ObstructionSeverity::Mild;
}

}  // namespace

std::string Interpretation::Text() const {
  std::string text;
  switch (pattern) {
    case SpirometryPattern::WithinNormalLimits:
      text = kWithinNormalLimits;
      break;
    case SpirometryPattern::LowFvc:
      text = kLowFvc;
      break;
    case SpirometryPattern::Obstruction:
      text = severity == ObstructionSeverity::Severe     ? kSevere
             : severity == ObstructionSeverity::Moderate ? kModerate
             : severity == ObstructionSeverity::Mild     ? kMild
                                                         : "";
      text += kObstruction;
      break;
  }
  if (caution) text += kCaution;
  return text;
}

bool GradeBelowC(char grade) { return grade != 'A' && grade != 'B' && grade != 'C'; }

ReferenceResult<Interpretation> Interpret(const InterpretationInput& input) {
  if (!input.ratioZ) return {std::nullopt, std::string(kNoRatio)};
  Interpretation reading;
  reading.caution = GradeBelowC(input.fev1Grade) || GradeBelowC(input.fvcGrade);
  if (Low(*input.ratioZ)) {
    reading.pattern = SpirometryPattern::Obstruction;
    if (input.fev1Z) reading.severity = SeverityOf(*input.fev1Z);
  } else if (!input.fvcZ) {
    return {std::nullopt, std::string(kNoFvc)};
  } else if (Low(*input.fvcZ)) {
    reading.pattern = SpirometryPattern::LowFvc;
  }
  return {reading, {}};
}

}  // namespace Spirometry
