#include "spirometry/calc/sp_vol_settings.h"

#include <algorithm>
#include <cmath>

#include "host/com/binary_stream.h"
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/calc_enum_base2.h"
#include "spirometry/calc/key_value_text.h"
#include "spirometry/calc/parameter_text.h"

namespace Spirometry {

namespace {
constexpr std::int32_t kEndMarker = 0x000F1206;
constexpr std::int64_t kHighestStoredChannel = 256;

bool Within(double v, double lo, double hi) { return v >= lo && v <= hi; }

// Damage can store a NaN; it takes the default rather than spreading through the volume.
double ClampOr(double v, double lo, double hi, double fallback) {
  return std::isnan(v) ? fallback : std::clamp(v, lo, hi);
}
}  // namespace

SpVolSettings::SpVolSettings(const SpVolFields& fields) : SpVolFields(fields) {
  mStoredDeadSpace = mDeadSpace;
  mStoredVolumeRatio = mVolumeRatio;
}

bool SpVolFields::SameAs(const SpVolFields& o) const {
  return mVolumeCorrection == o.mVolumeCorrection && mCorrectionType == o.mCorrectionType &&
         mResetAtEndOfExpiration == o.mResetAtEndOfExpiration && mFlowChannel == o.mFlowChannel &&
         mOwnChannel == o.mOwnChannel && mUnitsText == o.mUnitsText && mOutputFormatCode == o.mOutputFormatCode &&
         mOutputUnitsPrefix == o.mOutputUnitsPrefix && mParameterString == o.mParameterString &&
         mDeadSpace == o.mDeadSpace && std::fabs(mVolumeRatio - o.mVolumeRatio) < 1e-6;
}

void SpVolFields::RebuildParameterString() {
  ParameterTextWriter w;
  w.Field(mVolumeCorrection).Field(mDeadSpace).Field(mVolumeRatio).Field(mResetAtEndOfExpiration);
  mParameterString = w.Text();
}

bool SpVolFields::StoredValuesWereClamped() const {
  return (!Within(mStoredDeadSpace, kDeadSpaceMin, kDeadSpaceMax) ||
          !Within(mStoredVolumeRatio, kVolumeRatioMin, kVolumeRatioMax)) &&
         mStoredVolumeRatio != 0.0;
}

HRESULT SpVolSettings::Load(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream in(stream);
    std::int32_t version = 0;
    in.ReadInt32(version);
    if (!in.Ok()) return E_FAIL;
    if (version > kVersion) return KYM_E_NEWER_VERSION;
    if (version < 1) return E_FAIL;

    SpVolFields f = *this;
    std::uint8_t channel = 0, correction = 0;
    float deadSpace = 0.0f, ratio = 0.0f;
    in.ReadByte(channel).ReadByte(correction).ReadFloat(deadSpace).ReadFloat(ratio);
    if (!in.Ok()) return E_FAIL;
    f.mFlowChannel = channel;
    f.mVolumeCorrection = correction == 1;
    f.mStoredDeadSpace = deadSpace;
    f.mDeadSpace = ClampOr(deadSpace, kDeadSpaceMin, kDeadSpaceMax, kDefaultDeadSpace);
    if (ratio != 0.0f) {
      f.mStoredVolumeRatio = ratio;
      f.mVolumeRatio = ClampOr(ratio, kVolumeRatioMin, kVolumeRatioMax, kDefaultVolumeRatio);
    } else {
      f.mVolumeRatio = 0.0;
    }
    if (version >= 3) {
      std::uint8_t reset = 0;
      in.ReadByte(reset);
      if (!in.Ok()) return E_FAIL;
      f.mResetAtEndOfExpiration = reset == 1;
    }
    // Files from before the choice existed computed the ratio from a full expiration.
    f.mCorrectionType = static_cast<std::int32_t>(CorrectionType::kFullExpiration);
    if (version >= 4) {
      in.ReadInt32(f.mCorrectionType);
      if (!in.Ok()) return E_FAIL;
    }
    if (version >= 2) {
      in.ReadDouble(f.mRangeTop).ReadDouble(f.mRangeBottom);
      if (!in.Ok()) return E_FAIL;
      // Only the end marker passes the stream's own failure on.
      std::int32_t marker = 0;
      in.ReadInt32(marker);
      if (!in.Ok()) return in.Status();
      if (marker != kEndMarker) return E_FAIL;
    }
    static_cast<SpVolFields&>(*this) = std::move(f);
    return S_OK;
  });
}

