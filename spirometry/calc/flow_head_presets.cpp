#include "spirometry/calc/flow_head_presets.h"

namespace Spirometry {

namespace {
constexpr std::size_t kInitialCapacity = 8;
}

FlowHeadTable FlowHeadTable::BuiltIn() {
  FlowHeadTable t;
  t.mNames.reserve(kInitialCapacity);
  t.mHeadScales.reserve(kInitialCapacity);
  t.mCoefficients.reserve(kInitialCapacity);
  t.Add(L"Vantor 1L", 0.08, 1.0);
  t.Add(L"Vantor 10L", 0.72, 1.0);
  t.Add(L"Vantor 300L", 11.79, 0.37);
  t.Add(L"Vantor 1000L", 40.1, 1.0);
  t.Add(L"Brisk 800L", 38.0, 1.0);
  return t;
}

void FlowHeadTable::Add(std::wstring name, double headScale, double coefficient) {
  mNames.push_back(std::move(name));
  mHeadScales.push_back(headScale);
  mCoefficients.push_back(coefficient);
}

}  // namespace Spirometry
