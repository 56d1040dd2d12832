#include "spirometry/calc/sp_flow_settings.h"

#include <cmath>

#include "host/com/binary_stream.h"
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/calc_enum_base2.h"
#include "spirometry/calc/key_value_text.h"
#include "spirometry/calc/parameter_text.h"

namespace Spirometry {

namespace {
constexpr std::int32_t kEndMarker = 0x000F1206;
std::uint8_t LowByte(std::int32_t v) { return static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) & 0xFFu); }
}  // namespace

bool SpFlowFields::SameAs(const SpFlowFields& o) const {
  return mDriftCorrection == o.mDriftCorrection && mRawFlowChannel == o.mRawFlowChannel &&
         mOwnChannel == o.mOwnChannel && mPresetIndex == o.mPresetIndex && mApplyNonLinear == o.mApplyNonLinear &&
         mNoiseFloor == o.mNoiseFloor && mApplyNoiseFloor == o.mApplyNoiseFloor &&
         mUseCustomHeadScale == o.mUseCustomHeadScale && mUnitsText == o.mUnitsText &&
         mOutputFormatCode == o.mOutputFormatCode && mOutputUnitsPrefix == o.mOutputUnitsPrefix &&
         mParameterString == o.mParameterString && std::fabs(mHeadScale - o.mHeadScale) < 1e-6;
}

void SpFlowFields::RebuildParameterString() {
  ParameterTextWriter w;
  w.Field(mDriftCorrection)
      .Field(mPresetIndex)
      .Field(mUseCustomHeadScale)
      .Field(mHeadScale)
      .Field(mApplyNonLinear)
      .Field(mRawFlowChannel)
      .Field(mOwnChannel)
      .Field(mApplyNoiseFloor)
      .Field(mNoiseFloor);
  mParameterString = w.Text();
}

HRESULT SpFlowSettings::Load(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream in(stream);
    std::int32_t version = 0;
    in.ReadInt32(version);
    if (!in.Ok()) return E_FAIL;
    if (version > kVersion) return KYM_E_NEWER_VERSION;
    // No version 0 was ever written: such a stream is damage.
    if (version < 1) return E_FAIL;

    SpFlowFields f = *this;
    std::uint8_t channel = 0, drift = 0, preset = 0, nonLinear = 0, custom = 0;
    in.ReadByte(channel).ReadByte(drift).ReadByte(preset).ReadByte(nonLinear).ReadByte(custom);
    in.ReadDouble(f.mHeadScale);
    if (!in.Ok()) return E_FAIL;
    f.mRawFlowChannel = channel;
    f.mDriftCorrection = drift == 1;
    f.mPresetIndex = preset;
    f.mApplyNonLinear = nonLinear == 1;
    f.mUseCustomHeadScale = custom == 1;

    if (version >= 2) {
      in.ReadDouble(f.mRangeTop).ReadDouble(f.mRangeBottom);
      if (version >= 3) {
        std::uint8_t applyNoise = 0;
        std::wstring reserved;
        in.ReadInt32(f.mOutputUnitsPrefix).ReadByte(applyNoise).ReadDouble(f.mNoiseFloor).ReadString(reserved);
        f.mApplyNoiseFloor = applyNoise != 0;
      }
      std::int32_t marker = 0;
      in.ReadInt32(marker);
      if (!in.Ok()) return in.Status();
      if (marker != kEndMarker) return E_FAIL;
    }
    static_cast<SpFlowFields&>(*this) = std::move(f);
    return S_OK;
  });
}

HRESULT SpFlowSettings::Save(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream out(stream);
    out.WriteInt32(kVersion)
        .WriteByte(LowByte(mRawFlowChannel))
        .WriteByte(mDriftCorrection ? 1 : 0)
        .WriteByte(LowByte(mPresetIndex))
        .WriteByte(mApplyNonLinear ? 1 : 0)
        .WriteByte(mUseCustomHeadScale ? 1 : 0)
        .WriteDouble(mHeadScale)
        .WriteDouble(mRangeTop)
        .WriteDouble(mRangeBottom)
        .WriteInt32(mOutputUnitsPrefix)
        .WriteByte(mApplyNoiseFloor ? 1 : 0)
        .WriteDouble(mNoiseFloor)
        .WriteString(L"")
        .WriteInt32(kEndMarker);
    return out.Status();
  });
}

