#include "host/data/units.h"

#include <map>
#include <mutex>
#include <vector>

#include "host/com/com_object.h"

namespace kymora {

namespace {
struct PrefixRow {
  wchar_t letter;
  std::int32_t code;
  int exponent;
};
// Letters that mean an SI prefix in front of a base unit, with their unit prefix codes.
constexpr PrefixRow kPrefixes[] = {
    {L'a', 2, -18}, {L'f', 3, -15}, {L'p', 4, -12}, {L'n', 5, -9},  {L'\u00B5', 6, -6}, {L'u', 6, -6},  {L'm', 7, -3},
    {L'k', 9, 3},   {L'M', 10, 6},  {L'G', 11, 9},  {L'T', 12, 12}, {L'P', 13, 15},     {L'E', 14, 18},
};

class Units final : public ComObject<IUnits> {
 public:
  explicit Units(std::wstring text) : mText(std::move(text)), mPrefix(SplitPrefix(mText).prefixCode) {}
  HRESULT GetText(std::wstring* text) override {
    if (!text) return E_POINTER;
    *text = mText;
    return S_OK;
  }
  HRESULT GetPrefixCode(std::int32_t* code) override {
    if (!code) return E_POINTER;
    *code = mPrefix;
    return S_OK;
  }

 private:
  std::wstring mText;
  std::int32_t mPrefix;
};
}  // namespace

double PrefixFactor(std::int32_t code) {
  static constexpr double kFactors[] = {1, 1,    1e18, 1e15, 1e12,  1e9,   1e6,  1e3,
                                        1, 1e-3, 1e-6, 1e-9, 1e-12, 1e-15, 1e-18};
  return code >= 1 && code <= 14 ? kFactors[code] : 1.0;
}

std::wstring PrefixText(std::int32_t code) {
  static const wchar_t* const kTexts[] = {L"?", L"",  L"a", L"f", L"p", L"n", L"\u00B5", L"m",
                                          L"",  L"k", L"M", L"G", L"T", L"P", L"E"};
  return code >= 1 && code <= 14 ? kTexts[code] : L"";
}

SplitUnits SplitPrefix(std::wstring_view units) {
  SplitUnits r;
  r.base = std::wstring(units);
  if (units.size() < 2) return r;
  for (const auto& p : kPrefixes) {
    if (units[0] == p.letter) {
      r.prefixCode = p.code;
      r.exponent = p.exponent;
      r.base = std::wstring(units.substr(1));
      return r;
    }
  }
  return r;
}

std::optional<double> UnitsFactor(std::wstring_view from, std::wstring_view to) {
  if (from == to) return 1.0;
  // Try every reading of each text (with and without a prefix) so that "m" against "mm" and "Pa" against
  // "kPa" resolve to the reading whose bases agree.
  struct Reading {
    std::wstring base;
    int exponent;
  };
  auto readings = [](std::wstring_view u) {
    std::vector<Reading> r{{std::wstring(u), 0}};
    auto s = SplitPrefix(u);
    if (s.base != u) r.push_back({s.base, s.exponent});
    return r;
  };
  for (const auto& a : readings(from)) {
    for (const auto& b : readings(to)) {
      if (a.base == b.base && !a.base.empty()) {
        int e = a.exponent - b.exponent;
        double f = 1.0;
        for (int i = 0; i < (e < 0 ? -e : e); ++i) f *= 10.0;
        return e < 0 ? 1.0 / f : f;
      }
    }
  }
  return std::nullopt;
}

ComPtr<IUnits> InternUnits(const std::wstring& text) {
  static std::mutex lock;
  static auto* table = new std::map<std::wstring, ComPtr<IUnits>>();  // lives for the process
  std::lock_guard g(lock);
  auto& slot = (*table)[text];
  if (!slot) slot = MakeCom<Units>(text);
  return slot;
}

}  // namespace kymora
