#pragma once
// Unit prefix codes as the settings and the calculations store them: 1 none, 2 a, 3 f, 4 p, 5 n, 6 µ,
// 7 m, 8 none, 9 k, 10 M, 11 G, 12 T, 13 P, 14 E. The factor turns litres (or litres per second) into the
// prefixed unit; the text is written directly before "L".
#include <cstdint>
#include <string>

namespace Spirometry {

double UnitPrefixFactor(std::int32_t code);      // 1 for codes outside 1..14
std::wstring UnitPrefixText(std::int32_t code);  // "" for 1, 8 and codes outside 1..14; "?" for 0

}  // namespace Spirometry
