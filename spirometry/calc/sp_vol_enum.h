#pragma once
// The volume enumerator: integrates a flow source into volume (SpVolPolicy) with checkpoints every 16000
// samples shared by the enumerator and its clones. Created by the host's enumerator factory from the
// volume parameter text of SpVol, or by the expression function "SpVol(flow, correction, dead space, ratio)".
#include "spirometry/calc/iir_enum.h"
#include "spirometry/calc/sp_vol_policy.h"
#include "spirometry/support/function_table.h"

namespace Spirometry {

class SpVolEnum final : public IIREnum::EnumBase<IIREnum::IIRPolicyBase<SpVolPolicy>> {
 public:
  static const CalcEnums::FunctionTable& Table();
  static HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out);

  SpVolEnum() = default;

  // Parses the text and starts a checkpoint table of its own. E_INVALIDARG for a text with a field that
  // does not read whole (see ParameterTextReader), which changes nothing.
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override;

  const SpVolPolicy& Policy() const { return mPolicy; }

 private:
  SpVolEnum(const SpVolEnum&) = default;
  ComPtr<CalcEnums::CalcEnumBase2> Copy() const override;
};

}  // namespace Spirometry
