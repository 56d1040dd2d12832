#include "spirometry/calc/sp_vol.h"

#include "host/calc/icalc_enum.h"
#include "host/com/memory_stream.h"
#include "host/data/ichannel_data.h"
#include "host/data/iunits.h"
#include "spirometry/calc/calc_enum_base2.h"
#include "spirometry/calc/calibrate_base.h"
#include "spirometry/calc/units_check.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr std::uint32_t kUnitsFlags = 0x80002000;
constexpr int kMsgSettingsUpdated = 8;
constexpr int kMsgVolumeUpdatedOnChannel = 99;
constexpr std::uint32_t kExclamationBox = 0x30;

// The stored settings of the calculation on a channel, with its class: they change exactly when the
// channel's samples may change.
std::vector<std::uint8_t> CalculationFingerprint(IChannelData* data, std::int32_t channel) {
  ComPtr<IChannelCalc> calc;
  if (data->GetChannelCalc(channel, calc.Put()) != S_OK || !calc) return {};
  ComPtr<IPersistObject> settings;
  if (Failed(calc->GetSettings(settings.Put())) || !settings) return {};
  auto stream = MakeCom<MemoryStream>();
  Guid id;
  if (Succeeded(settings->GetClassId(&id))) stream->Write(&id, sizeof id, nullptr);
  settings->Save(stream.Get());
  return stream->Bytes();
}
}  // namespace

SpVol::SpVol(ICalcSite* site) : ChannelCalcBase(site), mSettings(MakeCom<SpVolSettings>()) {}

HRESULT SpVol::QueryOtherInterface(const Guid& iid, void** out) {
  if (iid != ISpiroCalculations::kIid) return E_NOINTERFACE;
  *out = static_cast<ISpiroCalculations*>(this);
  AddRef();
  return S_OK;
}

HRESULT SpVol::PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator,
                             std::int64_t* ratioNumerator, std::int64_t* ratioDenominator, std::int64_t* delay,
                             std::int64_t* length, std::int32_t* last) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  if (!data || !ratioNumerator || !ratioDenominator || !delay || !length || !last) return E_POINTER;
  if (!mSite) return E_FAIL;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const std::int32_t flow = mSettings->mFlowChannel;
    const std::uint32_t flags = (flow == mChannel ? 0x1u : 0x40000000u) | kUnitsFlags;
    ComPtr<IUnits> units;
    std::wstring unitsText;
    std::int32_t prefix = 8;
    if (Succeeded(data->GetUnits(flags, record, flow, units.Put())) && units) {
      units->GetText(&unitsText);
      units->GetPrefixCode(&prefix);
    }
    // The text as built when the settings were last applied: settings changed without an application
    // (the correction flag set through ISpiroCalculations) do not reach the channel.
    if (mSettings->mParameterString.empty()) {
      auto next = mSettings->Copy();
      next->RebuildParameterString();
      mSettings = next;
    }
    auto source = flow == mChannel ? std::vector<std::uint8_t>{} : CalculationFingerprint(data, flow);

    if (!mEnumerator || unitsText != mEnumeratorUnits || prefix != mEnumeratorPrefix ||
        mSettings->mParameterString != mEnumeratorParameters || source != mEnumeratorSource) {
      ComPtr<ICalcEnum> created;
      HRESULT hr = mSite->CreateEnum(L"SpVolEnum", mSettings->mParameterString.c_str(), created.Put());
      if (Failed(hr)) return hr;
      if (!created) return E_FAIL;
      mEnumerator = created;
      mEnumeratorUnits = unitsText;
      mEnumeratorPrefix = prefix;
      mEnumeratorParameters = mSettings->mParameterString;
      mEnumeratorSource = std::move(source);
    }
    HRESULT hr = SendUnits(L"L", VolumePrefixCode(unitsText), 1.0);
    if (Failed(hr)) return hr;
    if (Failed(hr = SendLimits(mSettings->mRangeTop, mSettings->mRangeBottom, mSettings->mOutputFormatCode))) return hr;
    std::int64_t samples = 0;
    if (Failed(hr = data->GetBlockLength(kBlockInfoFlags, record, flow, &samples))) return hr;
    *ratioNumerator = 1;
    *ratioDenominator = 1;
    *delay = 0;
    *length = samples;
    *last = 0;
    return mEnumerator.CopyTo(enumerator);
  });
}

