#include "spirometry/calc/calc_enum_base2.h"

#include <stdexcept>

namespace CalcEnums {

CalcEnumBase2::CalcEnumBase2(const CalcEnumBase2& other)
    : ComObject(),
      mHost(other.mHost),
      mParameterText(other.mParameterText),
      mRecord(other.mRecord),
      mSecsPerTick(other.mSecsPerTick),
      mOnline(other.mOnline) {}

HRESULT CalcEnumBase2::GetOutputKind(std::uint32_t* kind) {
  if (!kind) return E_POINTER;
  *kind = CalcKind::kSamples;
  return S_OK;
}

HRESULT CalcEnumBase2::SetHost(IChannelData* host) {
  mHost = host;
  return S_OK;
}

HRESULT CalcEnumBase2::GetParameters(std::wstring* text) {
  if (!text) return E_POINTER;
  return AtBoundary([&] {
    *text = mParameterText;
    return S_OK;
  });
}

HRESULT CalcEnumBase2::Clone(ICalcEnum** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return AtBoundary([&] {
    *out = ComPtr<ICalcEnum>(Copy().Get()).Detach();
    return S_OK;
  });
}

HRESULT CalcEnumBase2::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return AtBoundary([&] {
    *out = ComPtr<IEnumFloatEx>(Copy().Get()).Detach();
    return S_OK;
  });
}

HRESULT CalcEnumBase2::SetSources(std::int32_t record, std::int32_t, IUnknown* const*, std::int32_t, double secsPerTick,
                                  std::int32_t online) {
  if (record != kSameRecord) mRecord = record;
  mSecsPerTick = secsPerTick;
  mOnline = online;
  return S_OK;
}

HRESULT CalcEnumBase2::SetPosition(std::int64_t tick) { return Seek(tick); }

HRESULT CalcEnumBase2::FirstSampleSource(std::int32_t count, IUnknown* const* sources, ComPtr<IEnumFloatEx>* source) {
  source->Reset();
  if (count < 1 || !sources || !sources[0]) return E_FAIL;
  if (Failed(QueryInterfaceOf(sources[0], source->Put())) || !*source) return E_FAIL;
  return S_OK;
}

ComPtr<IEnumFloatEx> CalcEnumBase2::CloneOfSource(IEnumFloatEx* source) {
  ComPtr<IEnumFloatEx> clone;
  if (source && (Failed(source->Clone(clone.Put())) || !clone)) throw std::runtime_error("source not clonable");
  return clone;
}

HRESULT CalcEnumBase2::ReleaseSources() {
  DropSources();
  return S_OK;
}

HRESULT CalcEnumBase2::GetSecsPerTick(double* secs) {
  if (!secs) return E_POINTER;
  *secs = mSecsPerTick;
  return S_OK;
}

}  // namespace CalcEnums
