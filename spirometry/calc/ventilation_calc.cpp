#include "spirometry/calc/ventilation_calc.h"

#include "host/calc/icalc_enum.h"
#include "host/data/ichannel_data.h"
#include "host/data/iunits.h"
#include "host/expr/idetector_settings.h"
#include "host/expr/iexpression_engine.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr std::uint32_t kOwnUnitsFlags = 0x2001;
constexpr std::uint32_t kOtherUnitsFlags = 0x40002000;
constexpr std::int32_t kRangeFormatCode = 2;
constexpr std::int32_t kNoPrefix = 8;

bool EndsWith(const std::wstring& text, std::wstring_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
}  // namespace

// --- shared -----------------------------------------------------------------------------------------------

std::wstring VentilationCalcBase::SourceUnits(IChannelData* data, std::int32_t record) const {
  const std::int32_t source = SourceChannel();
  const std::uint32_t flags = source == mChannel ? kOwnUnitsFlags : kOtherUnitsFlags;
  ComPtr<IUnits> units;
  std::wstring text;
  if (data && Succeeded(data->GetUnits(flags, record, source, units.Put())) && units) units->GetText(&text);
  return text;
}

HRESULT VentilationCalcBase::PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator,
                                           std::int64_t* ratioNumerator, std::int64_t* ratioDenominator,
                                           std::int64_t* delay, std::int64_t* length, std::int32_t* last) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  if (!data || !ratioNumerator || !ratioDenominator || !delay || !length || !last) return E_POINTER;
  if (!mSite) return E_FAIL;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const std::wstring units = SourceUnits(data, record);
    const std::wstring expression = Expression();
    if (!mEnumerator || units != mEnumeratorUnits || expression != mEnumeratorExpression) {
      ComPtr<ICalcEnum> created;
      HRESULT hr = mSite->CreateEnum(L"TidalVolEnum", expression.c_str(), created.Put());
      if (Failed(hr)) return hr;
      if (!created) return E_FAIL;
      mEnumerator = created;
      mEnumeratorUnits = units;
      mEnumeratorExpression = expression;
    }
    HRESULT hr = SendUnits(OutputUnits(units), kNoPrefix, 1.0);
    if (Failed(hr)) return hr;
    if (Failed(hr = SendLimits(RangeTop(), RangeBottom(), kRangeFormatCode))) return hr;
    std::int64_t samples = 0;
    double secsPerTick = 0;
    const HRESULT lengthResult = data->GetBlockLength(kBlockInfoFlags, record, SourceChannel(), &samples);
    const HRESULT timingResult = data->GetSecsPerTick(kBlockInfoFlags, record, SourceChannel(), &secsPerTick);
    *ratioNumerator = 1;
    *ratioDenominator = 1;
    *delay = 0;
    *length = samples;
    *last = INT32_MIN;
    if (Failed(lengthResult)) return lengthResult;
    if (Failed(timingResult)) return timingResult;
    return mEnumerator.CopyTo(enumerator);
  });
}

HRESULT VentilationCalcBase::Declare(bool force) {
  mEnumerator.Reset();
  ComPtr<IChannelData> data;
  if (mSite) mSite->GetChannelData(data.Put());
  OutputDescription d;
  d.sourceChannel = SourceChannel();
  d.top = RangeTop();
  d.bottom = RangeBottom();
  d.parameters = Expression();
  // The units as the source has them in the first block, so that the channel shows them before it is read.
  d.units = OutputUnits(SourceUnits(data.Get(), 0));
  d.prefixCode = kNoPrefix;
  d.valueFactor = 1.0;
  return SendAndApply(d, force);
}

// --- tidal volume -----------------------------------------------------------------------------------------

SpTidalVolCalculation::SpTidalVolCalculation(ICalcSite* site)
    : VentilationCalcBase(site), mSettings(MakeCom<SpTidalVolSettings>()) {
  mSettings->mSourceChannel = mChannel;
}

std::wstring SpTidalVolCalculation::UnitsFor(const std::wstring& sourceUnits) {
  if (EndsWith(sourceUnits, L"/s")) return sourceUnits.substr(0, sourceUnits.size() - 2);
  if (EndsWith(sourceUnits, L"/min")) return sourceUnits.substr(0, sourceUnits.size() - 4);
  return sourceUnits;
}

