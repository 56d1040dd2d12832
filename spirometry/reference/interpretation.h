#pragma once
// The reading of a test against the reference values, by the ATS/ERS 2022 interpretive strategy, from
// z-scores alone:
//   - FEV1/FVC below its lower limit (z < -1.645) is obstruction, graded by the FEV1 z-score: mild down to
//     -2.5 (an FEV1 within normal limits included), moderate down to -4, severe below -4;
//   - otherwise FVC below its lower limit is a low FVC: spirometry alone cannot tell restriction from a
//     non-specific pattern;
//   - otherwise the test is within normal limits.
// A test whose FEV1 or FVC is graded below C (ATS/ERS 2019: D, E, U, F) is read with caution.
#include <optional>
#include <string>

#include "spirometry/reference/reference_values.h"

namespace Spirometry {

enum class SpirometryPattern { WithinNormalLimits, Obstruction, LowFvc };
enum class ObstructionSeverity { None, Mild, Moderate, Severe };  // None unless obstruction with an FEV1 z-score

struct InterpretationInput {
  std::optional<double> fev1Z, fvcZ, ratioZ;
  char fev1Grade = 'F', fvcGrade = 'F';  // the test's grades, A to F or U
};

struct Interpretation {
  SpirometryPattern pattern = SpirometryPattern::WithinNormalLimits;
  ObstructionSeverity severity = ObstructionSeverity::None;
  bool caution = false;
  // As a report shows it: "moderate obstruction; interpret with caution".
  std::string Text() const;
};

// True for D, E, U, F and anything that is not a grade.
bool GradeBelowC(char grade);

// No value, and why, when the z-scores the rules need are missing.
ReferenceResult<Interpretation> Interpret(const InterpretationInput& input);

}  // namespace Spirometry
