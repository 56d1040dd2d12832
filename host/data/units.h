#pragma once
// Units texts, their SI prefixes and the process-wide table of units objects.
#include <optional>
#include <string>
#include <string_view>

#include "host/com/com_ptr.h"
#include "host/data/iunits.h"

namespace kymora {

// The unit prefix codes shared with extensions: 1 none, 2 a, 3 f, 4 p, 5 n, 6 µ, 7 m, 8 none, 9 k, 10 M,
// 11 G, 12 T, 13 P, 14 E. Factor multiplies a value in base units (litres) into the prefixed unit.
double PrefixFactor(std::int32_t code);      // any other code: 1
std::wstring PrefixText(std::int32_t code);  // "" for 1, 8 and unknown codes; "µ" for 6

// A units text split into SI prefix and base ("mL/s" -> 'm', "L/s"). Texts whose first letter is not a
// known prefix, or that are a bare known base unit ("m" is metres, not milli-nothing), have no prefix.
struct SplitUnits {
  std::int32_t prefixCode = 8;  // unit prefix code, 8 = none
  int exponent = 0;             // power of ten of the prefix
  std::wstring base;
};
SplitUnits SplitPrefix(std::wstring_view units);

// Factor that turns a value in `from` units into `to` units, when both have the same base and differ only
// in prefix ("mL/s" -> "L/s" gives 0.001). nullopt when the kinds differ.
std::optional<double> UnitsFactor(std::wstring_view from, std::wstring_view to);

// The units object for a text: the same text always gives the same object in this process.
ComPtr<IUnits> InternUnits(const std::wstring& text);

}  // namespace kymora
