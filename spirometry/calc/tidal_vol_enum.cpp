#include "spirometry/calc/tidal_vol_enum.h"

namespace Spirometry {

const CalcEnums::FunctionTable& TidalVolEnum::Table() {
  static const CalcEnums::FunctionTable table{L"TidalVolEnum",
                                              L"An enumerator derived from CompositeCalcEnum",
                                              CalcEnums::kSampleFunctionCategory,
                                              {},
                                              {},
                                              CalcKind::kSamples,
                                              CalcKind::kSamples};
  return table;
}

HRESULT TidalVolEnum::CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
  return CalcEnums::CreateEnumerator<TidalVolEnum>(outer, iid, out);
}

ComPtr<CalcEnums::CalcEnumBase2> TidalVolEnum::Copy() const {
  return ComPtr<CalcEnums::CalcEnumBase2>(new TidalVolEnum(*this));
}

std::wstring TidalVolEnum::ExpressionFor(const std::wstring& sourceUnits) const {
  const std::wstring perMinute = L"/min";
  const bool minutes = sourceUnits.size() >= perMinute.size() &&
                       sourceUnits.compare(sourceUnits.size() - perMinute.size(), perMinute.size(), perMinute) == 0;
  // The division binds to the whole expression, whatever its last operator.
  return minutes ? L"(" + mParameterText + L")/60.0" : mParameterText;
}

}  // namespace Spirometry
