#pragma once
// The settings of the volume calculation (SpVol::Settings): the flow channel integrated, the volume
// correction (dead space, volume ratio, how the ratio is found), the reset at the end of each expiration,
// and the output channel's range and units. Persisted with the channel.
#include <string>

#include "host/calc/ikey_value_settings.h"
#include "host/com/com_object.h"
#include "host/com/ipersist_object.h"
#include "spirometry/calc/channel_calc_base.h"

namespace Spirometry {

// How the volume ratio is computed from a selection.
enum class CorrectionType : std::int32_t { kNormalBreaths = 0, kFullExpiration = 1 };

constexpr double kDeadSpaceMin = 0.0, kDeadSpaceMax = 10000.0, kDefaultDeadSpace = 400.0;
constexpr double kVolumeRatioMin = 0.01, kVolumeRatioMax = 10.0, kDefaultVolumeRatio = 1.0;

struct SpVolFields {
  bool mVolumeCorrection = false;
  bool mResetAtEndOfExpiration = false;
  double mDeadSpace = kDefaultDeadSpace;            // mL, within 0..10000
  double mVolumeRatio = kDefaultVolumeRatio;        // within 0.01..10, or exactly 0.0
  double mStoredDeadSpace = kDefaultDeadSpace;      // as last stored or applied, before clamping
  double mStoredVolumeRatio = kDefaultVolumeRatio;  // as last stored or applied, before clamping
  std::int32_t mFlowChannel = kNoChannel;
  std::int32_t mOwnChannel = kNoChannel;
  std::int32_t mCorrectionType = 0;  // CorrectionType
  std::wstring mUnitsText = L"L";
  std::int32_t mOutputFormatCode = 3;
  double mRangeTop = 4.0;
  double mRangeBottom = -2.0;
  std::wstring mParameterString;  // as last built, with its closing NUL
  std::int32_t mOutputUnitsPrefix = 8;

  bool SameAs(const SpVolFields& other) const;
  void RebuildParameterString();
  // True when the values stored before clamping were out of range, so that the user must be told.
  bool StoredValuesWereClamped() const;
};

class SpVolSettings final : public ComObject<IPersistObject, IKeyValueSettings>, public SpVolFields {
 public:
  static constexpr std::int32_t kVersion = 4;

  SpVolSettings() = default;
  // A copy's stored values are the copied (clamped) ones.
  explicit SpVolSettings(const SpVolFields& fields);
  ComPtr<SpVolSettings> Copy() const { return MakeCom<SpVolSettings>(static_cast<const SpVolFields&>(*this)); }

  // IPersistObject. Load changes nothing unless the whole stream is read.
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream) override;
  HRESULT GetClassId(Guid* classId) override;

  // IKeyValueSettings: source, correction, dead-space, ratio, reset, type, top, bottom.
  HRESULT SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) override;
  HRESULT Describe(std::wstring* text) override;
};

}  // namespace Spirometry
