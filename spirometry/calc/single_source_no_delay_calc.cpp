#include "spirometry/calc/single_source_no_delay_calc.h"

namespace CalcEnums {

SingleSourceNoDelayCalc::SingleSourceNoDelayCalc(const SingleSourceNoDelayCalc& other)
    : CalcEnumBase2(other), mSource(CloneOfSource(other.mSource.Get())), mSourceUnits(other.mSourceUnits) {}

HRESULT SingleSourceNoDelayCalc::SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources,
                                            std::int32_t further, double secsPerTick, std::int32_t online) {
  DropSources();
  ComPtr<IEnumFloatEx> source;
  HRESULT hr = FirstSampleSource(count, sources, &source);
  if (Failed(hr)) return hr;
  hr = CalcEnumBase2::SetSources(record, count, sources, further, secsPerTick, online);
  if (Failed(hr)) return hr;
  mSource = source;
  mSource->GetUnits(mSourceUnits.Put());
  return S_OK;
}

void SingleSourceNoDelayCalc::DropSources() {
  mSource.Reset();
  mSourceUnits.Reset();
}

std::wstring SingleSourceNoDelayCalc::SourceUnitsText() const {
  std::wstring text;
  if (mSourceUnits && Failed(mSourceUnits->GetText(&text))) text.clear();
  return text;
}

HRESULT SingleSourceNoDelayCalc::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  if (!mSource) return E_UNEXPECTED;
  return mSource->GetPosition(tick);
}

HRESULT SingleSourceNoDelayCalc::Seek(std::int64_t tick) {
  if (!mSource) return E_UNEXPECTED;
  std::int64_t now = 0;
  if (Succeeded(mSource->GetPosition(&now)) && now == tick) return S_OK;
  return mSource->Seek(tick);
}

HRESULT SingleSourceNoDelayCalc::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  if (!mSource) return E_UNEXPECTED;
  return mSource->GetLength(length);
}

HRESULT SingleSourceNoDelayCalc::GetUnits(IUnits** units) {
  if (!units) return E_POINTER;
  return mSourceUnits.CopyTo(units);
}

HRESULT SingleSourceNoDelayCalc::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  if (!delivered) return E_POINTER;
  *delivered = 0;
  if (!mSource) return E_UNEXPECTED;
  return mSource->Read(count, buffer, delivered);
}

}  // namespace CalcEnums
