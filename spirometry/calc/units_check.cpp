#include "spirometry/calc/units_check.h"

#include <cmath>

namespace Spirometry {

namespace {
struct PrefixExponent {
  wchar_t letter;
  int exponent;
};
constexpr PrefixExponent kPrefixes[] = {
    {L'E', 18}, {L'P', 15}, {L'T', 12},  {L'G', 9},   {L'M', 6},        {L'k', 3},   {L'm', -3},  {L'u', -6},
    {L'\u00B5', -6}, {L'n', -9}, {L'p', -12}, {L'f', -15}, {L'a', -18}, {L'Z', 21}, {L'Y', 24}, {L'z', -21},
    {L'y', -24},
};
}  // namespace

std::optional<int> VoltagePrefixExponent(std::wstring_view units) {
  if (units.empty() || units == L"V") return 0;
  if (units.size() != 2 || units[1] != L'V') return std::nullopt;
  for (const auto& p : kPrefixes)
    if (p.letter == units[0]) return p.exponent;
  return std::nullopt;
}

namespace {
struct FlowUnits {
  std::wstring_view text;
  double litreFactor;
};
constexpr FlowUnits kFlowUnits[] = {{L"L/s", 1.0},    {L"L/sec", 1.0},     {L"mL/s", 1e3},
                                    {L"mL/sec", 1e3}, {L"\u00B5L/s", 1e6}, {L"\u00B5L/sec", 1e6}};
}  // namespace

bool IsAcceptedFlowUnits(std::wstring_view units) {
  for (const auto& f : kFlowUnits)
    if (units == f.text) return true;
  return false;
}

double FlowLitreFactor(std::wstring_view units) {
  for (const auto& f : kFlowUnits)
    if (units == f.text) return f.litreFactor;
  return 1.0;
}

double PowerOfTen(int exponent) {
  // Negative powers by division, so that 10^-3 is the double nearest 0.001.
  double p = 1.0;
  for (int i = 0; i < (exponent < 0 ? -exponent : exponent); ++i) p *= 10.0;
  return exponent < 0 ? 1.0 / p : p;
}

}  // namespace Spirometry
