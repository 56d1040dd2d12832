#pragma once
// The built-in flow heads: name, head scale (L/s per V) and non-linear coefficient (1/V). A coefficient of
// exactly 1.0 marks a head without a characterised non-linearity.
#include <cstdint>
#include <string>
#include <vector>

namespace Spirometry {

constexpr std::int32_t kDefaultFlowHeadPreset = 3;

class FlowHeadTable {
 public:
  // The five rows, in their stored order.
  static FlowHeadTable BuiltIn();

  std::int32_t Size() const { return static_cast<std::int32_t>(mNames.size()); }
  bool Contains(std::int32_t index) const { return index >= 0 && index < Size(); }
  const std::wstring& Name(std::int32_t index) const { return mNames[static_cast<std::size_t>(index)]; }
  double HeadScale(std::int32_t index) const { return mHeadScales[static_cast<std::size_t>(index)]; }
  double Coefficient(std::int32_t index) const { return mCoefficients[static_cast<std::size_t>(index)]; }

 private:
  void Add(std::wstring name, double headScale, double coefficient);

  std::vector<std::wstring> mNames;
  std::vector<double> mHeadScales;
  std::vector<double> mCoefficients;
};

}  // namespace Spirometry
