#pragma once
// The settings of the flow calculation (SpFlow::Settings): which channel holds the flow-head voltage, how
// it becomes litres per second, and the output channel's range and units. Persisted with the channel.
#include <string>

#include "host/calc/ikey_value_settings.h"
#include "host/com/com_object.h"
#include "host/com/ipersist_object.h"
#include "spirometry/calc/channel_calc_base.h"
#include "spirometry/calc/flow_head_presets.h"

namespace Spirometry {

// The values, copyable as a whole.
struct SpFlowFields {
  bool mDriftCorrection = false;
  std::int32_t mRawFlowChannel = kNoChannel;  // zero-based channel of the flow-head voltage
  std::int32_t mOwnChannel = kNoChannel;      // the channel carrying the calculation; set by SpFlow
  std::int32_t mPresetIndex = kDefaultFlowHeadPreset;
  bool mApplyNonLinear = false;
  bool mUseCustomHeadScale = false;
  double mHeadScale = 0.0;  // L/s per V: the last preset's or calibrated scale; used when custom
  std::wstring mUnitsText = L"L/s";
  std::int32_t mOutputFormatCode = 3;
  double mRangeTop = 20.0;
  double mRangeBottom = -20.0;
  std::int32_t mSourcePrefixExponent = 0;  // of the source's units, found when a record is prepared
  std::wstring mParameterString;           // as last built, with its closing NUL
  double mLimitValue = 0.0;                // head scale × the source's full scale; not persisted
  double mNoiseFloor = 0.0;                // L/s
  bool mApplyNoiseFloor = false;
  std::int32_t mOutputUnitsPrefix = 8;  // unit prefix code: 6 µL/s, 7 mL/s, 8 L/s

  // Equal for the purpose of applying again: a no-op.
  bool SameAs(const SpFlowFields& other) const;
  // Writes the current fields into mParameterString.
  void RebuildParameterString();
};

class SpFlowSettings final : public ComObject<IPersistObject, IKeyValueSettings2>, public SpFlowFields {
 public:
  static constexpr std::int32_t kVersion = 3;

  SpFlowSettings() = default;
  explicit SpFlowSettings(const SpFlowFields& fields) : SpFlowFields(fields) {}
  ComPtr<SpFlowSettings> Copy() const { return MakeCom<SpFlowSettings>(static_cast<const SpFlowFields&>(*this)); }

  // IPersistObject. Load changes nothing unless the whole stream is read.
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream) override;
  HRESULT GetClassId(Guid* classId) override;

  // IKeyValueSettings: source, preset, scale, drift, nonlinear, noise-floor, noise-clamp, prefix, top, bottom.
  HRESULT SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) override;
  HRESULT Describe(std::wstring* text) override;
  // IKeyValueSettings2: a custom flow head needs a head scale (the default settings have none).
  HRESULT CheckWhole(std::wstring* error) override;

 private:
  double EffectiveHeadScale() const;
};

}  // namespace Spirometry
