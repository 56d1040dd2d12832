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

HRESULT SpVolSettings::SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) {
  return CalcEnums::AtBoundary([&]() -> HRESULT {
    const KeyValueAssignment a(key, value, error);
    if (a.Is(L"source")) return a.Channel(mFlowChannel);
    if (a.Is(L"correction")) return a.Switch(mVolumeCorrection);
    if (a.Is(L"reset")) return a.Switch(mResetAtEndOfExpiration);
    if (a.Is(L"dead-space")) return a.Ranged(mDeadSpace, kDeadSpaceMin, kDeadSpaceMax, L"a volume in mL");
    if (a.Is(L"ratio")) return a.Ranged(mVolumeRatio, kVolumeRatioMin, kVolumeRatioMax, L"a volume ratio");
    if (a.Is(L"type")) {
      if (a.Value() == L"normal")
        mCorrectionType = static_cast<std::int32_t>(CorrectionType::kNormalBreaths);
      else if (a.Value() == L"full")
        mCorrectionType = static_cast<std::int32_t>(CorrectionType::kFullExpiration);
      else
        return a.Refuse(L"normal or full");
      return S_OK;
    }
    if (a.Is(L"top")) return a.Number(mRangeTop);
    if (a.Is(L"bottom")) return a.Number(mRangeBottom);
    return a.Unknown(L"SpVol", L"source, correction, dead-space, ratio, reset, type, top, bottom");
  });
}

HRESULT SpVolSettings::Describe(std::wstring* text) {
  if (!text) return E_POINTER;
  return CalcEnums::AtBoundary([&] {
    const bool full = mCorrectionType == static_cast<std::int32_t>(CorrectionType::kFullExpiration);
    *text = L"source=" + ChannelText(mFlowChannel) + L" correction=" + SwitchText(mVolumeCorrection) + L" dead-space=" +
            NumberText(mDeadSpace) + L" ratio=" + NumberText(mVolumeRatio) + L" reset=" +
            SwitchText(mResetAtEndOfExpiration) + L" type=" + (full ? L"full" : L"normal") + L" top=" +
            NumberText(mRangeTop) + L" bottom=" + NumberText(mRangeBottom);
    return S_OK;
  });
}

}  // namespace Spirometry
