#pragma once
// The flow calculation: a calculated channel of litres per second from the voltage of a flow head. It owns
// its settings, turns them into the flow parameter text and tells the host the source channel, the units
// and the output range; the host creates an SpFlowEnum per record from that text.
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/channel_calc_base.h"
#include "spirometry/calc/iflow_head_calibration.h"
#include "spirometry/calc/sp_flow_settings.h"

namespace Spirometry {

class SpFlow final : public ChannelCalcBase, public IFlowHeadCalibration {
 public:
  static constexpr Guid kClassId = kSpFlowClassId;
  static constexpr const wchar_t* kClassName = L"SpFlow";
  static constexpr const wchar_t* kDisplayName = L"Spirometry Flow";
  static constexpr std::uint32_t kCapabilities = 0x50000000;
  using Settings = SpFlowSettings;

  explicit SpFlow(ICalcSite* site);

  // IUnknown, one for both faces.
  HRESULT QueryInterface(const Guid& iid, void** out) override { return ChannelCalcBase::QueryInterface(iid, out); }
  std::uint32_t AddRef() override { return ChannelCalcBase::AddRef(); }
  std::uint32_t Release() override { return ChannelCalcBase::Release(); }

  HRESULT PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator, std::int64_t* ratioNumerator,
                        std::int64_t* ratioDenominator, std::int64_t* delay, std::int64_t* length,
                        std::int32_t* last) override;
  HRESULT ApplySettings(IPersistObject* settings, Bool16 force) override;
  HRESULT ReplaceSettings(IPersistObject* settings) override;
  HRESULT GetSettings(IPersistObject** settings) override;
  HRESULT GetCapabilities(std::uint32_t* flags) override;

  // IFlowHeadCalibration
  HRESULT CalibrateHeadScale(IChannelData* data, DataPosition start, DataPosition end, double volume, double* headScale,
                             double* integral, std::wstring* message) override;

  // The settings in use (never null). Replaced whole, never edited in place.
  const SpFlowSettings& CurrentSettings() const { return *mSettings; }

 protected:
  HRESULT QueryOtherInterface(const Guid& iid, void** out) override;

 private:
  // L/s in the output prefix, and the source's voltage prefix undone (the enumerator works in source units).
  double ValueFactor() const;

  ComPtr<SpFlowSettings> mSettings;
  // The enumerator handed out last and its parameter text. Every reader of the channel is a clone of it
  // while the text stays the same, so the readers share the flow they compute (see RecentFlow).
  ComPtr<ICalcEnum> mEnumerator;
  std::wstring mEnumeratorParameters;
};

}  // namespace Spirometry
