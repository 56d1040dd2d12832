#pragma once
// Shared base of the extension's channel calculations: IChannelCalc over the host's ICalcSite. It keeps the
// channel the calculation is on, the host site, and the output scaling derived from the output range, and
// it tells the host about the output in the order the host expects when settings are applied.
#include <string>

#include "host/calc/icalc_site.h"
#include "host/calc/ichannel_calc.h"
#include "host/com/com_object.h"
#include "spirometry/calc/calc_enum_base2.h"

namespace Spirometry {

constexpr std::int32_t kNoChannel = INT32_MIN;

// What a calculation declares about its output when its settings are applied.
struct OutputDescription {
  std::int32_t sourceChannel = kNoChannel;
  double top = 0.0;  // output range mapped onto raw ±32000
  double bottom = 0.0;
  std::wstring parameters;  // the enumerators' parameter text
  std::wstring units;       // without prefix
  std::int32_t prefixCode = 8;
  double valueFactor = 1.0;  // the host multiplies each enumerator sample by it
};

class ChannelCalcBase : public ComObject<IChannelCalc> {
 public:
  HRESULT GetSite(ICalcSite** site) override;
  std::int32_t Channel() const { return mChannel; }

  // Read flags of a source: its recorded samples when it is the calculation's own channel (a flow
  // calculation on the channel that records the flow-head voltage), otherwise as the user sees it.
  static std::uint32_t SourceFlags(std::int32_t source, std::int32_t own);

 protected:
  // Takes the channel from the site.
  explicit ChannelCalcBase(ICalcSite* site);

  // Tells the host the class (rebinding when forced), the source, the scaling, the parameter text and the
  // units, then asks it to apply the calculation. Returns the host's result of the application.
  HRESULT SendAndApply(const OutputDescription& description, bool force);
  // Sends output limits given in output units as raw limits through the inverse scaling of the last
  // application: (offset + value) × inverse scale.
  HRESULT SendLimits(double high, double low, std::int32_t formatCode);
  HRESULT SendUnits(const std::wstring& units, std::int32_t prefixCode, double valueFactor);

  // ReplaceSettings and GetSettings of a calculation holding settings of class S (with Copy()): the
  // held settings are replaced whole, never edited in place, and never handed out.
  template <class S>
  static HRESULT ReplaceWithCopy(IPersistObject* given, ComPtr<S>& held) {
    auto* settings = dynamic_cast<S*>(given);
    if (!settings) return E_INVALIDARG;
    return CalcEnums::AtBoundary([&] {
      held = settings->Copy();
      return S_OK;
    });
  }
  template <class S>
  static HRESULT CopyOut(const S& held, IPersistObject** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CalcEnums::AtBoundary([&] {
      *out = ComPtr<IPersistObject>(held.Copy().Get()).Detach();
      return S_OK;
    });
  }

  ComPtr<ICalcSite> mSite;
  std::int32_t mChannel = kNoChannel;
  double mInverseScale = 1.0;  // raw units per output unit
  double mOutputOffset = 0.0;  // added to an output value before the inverse scale
};

}  // namespace Spirometry
