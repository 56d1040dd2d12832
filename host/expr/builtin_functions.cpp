#include "host/expr/builtin_functions.h"

#include <cfloat>
#include <new>
#include <vector>

#include "host/calc/calc_registries.h"
#include "host/calc/icalc_enum.h"
#include "host/com/com_object.h"
#include "host/expr/cycle_events.h"
#include "host/expr/decimate_enum.h"
#include "host/expr/event_interp_enum.h"
#include "host/expr/threshold_enum.h"

namespace kymora::expr {

namespace {
// Category of the class records of the engine's own functions.
constexpr Guid kBuiltinCategory = Guid::Parse("{5A7E3D10-2B6C-4C8F-A1E4-9D0F3B2C7A10}");

struct Param {
  const wchar_t* name;
  std::int32_t kind;
  double minimum = -DBL_MAX;
  double maximum = DBL_MAX;
  std::optional<double> fallback = std::nullopt;  // the value of an argument left out
  std::uint32_t flags = 0;                        // ParamFlag
};

using Factory = ComPtr<ICalcEnum> (*)();

class BuiltinFunction final : public ComObject<INumericParamsClass> {
 public:
  BuiltinFunction(const wchar_t* name, const wchar_t* description, std::vector<const wchar_t*> names,
                  std::vector<Param> params, std::uint32_t produces, Factory factory)
      : mName(name),
        mDescription(description),
        mNames(std::move(names)),
        mParams(std::move(params)),
        mProduces(produces),
        mFactory(factory) {}

  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return mFactory()->QueryInterface(iid, out);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT GetClassRecord(std::wstring* name, std::wstring* description, Guid* category) override {
    if (name) *name = mName;
    if (description) *description = mDescription;
    if (category) *category = kBuiltinCategory;
    return S_OK;
  }
  HRESULT GetFunctionNameCount(std::int32_t* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<std::int32_t>(mNames.size());
    return S_OK;
  }
  HRESULT GetFunctionName(std::int32_t index, std::wstring* name) override {
    if (index < 0 || index >= static_cast<std::int32_t>(mNames.size())) return E_INVALIDARG;
    if (name) *name = mNames[static_cast<std::size_t>(index)];
    return S_OK;
  }
  HRESULT GetParamCounts(std::int32_t* params, std::int32_t* sources) override {
    std::int32_t n = 0;
    for (const auto& p : mParams) n += p.kind != ParamKind::kNumber;
    if (params) *params = static_cast<std::int32_t>(mParams.size());
    if (sources) *sources = n;
    return S_OK;
  }
  HRESULT GetParamInfo(std::int32_t index, std::wstring* name, std::int32_t* kind, std::uint32_t* flags,
                       double* minimum, double* maximum) override {
    const Param* p = At(index);
    if (!p) return E_INVALIDARG;
    if (name) *name = p->name;
    if (kind) *kind = p->kind;
    if (flags) *flags = p->flags;
    if (minimum) *minimum = p->kind == ParamKind::kNumber ? p->minimum : 0.0;
    if (maximum) *maximum = p->kind == ParamKind::kNumber ? p->maximum : 0.0;
    return S_OK;
  }
  HRESULT CheckSource(std::int32_t index, std::uint32_t offeredKind) override {
    const Param* p = At(index);
    if (!p || p->kind == ParamKind::kNumber) return E_INVALIDARG;
    const std::uint32_t wanted = p->kind == ParamKind::kEvent ? CalcKind::kEvents : CalcKind::kSamples;
    return offeredKind == wanted ? S_OK : S_FALSE;
  }
  HRESULT GetKindWords(std::uint32_t* accepts, std::uint32_t* produces) override {
    if (accepts) *accepts = CalcKind::kSamples | CalcKind::kEvents;
    if (produces) *produces = mProduces;
    return S_OK;
  }

  std::int32_t Optional() const {
    std::int32_t n = 0;
    for (auto it = mParams.rbegin(); it != mParams.rend() && it->fallback; ++it) ++n;
    return n;
  }
  const Param* At(std::int32_t index) const {
    return index >= 0 && index < static_cast<std::int32_t>(mParams.size()) ? &mParams[static_cast<std::size_t>(index)]
                                                                           : nullptr;
  }

 private:
  std::wstring mName, mDescription;
  std::vector<const wchar_t*> mNames;
  std::vector<Param> mParams;
  std::uint32_t mProduces;
  Factory mFactory;
};

template <class E>
ComPtr<ICalcEnum> Make() {
  return ComPtr<ICalcEnum>(static_cast<ICalcEnum*>(MakeCom<E>().Get()));
}

const std::vector<ComPtr<BuiltinFunction>>& Builtins() {
  static const auto* functions = new std::vector<ComPtr<BuiltinFunction>>{
      MakeCom<BuiltinFunction>(
          L"EventInterp", L"A sample channel holding the values of an event source", std::vector{L"EventInterp"},
          std::vector<Param>{{L"Event Source", ParamKind::kEvent},
                             {L"Mode", ParamKind::kNumber, 0.0, 1.0, 0.0, ParamFlag::kWholeNumber}},
          CalcKind::kSamples, &Make<EventInterpEnum>),
      MakeCom<BuiltinFunction>(
          L"decimatesec", L"Means over windows of a number of seconds", std::vector{L"decimatesec"},
          std::vector<Param>{{L"Source", ParamKind::kChannel}, {L"Seconds", ParamKind::kNumber, 0.0, 1e9}},
          CalcKind::kSamples, &Make<DecimateEnum>),
      MakeCom<BuiltinFunction>(L"threshold", L"1 where a signal is above a level, else 0", std::vector{L"threshold"},
                               std::vector<Param>{{L"Source", ParamKind::kChannel}, {L"Level", ParamKind::kNumber}},
                               CalcKind::kSamples, &Make<ThresholdEnum>),
      MakeCom<BuiltinFunction>(
          L"Cycles", L"Events where cycles of a signal begin", std::vector{L"Cycles"},
          std::vector<Param>{{L"Source", ParamKind::kChannel},
                             {L"Level", ParamKind::kNumber, 0.0, DBL_MAX},
                             {L"Quiet", ParamKind::kNumber, 0.0, kMaxCycleQuietSeconds},
                             {L"Window", ParamKind::kNumber, 1.0, kMaxCycleWindow, 1.0, ParamFlag::kWholeNumber},
                             {L"Baseline", ParamKind::kNumber, -DBL_MAX, DBL_MAX, 0.0}},
          CalcKind::kEvents, &Make<CycleEvents>),
  };
  return *functions;
}

BuiltinFunction* AsBuiltin(INumericParamsClass* function) {
  for (const auto& b : Builtins())
    if (static_cast<INumericParamsClass*>(b.Get()) == function) return b.Get();
  return nullptr;
}
}  // namespace

ComPtr<INumericParamsClass> FindBuiltinFunction(std::wstring_view name) {
  const std::wstring lower = ToLowerAscii(name);
  for (const auto& b : Builtins()) {
    std::wstring own;
    b->GetFunctionName(0, &own);
    if (ToLowerAscii(own) == lower) return ComPtr<INumericParamsClass>(b.Get());
  }
  return nullptr;
}

std::int32_t OptionalArguments(INumericParamsClass* function) {
  const BuiltinFunction* b = AsBuiltin(function);
  return b ? b->Optional() : 0;
}

std::optional<double> DefaultArgument(INumericParamsClass* function, std::int32_t index) {
  const BuiltinFunction* b = AsBuiltin(function);
  const Param* p = b ? b->At(index) : nullptr;
  return p ? p->fallback : std::nullopt;
}

}  // namespace kymora::expr