std::optional<std::int32_t> SpVol::FlowVolumePrefix() const {
  ComPtr<IChannelData> data;
  if (!mSite || Failed(mSite->GetChannelData(data.Put())) || !data) return std::nullopt;
  const std::int32_t flow = mSettings->mFlowChannel;
  const std::uint32_t flags = (flow == mChannel ? 0x1u : 0x40000000u) | kUnitsFlags;
  ComPtr<IUnits> units;
  std::wstring text;
  if (Failed(data->GetUnits(flags, 0, flow, units.Put())) || !units || Failed(units->GetText(&text)))
    return std::nullopt;
  return VolumePrefixCode(text);
}

void SpVol::ShowClampNotice() {
  if (!mSite) return;
  const std::wstring text = LoadString(kMsgSettingsUpdated);
  const std::wstring caption = FormatString(kMsgVolumeUpdatedOnChannel, {std::to_wstring(std::int64_t{mChannel} + 1)});
  mSite->ShowMessage(text.c_str(), caption.c_str(), kExclamationBox);
}

HRESULT SpVol::ApplySettings(IPersistObject* settings, Bool16 force) {
  auto* given = dynamic_cast<SpVolSettings*>(settings);
  if (!given) return E_INVALIDARG;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    given->mOwnChannel = mChannel;
    if (!force && given->SameAs(*mSettings)) return S_FALSE;
    auto next = given->Copy();
    next->RebuildParameterString();
    mSettings = next;
    mEnumerator.Reset();
    if (given->StoredValuesWereClamped()) ShowClampNotice();

    OutputDescription d;
    d.sourceChannel = mSettings->mFlowChannel;
    d.top = mSettings->mRangeTop;
    d.bottom = mSettings->mRangeBottom;
    d.parameters = mSettings->mParameterString;
    // The volume keeps the litre prefix of its flow: no conversion.
    d.units = L"L";
    d.prefixCode = FlowVolumePrefix().value_or(mSettings->mOutputUnitsPrefix);
    d.valueFactor = 1.0;
    return SendAndApply(d, force != kFalse16);
  });
}

HRESULT SpVol::ReplaceSettings(IPersistObject* settings) { return ReplaceWithCopy(settings, mSettings); }

HRESULT SpVol::GetSettings(IPersistObject** settings) { return CopyOut(*mSettings, settings); }

HRESULT SpVol::GetCapabilities(std::uint32_t* flags) {
  if (!flags) return E_POINTER;
  *flags = kCapabilities;
  return S_OK;
}

HRESULT SpVol::SetVolumeCorrection(Bool16 on) {
  if (!mSettings) return E_FAIL;
  return CalcEnums::AtBoundary([&] {
    auto next = mSettings->Copy();
    next->mVolumeCorrection = on != kFalse16;
    mSettings = next;
    return S_OK;
  });
}

HRESULT SpVol::GetVolumeCorrection(Bool16* on) {
  if (!on) return E_POINTER;
  if (!mSettings) return E_FAIL;
  *on = ToBool16(mSettings->mVolumeCorrection);
  return S_OK;
}

HRESULT SpVol::SwitchOffVolumeCorrection() {
  if (!mSettings) return E_FAIL;
  return CalcEnums::AtBoundary([&] {
    auto next = mSettings->Copy();
    next->mVolumeCorrection = false;
    return ApplySettings(next.Get(), kTrue16);
  });
}

HRESULT SpVol::ComputeRatioFromSelection(IChannelData* document, DataPosition start, DataPosition end) {
  if (!mSettings || !document || !mSite) return E_FAIL;
  return CalcEnums::AtBoundary([&] {
    CalibrateBase reader(document, document);
    const double ratio = reader.VolumeRatio(document, start, end, mSettings->mFlowChannel, mSettings->mCorrectionType,
                                            mSettings->mDeadSpace);
    auto next = mSettings->Copy();
    next->mVolumeRatio = ratio;
    next->mVolumeCorrection = true;
    return ApplySettings(next.Get(), kTrue16);
  });
}

HRESULT SpVol::GetFlowChannel(std::int32_t* channel) {
  if (!channel) return E_POINTER;
  *channel = mSettings ? mSettings->mFlowChannel : -1;
  return S_OK;
}

HRESULT SpVol::GetOwnChannel(std::int32_t* channel) {
  if (!channel) return E_POINTER;
  *channel = mSettings ? mSettings->mOwnChannel : -1;
  return S_OK;
}

}  // namespace Spirometry
