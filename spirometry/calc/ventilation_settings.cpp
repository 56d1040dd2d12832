#include "spirometry/calc/ventilation_settings.h"

#include <cfloat>
#include <locale>
#include <sstream>

#include "host/com/binary_stream.h"
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/calc_enum_base2.h"
#include "spirometry/calc/key_value_text.h"

namespace Spirometry {

namespace {
// A float field set from the command line: any number a float holds.
HRESULT FloatValue(const KeyValueAssignment& a, float& field) {
  double v = field;
  HRESULT hr = a.Ranged(v, -FLT_MAX, FLT_MAX, L"a number");
  if (Succeeded(hr)) field = static_cast<float>(v);
  return hr;
}
}  // namespace

std::wstring ChannelReference(std::int32_t channel) { return L"Ch" + std::to_wstring(std::int64_t{channel} + 1); }

// --- tidal volume -----------------------------------------------------------------------------------------

bool SpTidalVolFields::SameAs(const SpTidalVolFields& o) const {
  return mSourceChannel == o.mSourceChannel && mExpiratoryOnly == o.mExpiratoryOnly && mRangeBottom == o.mRangeBottom &&
         mRangeTop == o.mRangeTop;
}

std::wstring SpTidalVolSettings::PlainExpression(std::int32_t channel) {
  return L"EventInterp(SpTidalVolume(" + ChannelReference(channel) + L",1),0)";
}

HRESULT SpTidalVolSettings::Load(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream in(stream);
    std::int32_t version = 0;
    in.ReadInt32(version);
    if (!in.Ok()) return in.Status();
    if (version > kVersion) return KYM_E_NEWER_VERSION;
    SpTidalVolFields f = *this;
    std::int32_t expiratory = 0;
    in.ReadInt32(f.mSourceChannel);
    if (version >= 2) in.ReadInt32(expiratory);
    in.ReadFloat(f.mRangeBottom).ReadFloat(f.mRangeTop);
    if (version >= 3) {
      in.ReadString(f.mExpression);
      f.mExpiratoryOnly = expiratory != 0;
    } else {
      // Streams before the expression was stored are read as plain tidal volume, whatever flag they hold.
      f.mExpiratoryOnly = false;
      f.mExpression = PlainExpression(f.mSourceChannel);
    }
    if (!in.Ok()) return in.Status();
    static_cast<SpTidalVolFields&>(*this) = std::move(f);
    return S_OK;
  });
}

HRESULT SpTidalVolSettings::Save(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream out(stream);
    out.WriteInt32(kVersion)
        .WriteInt32(mSourceChannel)
        .WriteInt32(mExpiratoryOnly ? 1 : 0)
        .WriteFloat(mRangeBottom)
        .WriteFloat(mRangeTop)
        .WriteString(mExpression);
    return out.Status();
  });
}

HRESULT SpTidalVolSettings::GetClassId(Guid* classId) {
  if (!classId) return E_POINTER;
  *classId = kSpTidalVolClassId;
  return S_OK;
}

HRESULT SpTidalVolSettings::SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const KeyValueAssignment a(key, value, error);
    if (a.Is(L"source")) return a.Channel(mSourceChannel);
    if (a.Is(L"expiratory")) return a.Switch(mExpiratoryOnly);
    if (a.Is(L"top")) return FloatValue(a, mRangeTop);
    if (a.Is(L"bottom")) return FloatValue(a, mRangeBottom);
    return a.Unknown(L"SpTidalVolCalculation", L"source, expiratory, top, bottom");
  });
}

HRESULT SpTidalVolSettings::Describe(std::wstring* text) {
  if (!text) return E_POINTER;
  return CalcEnums::AtBoundary([&] {
    *text = L"source=" + ChannelText(mSourceChannel) + L" expiratory=" + SwitchText(mExpiratoryOnly) + L" top=" +
            NumberText(mRangeTop) + L" bottom=" + NumberText(mRangeBottom);
    return S_OK;
  });
}

// --- minute ventilation -----------------------------------------------------------------------------------

bool SpMinVentFields::SameAs(const SpMinVentFields& o) const {
  return mSourceChannel == o.mSourceChannel && mUpdateInterval == o.mUpdateInterval && mRangeBottom == o.mRangeBottom &&
         mRangeTop == o.mRangeTop;
}

std::wstring SpMinVentFields::Expression() const {
  // The interval as a wide stream writes it by default (60 gives "60").
  std::wostringstream interval;
  interval.imbue(std::locale::classic());
  interval << mUpdateInterval;
  const std::wstring ch = ChannelReference(mSourceChannel);
  return L"-60.0 * decimatesec(" + ch + L"*(1-threshold(" + ch + L",0))," + interval.str() + L")";
}

HRESULT SpMinVentSettings::Load(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream in(stream);
    std::int32_t version = 0;
    in.ReadInt32(version);
    if (!in.Ok()) return in.Status();
    if (version > kVersion) return KYM_E_NEWER_VERSION;
    SpMinVentFields f = *this;
    in.ReadInt32(f.mSourceChannel).ReadDouble(f.mUpdateInterval).ReadFloat(f.mRangeBottom).ReadFloat(f.mRangeTop);
    if (!in.Ok()) return in.Status();
    static_cast<SpMinVentFields&>(*this) = f;
    return S_OK;
  });
}

HRESULT SpMinVentSettings::Save(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream out(stream);
    out.WriteInt32(kVersion)
        .WriteInt32(mSourceChannel)
        .WriteDouble(mUpdateInterval)
        .WriteFloat(mRangeBottom)
        .WriteFloat(mRangeTop);
    return out.Status();
  });
}

HRESULT SpMinVentSettings::GetClassId(Guid* classId) {
  if (!classId) return E_POINTER;
  *classId = kSpMinVentClassId;
  return S_OK;
}

HRESULT SpMinVentSettings::SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const KeyValueAssignment a(key, value, error);
    if (a.Is(L"source")) return a.Channel(mSourceChannel);
    if (a.Is(L"interval"))
      return a.Ranged(mUpdateInterval, kUpdateIntervalMin, kUpdateIntervalMax, L"an interval in seconds");
    if (a.Is(L"top")) return FloatValue(a, mRangeTop);
    if (a.Is(L"bottom")) return FloatValue(a, mRangeBottom);
    return a.Unknown(L"SpMinVentCalculation", L"source, interval, top, bottom");
  });
}

HRESULT SpMinVentSettings::Describe(std::wstring* text) {
  if (!text) return E_POINTER;
  return CalcEnums::AtBoundary([&] {
    *text = L"source=" + ChannelText(mSourceChannel) + L" interval=" + NumberText(mUpdateInterval) + L" top=" +
            NumberText(mRangeTop) + L" bottom=" + NumberText(mRangeBottom);
    return S_OK;
  });
}

}  // namespace Spirometry
