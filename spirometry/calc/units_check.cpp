#include "spirometry/calc/units_check.h"

#include <cmath>

namespace Spirometry {

namespace {
struct PrefixExponent {
  wchar_t letter;
  int exponent;
};
constexpr PrefixExponent kPrefixes[] = {
    {L'E', 18},  {L'P', 15}, {L'T', 12},      {L'G', 9},   {L'M', 6},   {L'k', 3},
    {L'm', -3},  {L'u', -6}, {L'\u00B5', -6}, {L'n', -9},  {L'p', -12}, {L'f', -15},
    {L'a', -18}, {L'Z', 21}, {L'Y', 24},      {L'z', -21}, {L'y', -24},
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
  std::int32_t prefixCode;
};
constexpr std::int32_t kLitres = 8, kMillilitres = 7, kMicrolitres = 6;
constexpr FlowUnits kFlowUnits[] = {
    {L"L/s", 1.0, kLitres},         {L"L/sec", 1.0, kLitres},          {L"mL/s", 1e3, kMillilitres},
    {L"mL/sec", 1e3, kMillilitres}, {L"\u00B5L/s", 1e6, kMicrolitres}, {L"\u00B5L/sec", 1e6, kMicrolitres}};
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

std::int32_t VolumePrefixCode(std::wstring_view flowUnits) {
  for (const auto& f : kFlowUnits)
    if (flowUnits == f.text) return f.prefixCode;
  return kLitres;
}

double PowerOfTen(int exponent) {
  // Negative powers by division, so that 10^-3 is the double nearest 0.001.
  double p = 1.0;
  for (int i = 0; i < (exponent < 0 ? -exponent : exponent); ++i) p *= 10.0;
  return exponent < 0 ? 1.0 / p : p;
}

}  // namespace Spirometry
