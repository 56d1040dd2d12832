#include "spirometry/reference/reference_types.h"

#include <array>

namespace Spirometry {
namespace {

struct MeasureNames {
  ReferenceMeasure measure;
  std::string_view shown;
  std::string_view table;
};
constexpr std::array<MeasureNames, kReferenceMeasureCount> kMeasures{{
    {ReferenceMeasure::Fev1, "FEV1", "FEV1"},
    {ReferenceMeasure::Fvc, "FVC", "FVC"},
    {ReferenceMeasure::Fev1Fvc, "FEV1/FVC", "FEV1FVC"},
    {ReferenceMeasure::Fef2575, "FEF25-75", "FEF2575"},
    {ReferenceMeasure::Fef75, "FEF75", "FEF75"},
}};

struct GroupNames {
  EthnicGroup group;
  std::string_view keyword;
  std::string_view shown;
};
constexpr std::array<GroupNames, 5> kGroups{{
    {EthnicGroup::Caucasian, "caucasian", "Caucasian"},
    {EthnicGroup::AfricanAmerican, "african-american", "African American"},
    {EthnicGroup::NorthEastAsian, "ne-asian", "North East Asian"},
    {EthnicGroup::SouthEastAsian, "se-asian", "South East Asian"},
    {EthnicGroup::Other, "other", "Other or mixed"},
}};

struct EquationNames {
  ReferenceEquations equations;
  std::string_view keyword;
  std::string_view shown;
};
constexpr std::array<EquationNames, 2> kEquations{{
    {ReferenceEquations::GliGlobal2022, "gli-global", "GLI Global 2022"},
    {ReferenceEquations::Gli2012, "gli-2012", "GLI-2012"},
}};

}  // namespace

std::string_view EquationsName(ReferenceEquations equations) { return kEquations[static_cast<int>(equations)].shown; }

std::string_view EquationsKeyword(ReferenceEquations equations) {
  return kEquations[static_cast<int>(equations)].keyword;
}

std::optional<ReferenceEquations> EquationsFromKeyword(std::string_view keyword) {
  for (const auto& row : kEquations)
    if (row.keyword == keyword) return row.equations;
  return std::nullopt;
}

std::string_view MeasureName(ReferenceMeasure measure) { return kMeasures[static_cast<int>(measure)].shown; }

std::string_view MeasureTableName(ReferenceMeasure measure) { return kMeasures[static_cast<int>(measure)].table; }

std::optional<ReferenceMeasure> MeasureFromTableName(std::string_view name) {
  for (const auto& row : kMeasures)
    if (row.table == name) return row.measure;
  return std::nullopt;
}

std::string_view EthnicGroupKeyword(EthnicGroup group) { return kGroups[static_cast<int>(group) - 1].keyword; }

std::optional<EthnicGroup> EthnicGroupFromKeyword(std::string_view keyword) {
  for (const auto& row : kGroups)
    if (row.keyword == keyword) return row.group;
  return std::nullopt;
}

std::string_view EthnicGroupName(EthnicGroup group) { return kGroups[static_cast<int>(group) - 1].shown; }

}  // namespace Spirometry
