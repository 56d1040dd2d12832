#pragma once
// The description of an expression function that a calculation-enumerator class object gives the host:
// class record, function names, parameter table and the kinds of sources it accepts.
#include <string>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/icalc_enum_class.h"

namespace CalcEnums {

// Flag word of the numeric parameters that the calculations' parameter texts hold as integers.
constexpr std::uint32_t kWholeNumberParamFlags = 0x80000000 | ParamFlag::kWholeNumber;

struct ParamInfo {
  const wchar_t* name;
  std::int32_t kind;  // ParamKind
  double minimum;
  double maximum;
  std::uint32_t flags;
};

struct FunctionTable {
  const wchar_t* className;    // class-record name, the key of the calc-enum class registry
  const wchar_t* description;  // class-record description
  Guid category;
  std::vector<const wchar_t*> functionNames;  // empty: not an expression function
  std::vector<ParamInfo> params;              // sources first, then numbers
  std::uint32_t accepts;                      // kind words of the function description
  std::uint32_t produces;

  std::int32_t SourceCount() const {
    std::int32_t n = 0;
    for (const auto& p : params)
      if (p.kind != ParamKind::kNumber) ++n;
    return n;
  }
};

}  // namespace CalcEnums