HRESULT SpTidalVolCalculation::BuildExpression(const SpTidalVolFields& f, std::wstring* expression) const {
  const std::wstring ch = ChannelReference(f.mSourceChannel);
  if (!f.mExpiratoryOnly) {
    *expression = SpTidalVolSettings::PlainExpression(f.mSourceChannel);
    return S_OK;
  }
  // The breaths of a flow without inspiration are bounded by the host's cycle detector over the flow.
  ComPtr<IChannelData> data;
  if (!mSite || Failed(mSite->GetChannelData(data.Put())) || !data) return E_FAIL;
  ComPtr<IExpressionEngine2> engine;
  HRESULT hr = data->QueryInterface(IExpressionEngine2::kIid, engine.PutVoid());
  if (Failed(hr) || !engine) return Failed(hr) ? hr : E_NOINTERFACE;
  ComPtr<IDetectorSettings> detector;
  if (Failed(hr = engine->CreateDetectorSettings(detector.Put())) || !detector) return Failed(hr) ? hr : E_FAIL;
  detector->SetDefaults();
  if (Failed(hr = detector->SetParameter(8, 8.0)) || Failed(hr = detector->SetParameter(9, 0.0)) ||
      Failed(hr = detector->SetParameter(3, 0.5)) || Failed(hr = detector->SetParameter(5, 0.5)))
    return hr;
  std::wstring boundaries;
  if (Failed(hr = detector->GetText(ch.c_str(), 0, -1, kBlockInfoFlags, &boundaries))) return hr;
  *expression = L"Eventinterp(SpTidVolExp(" + ch + L"," + boundaries + L"))";
  return S_OK;
}

HRESULT SpTidalVolCalculation::ApplySettings(IPersistObject* settings, Bool16 force) {
  auto* given = dynamic_cast<SpTidalVolSettings*>(settings);
  if (!given) return E_INVALIDARG;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    if (!force && given->SameAs(*mSettings)) return S_FALSE;
    auto next = given->Copy();
    HRESULT hr = BuildExpression(*next, &next->mExpression);
    if (Failed(hr)) {
      // Stored settings are applied channel by channel as a file opens, possibly before the flow channel
      // can tell its range: an expiratory expression already built over the same flow stays.
      const std::wstring built = L"Eventinterp(SpTidVolExp(" + ChannelReference(next->mSourceChannel) + L",";
      if (!next->mExpiratoryOnly || given->mExpression.rfind(built, 0) != 0) return hr;
      next->mExpression = given->mExpression;
    }
    mSettings = next;
    return Declare(force != kFalse16);
  });
}

HRESULT SpTidalVolCalculation::GetCapabilities(std::uint32_t* flags) {
  if (!flags) return E_POINTER;
  *flags = kCapabilities;
  return S_OK;
}

// --- minute ventilation -----------------------------------------------------------------------------------

SpMinVentCalculation::SpMinVentCalculation(ICalcSite* site)
    : VentilationCalcBase(site), mSettings(MakeCom<SpMinVentSettings>()) {
  mSettings->mSourceChannel = mChannel;
}

std::wstring SpMinVentCalculation::UnitsFor(const std::wstring& sourceUnits) {
  if (EndsWith(sourceUnits, L"/s")) return sourceUnits.substr(0, sourceUnits.size() - 2) + L"/min";
  return sourceUnits;
}

HRESULT SpMinVentCalculation::ApplySettings(IPersistObject* settings, Bool16 force) {
  auto* given = dynamic_cast<SpMinVentSettings*>(settings);
  if (!given) return E_INVALIDARG;
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    if (!force && given->SameAs(*mSettings)) return S_FALSE;
    mSettings = given->Copy();
    return Declare(force != kFalse16);
  });
}

HRESULT SpMinVentCalculation::GetCapabilities(std::uint32_t* flags) {
  if (!flags) return E_POINTER;
  *flags = kCapabilities;
  return S_OK;
}

}  // namespace Spirometry
