#pragma once
// The host's side of one calculated channel: what the calculation told the host about its output.
#include <string>
#include <vector>

#include "host/calc/icalc_site.h"
#include "host/calc/ichannel_calc.h"
#include "host/com/com_object.h"

namespace kymora {

class ChannelData;
class CalcSite;

struct CalcBinding {
  ComPtr<IChannelCalc> calc;
  ComPtr<CalcSite> site;
  Guid classId;
  std::wstring className;
  std::vector<CCalcEnumSourceInfo> sources;
  std::wstring parameters;
  double scale = 1.0;  // raw -> units, raw ±32000 spanning the output range
  double offset = 0.0;
  std::wstring units;  // without prefix
  std::int32_t prefixCode = 8;
  double valueFactor = 1.0;
  double top = 0.0, bottom = 0.0;
  std::int32_t formatCode = 0;
  bool applied = false;

  std::wstring UnitsText() const;
};

class CalcSite final : public ComObject<ICalcSite> {
 public:
  CalcSite(ChannelData* owner, std::int32_t channel) : mOwner(owner), mChannel(channel) {}
  // The owner is going away: later calls fail.
  void Detach() { mOwner = nullptr; }

  HRESULT GetChannelData(IChannelData** data) override;
  HRESULT GetClassName(std::wstring* name) override;
  HRESULT Rebind(const wchar_t* className) override;
  HRESULT SetSources(std::int32_t count, const CCalcEnumSourceInfo* sources) override;
  HRESULT SetOutputScaling(double scale, double offset) override;
  HRESULT SetParameterString(const wchar_t* text) override;
  HRESULT SetOutputUnits(const wchar_t* units, std::int32_t prefixCode, double valueFactor) override;
  HRESULT SetOutputLimits(double top, double bottom, std::int32_t formatCode) override;
  HRESULT Apply(std::uint32_t flags) override;
  HRESULT CreateEnum(const wchar_t* className, const wchar_t* parameters, ICalcEnum** out) override;
  HRESULT ShowMessage(const wchar_t* text, const wchar_t* caption, std::uint32_t style) override;
  HRESULT GetChannel(std::int32_t* channel) override;

 private:
  CalcBinding* Binding() const;
  ChannelData* mOwner;
  std::int32_t mChannel;
};

}  // namespace kymora