HRESULT SpVolSettings::Save(IStream* stream) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    BinaryStream out(stream);
    out.WriteInt32(kVersion)
        .WriteByte(static_cast<std::uint8_t>(static_cast<std::uint32_t>(mFlowChannel) & 0xFFu))
        .WriteByte(mVolumeCorrection ? 1 : 0)
        .WriteFloat(static_cast<float>(mDeadSpace))
        .WriteFloat(static_cast<float>(mVolumeRatio))
        .WriteByte(mResetAtEndOfExpiration ? 1 : 0)
        .WriteInt32(mCorrectionType)
        .WriteDouble(mRangeTop)
        .WriteDouble(mRangeBottom)
        .WriteInt32(kEndMarker);
    return out.Status();
  });
}

HRESULT SpVolSettings::GetClassId(Guid* classId) {
  if (!classId) return E_POINTER;
  *classId = kSpVolClassId;
  return S_OK;
}

HRESULT SpVolSettings::SetValue(const wchar_t* keyText, const wchar_t* valueText, std::wstring* error) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const std::wstring_view key = keyText ? keyText : L"";
    const std::wstring_view value = valueText ? valueText : L"";
    auto refuse = [&](std::wstring why) {
      if (error) *error = std::move(why);
      return E_INVALIDARG;
    };
    auto setSwitch = [&](bool& field) {
      auto on = ParseSwitch(value);
      if (!on) return refuse(std::wstring(key) + L" takes on or off, not '" + std::wstring(value) + L"'");
      field = *on;
      return S_OK;
    };
    auto setRanged = [&](double& field, double lo, double hi, const wchar_t* what) {
      auto v = ParseNumber(value);
      if (!v || !Within(*v, lo, hi))
        return refuse(std::wstring(key) + L" takes " + what + L" from " + NumberText(lo) + L" to " + NumberText(hi) +
                      L", not '" + std::wstring(value) + L"'");
      field = *v;
      return S_OK;
    };

    if (key == L"source") {
      auto n = ParseWholeNumber(value);
      if (!n || *n < 1 || *n > kHighestStoredChannel)
        return refuse(L"source takes a channel number from 1 to 256, not '" + std::wstring(value) + L"'");
      mFlowChannel = static_cast<std::int32_t>(*n - 1);
      return S_OK;
    }
    if (key == L"correction") return setSwitch(mVolumeCorrection);
    if (key == L"reset") return setSwitch(mResetAtEndOfExpiration);
    if (key == L"dead-space") return setRanged(mDeadSpace, kDeadSpaceMin, kDeadSpaceMax, L"a volume in mL");
    if (key == L"ratio") return setRanged(mVolumeRatio, kVolumeRatioMin, kVolumeRatioMax, L"a volume ratio");
    if (key == L"type") {
      if (value == L"normal")
        mCorrectionType = static_cast<std::int32_t>(CorrectionType::kNormalBreaths);
      else if (value == L"full")
        mCorrectionType = static_cast<std::int32_t>(CorrectionType::kFullExpiration);
      else
        return refuse(L"type takes normal or full, not '" + std::wstring(value) + L"'");
      return S_OK;
    }
    if (key == L"top" || key == L"bottom") {
      auto v = ParseNumber(value);
      if (!v) return refuse(std::wstring(key) + L" takes a number, not '" + std::wstring(value) + L"'");
      (key == L"top" ? mRangeTop : mRangeBottom) = *v;
      return S_OK;
    }
    return refuse(L"SpVol has no setting '" + std::wstring(key) +
                  L"' (it has source, correction, dead-space, ratio, reset, type, top, bottom)");
  });
}

HRESULT SpVolSettings::Describe(std::wstring* text) {
  if (!text) return E_POINTER;
  return CalcEnums::AtBoundary([&] {
    const bool full = mCorrectionType == static_cast<std::int32_t>(CorrectionType::kFullExpiration);
    *text = L"source=" + ChannelText(mFlowChannel) + L" correction=" + SwitchText(mVolumeCorrection) +
            L" dead-space=" + NumberText(mDeadSpace) + L" ratio=" + NumberText(mVolumeRatio) +
            L" reset=" + SwitchText(mResetAtEndOfExpiration) + L" type=" + (full ? L"full" : L"normal") +
            L" top=" + NumberText(mRangeTop) + L" bottom=" + NumberText(mRangeBottom);
    return S_OK;
  });
}

}  // namespace Spirometry