HRESULT SpFlowSettings::GetClassId(Guid* classId) {
  if (!classId) return E_POINTER;
  *classId = kSpFlowClassId;
  return S_OK;
}

HRESULT SpFlowSettings::SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const KeyValueAssignment a(key, value, error);
    if (a.Is(L"source")) return a.Channel(mRawFlowChannel);
    if (a.Is(L"preset")) {
      if (a.Value() == L"custom") {
        mUseCustomHeadScale = true;
        return S_OK;
      }
      const auto table = FlowHeadTable::BuiltIn();
      auto n = ParseWholeNumber(a.Value());
      if (!n || *n < 0 || *n >= table.Size()) return a.Refuse(L"a flow head from 0 to 4 or custom");
      // As the setup dialog does: the preset's scale becomes the stored head scale.
      mPresetIndex = static_cast<std::int32_t>(*n);
      mHeadScale = table.HeadScale(mPresetIndex);
      mUseCustomHeadScale = false;
      return S_OK;
    }
    if (a.Is(L"scale")) {
      auto v = ParseNumber(a.Value());
      if (!v || *v == 0.0) return a.Refuse(L"a head scale in L/s per V other than 0");
      mHeadScale = *v;
      mUseCustomHeadScale = true;
      return S_OK;
    }
    if (a.Is(L"drift")) return a.Switch(mDriftCorrection);
    if (a.Is(L"nonlinear")) return a.Switch(mApplyNonLinear);
    if (a.Is(L"noise-clamp")) return a.Switch(mApplyNoiseFloor);
    if (a.Is(L"noise-floor")) {
      auto v = ParseNumber(a.Value());
      if (!v || *v < 0.0) return a.Refuse(L"a flow in L/s of 0 or more");
      mNoiseFloor = *v;
      return S_OK;
    }
    if (a.Is(L"prefix")) {
      auto n = ParseWholeNumber(a.Value());
      if (!n || *n < 6 || *n > 8) return a.Refuse(L"6 (uL/s), 7 (mL/s) or 8 (L/s)");
      mOutputUnitsPrefix = static_cast<std::int32_t>(*n);
      return S_OK;
    }
    if (a.Is(L"top")) return a.Number(mRangeTop);
    if (a.Is(L"bottom")) return a.Number(mRangeBottom);
    return a.Unknown(L"SpFlow",
                     L"source, preset, scale, drift, nonlinear, noise-floor, noise-clamp, prefix, top, bottom");
  });
}

HRESULT SpFlowSettings::CheckWhole(std::wstring* error) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    // Without a head scale every flow would be zero.
    if (!mUseCustomHeadScale || EffectiveHeadScale() != 0.0) return S_OK;
    if (error) *error = L"preset=custom needs its head scale: give scale=VALUE (L/s per V, other than 0) as well";
    return E_INVALIDARG;
  });
}

// A preset's scale comes from the flow-head table when the calculation runs, whatever the stored value.
double SpFlowSettings::EffectiveHeadScale() const {
  const auto table = FlowHeadTable::BuiltIn();
  return !mUseCustomHeadScale && table.Contains(mPresetIndex) ? table.HeadScale(mPresetIndex) : mHeadScale;
}

HRESULT SpFlowSettings::Describe(std::wstring* text) {
  if (!text) return E_POINTER;
  return CalcEnums::AtBoundary([&] {
    *text = L"source=" + ChannelText(mRawFlowChannel) + L" preset=" +
            (mUseCustomHeadScale ? std::wstring(L"custom") : std::to_wstring(mPresetIndex)) + L" scale=" +
            NumberText(EffectiveHeadScale()) + L" drift=" + SwitchText(mDriftCorrection) + L" nonlinear=" +
            SwitchText(mApplyNonLinear) + L" noise-floor=" + NumberText(mNoiseFloor) + L" noise-clamp=" +
            SwitchText(mApplyNoiseFloor) + L" prefix=" + std::to_wstring(mOutputUnitsPrefix) + L" top=" +
            NumberText(mRangeTop) + L" bottom=" + NumberText(mRangeBottom);
    return S_OK;
  });
}

}  // namespace Spirometry
