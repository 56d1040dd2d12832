#include "spirometry/calc/sp_flow.h"

#include <cmath>

#include "host/calc/icalc_enum.h"
#include "host/data/ichannel_data.h"
#include "host/data/iunits.h"
#include "host/data/iunits_conversion.h"
#include "spirometry/calc/calc_enum_base2.h"
#include "spirometry/calc/calibrate_base.h"
#include "spirometry/calc/units_check.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr double kFullScaleRaw = 32000.0;
// Limit of the output when the source has no units conversion to give its full scale.
constexpr double kDefaultLimit = 10.0;
}  // namespace

SpFlow::SpFlow(ICalcSite* site) : ChannelCalcBase(site), mSettings(MakeCom<SpFlowSettings>()) {}

double SpFlow::ValueFactor() const {
  return UnitPrefixFactor(mSettings->mOutputUnitsPrefix) * PowerOfTen(mSettings->mSourcePrefixExponent);
}

HRESULT SpFlow::PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator,
                              std::int64_t* ratioNumerator, std::int64_t* ratioDenominator, std::int64_t* delay,
                              std::int64_t* length, std::int32_t* last) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  if (!data || !ratioNumerator || !ratioDenominator || !delay || !length || !last) return E_POINTER;
  if (!mSite) return E_FAIL;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    auto next = mSettings->Copy();
    const std::int32_t raw = next->mRawFlowChannel;
    const std::uint32_t flags = (raw == mChannel ? 0x1u : 0x40000000u) | 0x1000u;

    ComPtr<IUnits> units;
    std::wstring unitsText;
    if (Succeeded(data->GetUnits(flags, record, raw, units.Put())) && units) units->GetText(&unitsText);
    // A source in units other than volts is reported by the setup dialog; here it counts as volts.
    next->mSourcePrefixExponent = VoltagePrefixExponent(unitsText).value_or(0);

    ComPtr<IUnitsConversion> conversion;
    double fullScale = 0.0;
    if (data->GetUnitsConversion(flags, record, raw, conversion.Put()) == S_OK && conversion &&
        Succeeded(conversion->ValueOfRaw(kFullScaleRaw, flags, &fullScale)))
      next->mLimitValue = next->mHeadScale * fullScale;
    else
      next->mLimitValue = kDefaultLimit;
    next->mOwnChannel = mChannel;
    next->RebuildParameterString();
    mSettings = next;

    if (!mEnumerator || mEnumeratorParameters != mSettings->mParameterString) {
      ComPtr<ICalcEnum> created;
      HRESULT hr = mSite->CreateEnum(L"SpFlowEnum", mSettings->mParameterString.c_str(), created.Put());
      if (Failed(hr)) return hr;
      if (!created) return E_FAIL;
      mEnumerator = created;
      mEnumeratorParameters = mSettings->mParameterString;
    }
    HRESULT hr = S_OK;
    if (Failed(hr = SendUnits(L"L/s", mSettings->mOutputUnitsPrefix, ValueFactor()))) return hr;
    if (Failed(hr = SendLimits(mSettings->mLimitValue, -mSettings->mLimitValue, mSettings->mOutputFormatCode)))
      return hr;

    std::int64_t samples = 0;
    if (Failed(hr = data->GetBlockLength(kBlockInfoFlags, record, raw, &samples))) return hr;
    *ratioNumerator = 1;
    *ratioDenominator = 1;
    *delay = 0;
    *length = samples;
    *last = 0;
    return mEnumerator.CopyTo(enumerator);
  });
}

HRESULT SpFlow::ApplySettings(IPersistObject* settings, Bool16 force) {
  auto* given = dynamic_cast<SpFlowSettings*>(settings);
  if (!given) return E_INVALIDARG;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    given->mOwnChannel = mChannel;
    if (!force && given->SameAs(*mSettings)) return S_FALSE;
    auto next = given->Copy();
    next->RebuildParameterString();
    mSettings = next;
    mEnumerator.Reset();

    OutputDescription d;
    d.sourceChannel = mSettings->mRawFlowChannel;
    d.top = mSettings->mRangeTop;
    d.bottom = mSettings->mRangeBottom;
    d.parameters = mSettings->mParameterString;
    d.units = L"L/s";
    d.prefixCode = mSettings->mOutputUnitsPrefix;
    d.valueFactor = ValueFactor();
    return SendAndApply(d, force != kFalse16);
  });
}

HRESULT SpFlow::ReplaceSettings(IPersistObject* settings) { return ReplaceWithCopy(settings, mSettings); }

HRESULT SpFlow::GetSettings(IPersistObject** settings) { return CopyOut(*mSettings, settings); }

HRESULT SpFlow::GetCapabilities(std::uint32_t* flags) {
  if (!flags) return E_POINTER;
  *flags = kCapabilities;
  return S_OK;
}

HRESULT SpFlow::QueryOtherInterface(const Guid& iid, void** out) {
  if (iid != IFlowHeadCalibration::kIid) return E_NOINTERFACE;
  *out = static_cast<IFlowHeadCalibration*>(this);
  AddRef();
  return S_OK;
}

HRESULT SpFlow::CalibrateHeadScale(IChannelData* data, DataPosition start, DataPosition end, double volume,
                                   double* headScale, double* integral, std::wstring* message) {
  if (!headScale || !integral) return E_POINTER;
  if (!data || !mSettings) return E_FAIL;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    CalibrateBase reader(data, data);
    reader.SetChannel(mSettings->mRawFlowChannel, mChannel);
    reader.SetRange(start, end);
    if (!reader.Validate(message) || !reader.Read()) return S_FALSE;
    reader.Integrate();
    *integral = reader.Integral();
    *headScale = *integral == 0.0 ? 0.0 : std::fabs(volume / *integral);
    return S_OK;
  });
}

}  // namespace Spirometry
