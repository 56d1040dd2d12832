#pragma once
// The volume calculation: a calculated channel of volume integrated from a flow channel, with dead-space
// and volume-ratio correction. The host creates an SpVolEnum per record from its parameter text; SpVol
// keeps that enumerator while nothing it depends on changes, so that the clones the host makes for its
// readers share one checkpoint table. Its second face, ISpiroCalculations, serves the document and dialogs.
#include <optional>
#include <vector>

#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/channel_calc_base.h"
#include "spirometry/calc/ispiro_calculations.h"
#include "spirometry/calc/sp_vol_settings.h"

struct ICalcEnum;

namespace Spirometry {

class SpVol final : public ChannelCalcBase, public ISpiroCalculations {
 public:
  static constexpr Guid kClassId = kSpVolClassId;
  static constexpr const wchar_t* kClassName = L"SpVol";
  static constexpr const wchar_t* kDisplayName = L"Spirometry Volume";
  static constexpr std::uint32_t kCapabilities = 0x10000000;
  using Settings = SpVolSettings;

  explicit SpVol(ICalcSite* site);

  // IUnknown, one for both faces.
  HRESULT QueryInterface(const Guid& iid, void** out) override { return ChannelCalcBase::QueryInterface(iid, out); }
  std::uint32_t AddRef() override { return ChannelCalcBase::AddRef(); }
  std::uint32_t Release() override { return ChannelCalcBase::Release(); }

  // IChannelCalc
  HRESULT PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator, std::int64_t* ratioNumerator,
                        std::int64_t* ratioDenominator, std::int64_t* delay, std::int64_t* length,
                        std::int32_t* last) override;
  HRESULT ApplySettings(IPersistObject* settings, Bool16 force) override;
  HRESULT ReplaceSettings(IPersistObject* settings) override;
  HRESULT GetSettings(IPersistObject** settings) override;
  HRESULT GetCapabilities(std::uint32_t* flags) override;

  // ISpiroCalculations
  HRESULT SetVolumeCorrection(Bool16 on) override;
  HRESULT GetVolumeCorrection(Bool16* on) override;
  HRESULT SwitchOffVolumeCorrection() override;
  HRESULT ComputeRatioFromSelection(IChannelData* document, DataPosition start, DataPosition end) override;
  HRESULT GetFlowChannel(std::int32_t* channel) override;
  HRESULT GetOwnChannel(std::int32_t* channel) override;

  const SpVolSettings& CurrentSettings() const { return *mSettings; }

 protected:
  HRESULT QueryOtherInterface(const Guid& iid, void** out) override;

 private:
  // Settings stored out of range were clamped on loading: the user is told once, when they are applied.
  void ShowClampNotice();
  // The unit prefix code of the volume of the flow channel as its first record gives it: a volume is in
  // the litre prefix of its flow. Nothing when the flow's units cannot be had.
  std::optional<std::int32_t> FlowVolumePrefix() const;

  ComPtr<SpVolSettings> mSettings;
  // The enumerator handed out for the last record and what it was made for: the source's units and
  // prefix, the parameter text, and the settings of the source's own calculation (its checkpoints are
  // only valid for the flow they were integrated from).
  ComPtr<ICalcEnum> mEnumerator;
  std::wstring mEnumeratorUnits;
  std::int32_t mEnumeratorPrefix = 0;
  std::wstring mEnumeratorParameters;
  std::vector<std::uint8_t> mEnumeratorSource;
};

}  // namespace Spirometry
