#pragma once
// What the flow and volume calculations accept as the units of their sources.
#include <cstdint>
#include <optional>
#include <string_view>

namespace Spirometry {

// The SI prefix exponent of a flow-head voltage: 0 for "" and "V", the prefix's exponent for a prefix
// letter followed by "V" ("mV" -3, "uV" and "µV" -6, …); nothing for any other text.
std::optional<int> VoltagePrefixExponent(std::wstring_view units);

// True for the six flow units a volume is integrated from: L/s, L/sec, mL/s, mL/sec, µL/s, µL/sec.
bool IsAcceptedFlowUnits(std::wstring_view units);

// How many of the flow's volume units make a litre: 1000 for mL/s and mL/sec, 1e6 for µL/s and µL/sec,
// 1 for any other text. Volumes keep the prefix of their flow, so a dead space given in millilitres is
// compared with them through this factor.
double FlowLitreFactor(std::wstring_view units);

// The unit prefix code of the volume integrated from a flow in these units: 7 (mL) for mL/s and mL/sec,
// 6 (µL) for µL/s and µL/sec, 8 (L) for any other text.
std::int32_t VolumePrefixCode(std::wstring_view flowUnits);

// 10 to the power of a prefix exponent, exactly for the prefix exponents.
double PowerOfTen(int exponent);

}  // namespace Spirometry
