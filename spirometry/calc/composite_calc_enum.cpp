#include "spirometry/calc/composite_calc_enum.h"

#include "host/expr/iexpression_engine.h"

namespace CalcEnums {

CompositeCalcEnum::CompositeCalcEnum(const CompositeCalcEnum& other)
    : CalcEnumBase2(other), mResult(CloneOfSource(other.mResult.Get())) {}

HRESULT CompositeCalcEnum::SetParameters(const wchar_t* text, std::uint32_t* outputKind) {
  if (outputKind) *outputKind = CalcKind::kSamples;
  return AtBoundary([&] {
    std::wstring expression = text ? text : L"";
    // A parameter text may end with its NUL.
    while (!expression.empty() && expression.back() == L'\0') expression.pop_back();
    mParameterText = std::move(expression);
    mResult.Reset();
    return S_OK;
  });
}

HRESULT CompositeCalcEnum::SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources,
                                      std::int32_t further, double secsPerTick, std::int32_t online) {
  return AtBoundary([&]() -> HRESULT {
    HRESULT hr = CalcEnumBase2::SetSources(record, count, sources, further, secsPerTick, online);
    if (Failed(hr)) return hr;
    mResult.Reset();
    mLastError.clear();
    std::wstring unitsText;
    ComPtr<IEnumFloatEx> source;
    ComPtr<IUnits> units;
    if (Succeeded(FirstSampleSource(count, sources, &source)) && Succeeded(source->GetUnits(units.Put())) && units)
      units->GetText(&unitsText);
    if (!mHost) return E_UNEXPECTED;
    ComPtr<IExpressionEngine> engine;
    hr = mHost->QueryInterface(IExpressionEngine::kIid, engine.PutVoid());
    if (Failed(hr) || !engine) return Failed(hr) ? hr : E_NOINTERFACE;
    const std::wstring text = ExpressionFor(unitsText);
    ComPtr<IExpression> expression;
    hr = engine->Compile(text.c_str(), 0, nullptr, expression.Put(), &mLastError);
    if (Failed(hr) || !expression) return Failed(hr) ? hr : E_FAIL;
    hr = expression->CreateSampleEnum(record, 0, mResult.Put());
    if (Failed(hr) || !mResult) {
      mResult.Reset();
      return Failed(hr) ? hr : E_FAIL;
    }
    return S_OK;
  });
}

void CompositeCalcEnum::DropSources() { mResult.Reset(); }

HRESULT CompositeCalcEnum::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  return mResult ? mResult->GetPosition(tick) : E_UNEXPECTED;
}

HRESULT CompositeCalcEnum::Seek(std::int64_t tick) { return mResult ? mResult->Seek(tick) : E_UNEXPECTED; }

HRESULT CompositeCalcEnum::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  return mResult ? mResult->GetLength(length) : E_UNEXPECTED;
}

HRESULT CompositeCalcEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  if (delivered) *delivered = 0;
  return mResult ? mResult->Read(count, buffer, delivered) : E_UNEXPECTED;
}

HRESULT CompositeCalcEnum::GetUnits(IUnits** units) {
  if (!units) return E_POINTER;
  *units = nullptr;  // the calculation names the units of its channel
  return S_OK;
}

}  // namespace CalcEnums
