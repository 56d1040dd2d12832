#pragma once
// TidalVolEnum: the composite enumerator of the tidal-volume and minute-ventilation channels. A flow in
// units per minute is read per second by dividing the expression by 60.
#include "spirometry/calc/composite_calc_enum.h"
#include "spirometry/support/function_table.h"

namespace Spirometry {

class TidalVolEnum final : public CalcEnums::CompositeCalcEnum {
 public:
  TidalVolEnum() = default;
  TidalVolEnum(const TidalVolEnum& other) = default;

  static const CalcEnums::FunctionTable& Table();
  static HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out);

  // The expression as compiled for a source in `sourceUnits`.
  std::wstring ExpressionFor(const std::wstring& sourceUnits) const override;

 protected:
  ComPtr<CalcEnums::CalcEnumBase2> Copy() const override;
};

}  // namespace Spirometry
