#include "spirometry/support/calc_enum_class.h"

namespace CalcEnums {

HRESULT AnswerParamInfo(const FunctionTable& table, std::int32_t index, std::wstring* name, std::int32_t* kind,
                        std::uint32_t* flags, double* minimum, double* maximum) {
  if (index < 0 || index >= static_cast<std::int32_t>(table.params.size())) return E_INVALIDARG;
  const auto& p = table.params[index];
  try {
    if (name) *name = p.name;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  if (kind) *kind = p.kind;
  if (flags) *flags = p.flags;
  if (minimum) *minimum = p.minimum;
  if (maximum) *maximum = p.maximum;
  return S_OK;
}

HRESULT AnswerCheckSource(const FunctionTable& table, std::int32_t index, std::uint32_t offeredKind) {
  if (index < 0 || index >= table.SourceCount()) return E_INVALIDARG;
  // Sources come first in the table, so the index addresses the parameter directly.
  switch (table.params[index].kind) {
    case ParamKind::kChannel:
      return (offeredKind & CalcKind::kSamples) ? S_OK : S_FALSE;
    case ParamKind::kEvent:
      return (offeredKind & CalcKind::kEvents) ? S_OK : S_FALSE;
    default:
      return S_FALSE;
  }
}

}  // namespace CalcEnums
