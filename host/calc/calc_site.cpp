#include "host/calc/calc_site.h"

#include "host/calc/channel_data.h"
#include "host/calc/icalc_enum.h"
#include "host/data/units.h"

namespace kymora {

std::wstring CalcBinding::UnitsText() const { return PrefixText(prefixCode) + units; }

CalcBinding* CalcSite::Binding() const { return mOwner ? mOwner->Binding(mChannel) : nullptr; }

HRESULT CalcSite::GetChannelData(IChannelData** data) {
  if (!data) return E_POINTER;
  *data = nullptr;
  if (!mOwner) return E_FAIL;
  *data = mOwner;
  mOwner->AddRef();
  return S_OK;
}

HRESULT CalcSite::GetClassName(std::wstring* name) {
  auto* b = Binding();
  if (!name) return E_POINTER;
  if (!b) return E_FAIL;
  *name = b->className;
  return S_OK;
}

HRESULT CalcSite::Rebind(const wchar_t* className) {
  auto* b = Binding();
  if (!b || !className) return E_FAIL;
  auto cls = mOwner->mServices.calculations ? mOwner->mServices.calculations->FindByName(className) : nullptr;
  if (!cls) return E_INVALIDARG;
  Guid id;
  cls->GetClassId(&id);
  b->classId = id;
  b->className = className;
  return S_OK;
}

HRESULT CalcSite::SetSources(std::int32_t count, const CCalcEnumSourceInfo* sources) {
  auto* b = Binding();
  if (!b) return E_FAIL;
  if (count < 0 || (count > 0 && !sources)) return E_INVALIDARG;
  b->sources.assign(sources, sources + count);
  return S_OK;
}

HRESULT CalcSite::SetOutputScaling(double scale, double offset) {
  auto* b = Binding();
  if (!b) return E_FAIL;
  b->scale = scale;
  b->offset = offset;
  return S_OK;
}

HRESULT CalcSite::SetParameterString(const wchar_t* text) {
  auto* b = Binding();
  if (!b) return E_FAIL;
  b->parameters = text ? text : L"";
  return S_OK;
}

HRESULT CalcSite::SetOutputUnits(const wchar_t* units, std::int32_t prefixCode, double valueFactor) {
  auto* b = Binding();
  if (!b) return E_FAIL;
  b->units = units ? units : L"";
  b->prefixCode = prefixCode;
  b->valueFactor = valueFactor;
  return S_OK;
}

HRESULT CalcSite::SetOutputLimits(double top, double bottom, std::int32_t formatCode) {
  auto* b = Binding();
  if (!b) return E_FAIL;
  b->top = top;
  b->bottom = bottom;
  b->formatCode = formatCode;
  return S_OK;
}

HRESULT CalcSite::Apply(std::uint32_t flags) {
  auto* b = Binding();
  if (!b) return E_FAIL;
  if (auto why = mOwner->WhyNotReadable(mChannel, b->sources)) return mOwner->Fail(E_INVALIDARG, *why);
  b->applied = true;
  if (mOwner->mOnChanged) mOwner->mOnChanged(mChannel);
  return S_OK;
}

HRESULT CalcSite::CreateEnum(const wchar_t* className, const wchar_t* parameters, ICalcEnum** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!mOwner || !className) return E_FAIL;
  auto cls = mOwner->mServices.enums ? mOwner->mServices.enums->FindClass(className) : nullptr;
  if (!cls) return REGDB_E_CLASSNOTREG;
  ComPtr<ICalcEnum> e;
  HRESULT hr = cls->CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid());
  if (Failed(hr)) return hr;
  e->SetHost(mOwner);
  hr = e->SetParameters(parameters ? parameters : L"", nullptr);
  if (Failed(hr)) return hr;
  *out = e.Detach();
  return S_OK;
}

HRESULT CalcSite::ShowMessage(const wchar_t* text, const wchar_t* caption, std::uint32_t style) {
  if (!mOwner || !mOwner->mServices.messageBox) return E_FAIL;
  return mOwner->mServices.messageBox(text ? text : L"", caption ? caption : L"", style);
}

HRESULT CalcSite::GetChannel(std::int32_t* channel) {
  if (!channel) return E_POINTER;
  *channel = mChannel;
  return S_OK;
}

}  // namespace kymora
