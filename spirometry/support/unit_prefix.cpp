#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
struct Prefix {
  const wchar_t* text;
  double factor;
};
constexpr Prefix kPrefixes[] = {
    {L"?", 1.0}, {L"", 1.0},   {L"a", 1e18}, {L"f", 1e15}, {L"p", 1e12},  {L"n", 1e9},   {L"\u00B5", 1e6}, {L"m", 1e3},
    {L"", 1.0},  {L"k", 1e-3}, {L"M", 1e-6}, {L"G", 1e-9}, {L"T", 1e-12}, {L"P", 1e-15}, {L"E", 1e-18},
};
}  // namespace

double UnitPrefixFactor(std::int32_t code) { return code >= 1 && code <= 14 ? kPrefixes[code].factor : 1.0; }

std::wstring UnitPrefixText(std::int32_t code) { return code >= 0 && code <= 14 ? kPrefixes[code].text : L""; }

}  // namespace Spirometry
