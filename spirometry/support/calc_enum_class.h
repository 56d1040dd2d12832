#pragma once
// Class objects of the module's calculation enumerators.
//
// CalcEnumClass2<E> creates instances of enumerator E and gives its class record;
// CalcEnumNumericParamsClass<E> adds the expression-function tables. E provides:
//   static const CalcEnums::FunctionTable& Table();
//   static HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out);
#include "host/com/com_object.h"
#include "spirometry/support/function_table.h"

namespace CalcEnums {

// Answers the parameter questions of the expression engine from a table.
HRESULT AnswerParamInfo(const FunctionTable& table, std::int32_t index, std::wstring* name, std::int32_t* kind,
                        std::uint32_t* flags, double* minimum, double* maximum);
HRESULT AnswerCheckSource(const FunctionTable& table, std::int32_t index, std::uint32_t offeredKind);

template <class E, class Base = ICalcEnumClass>
class CalcEnumClass2 : public ComObject<Base> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      return E::CreateInstance(outer, iid, out);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT GetClassRecord(std::wstring* name, std::wstring* description, Guid* category) override {
    const auto& t = E::Table();
    try {
      if (name) *name = t.className;
      if (description) *description = t.description;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    if (category) *category = t.category;
    return S_OK;
  }
};

template <class E>
class CalcEnumNumericParamsClass final : public CalcEnumClass2<E, INumericParamsClass> {
 public:
  HRESULT GetFunctionNameCount(std::int32_t* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<std::int32_t>(E::Table().functionNames.size());
    return S_OK;
  }
  HRESULT GetFunctionName(std::int32_t index, std::wstring* name) override {
    const auto& names = E::Table().functionNames;
    if (index < 0 || index >= static_cast<std::int32_t>(names.size())) return E_INVALIDARG;
    try {
      if (name) *name = names[index];
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  HRESULT GetParamCounts(std::int32_t* params, std::int32_t* sources) override {
    const auto& t = E::Table();
    if (params) *params = static_cast<std::int32_t>(t.params.size());
    if (sources) *sources = t.SourceCount();
    return S_OK;
  }
  HRESULT GetParamInfo(std::int32_t index, std::wstring* name, std::int32_t* kind, std::uint32_t* flags,
                       double* minimum, double* maximum) override {
    return AnswerParamInfo(E::Table(), index, name, kind, flags, minimum, maximum);
  }
  HRESULT CheckSource(std::int32_t index, std::uint32_t offeredKind) override {
    return AnswerCheckSource(E::Table(), index, offeredKind);
  }
  HRESULT GetKindWords(std::uint32_t* accepts, std::uint32_t* produces) override {
    const auto& t = E::Table();
    if (accepts) *accepts = t.accepts;
    if (produces) *produces = t.produces;
    return S_OK;
  }
};

}  // namespace CalcEnums
