#pragma once
// The words of the reference equations: which equations, which measure, who was measured. Names and the
// command line's keywords are kept here, once.
#include <optional>
#include <string_view>

namespace Spirometry {

enum class ReferenceEquations { GliGlobal2022, Gli2012 };

// The measures the equations give values for; FEF25-75 and FEF75 only with GLI-2012.
enum class ReferenceMeasure { Fev1, Fvc, Fev1Fvc, Fef2575, Fef75 };
inline constexpr int kReferenceMeasureCount = 5;

// As the equations define it: the tables are split by sex at birth.
enum class Sex { Male = 1, Female = 2 };

// GLI-2012's groups, numbered as in its tables.
enum class EthnicGroup { Caucasian = 1, AfricanAmerican = 2, NorthEastAsian = 3, SouthEastAsian = 4, Other = 5 };

// What the equations need of a subject; an unset field makes the subject incomplete.
struct ReferenceSubject {
  std::optional<double> ageYears;  // decimals allowed
  std::optional<double> heightCm;
  std::optional<Sex> sex;
  std::optional<EthnicGroup> ethnicGroup;  // GLI-2012 only
};

// "GLI Global 2022", "GLI-2012".
std::string_view EquationsName(ReferenceEquations equations);
// "gli-global", "gli-2012", and back.
std::string_view EquationsKeyword(ReferenceEquations equations);
std::optional<ReferenceEquations> EquationsFromKeyword(std::string_view keyword);

// "FEV1", "FVC", "FEV1/FVC", "FEF25-75", "FEF75": as a report shows them.
std::string_view MeasureName(ReferenceMeasure measure);
// "FEV1", "FVC", "FEV1FVC", "FEF2575", "FEF75": as the tables name them.
std::string_view MeasureTableName(ReferenceMeasure measure);
std::optional<ReferenceMeasure> MeasureFromTableName(std::string_view name);

// "caucasian", "african-american", "ne-asian", "se-asian", "other", and back.
std::string_view EthnicGroupKeyword(EthnicGroup group);
std::optional<EthnicGroup> EthnicGroupFromKeyword(std::string_view keyword);
// "Caucasian", "African American", "North East Asian", "South East Asian", "Other or mixed".
std::string_view EthnicGroupName(EthnicGroup group);

}  // namespace Spirometry
