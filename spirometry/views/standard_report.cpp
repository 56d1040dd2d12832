#include "spirometry/views/standard_report.h"

#include <cmath>

namespace Spirometry {

namespace {
constexpr const wchar_t* kTitle = L"ATS/ERS 2019";

class SectionWriter {
 public:
  SectionWriter(const NumberLocale& locale, double factor, const std::wstring& prefix)
      : mLocale(locale), mFactor(factor), mPrefix(prefix) {}

  std::wstring Manoeuvre(int breath, const ForcedExpirationMeasures& m, const ManoeuvreQuality& q) const {
    std::wstring box = Open(L"Breath " + FormatInteger(std::int64_t{breath} + 1) + L" (" + kTitle + L")");
    if (!m.measured)
      return box + Row(L"Measures", L"none: the volume curve could not be read or does not rise") + Close();
    box += Row(L"Time zero", Real(m.timeZero) + L" s after the largest volume");
    box += Row(L"BEV",
               Litres(m.bev) + L" (limit " + Litres(m.bevLimit) + L")" + (m.bevWithinLimit ? L"" : L", too large"));
    box += Row(L"PEF", Flow(m.pef) + L" at " + Real(m.pefTime) + L" s");
    box += Row(L"FEV1", Litres(m.fev1));
    box += Row(L"FEV6", Litres(m.fev6));
    box += Row(L"FVC", Litres(m.fvc));
    box += Row(L"FEV1/FVC", Real(m.fev1OverFvc) + L"%");
    box += Row(L"FEF25-75", Flow(m.fef2575));
    box += Row(L"FET", Real(m.fet) + L" s");
    box += Row(L"End of expiration", EndText(m, q) + L" (" + Litres(m.lastSecondChange) + L" in the last second)");
    if (std::isfinite(m.fivc))
      box += Row(L"FIVC", Litres(m.fivc) + (m.fivcWithinLimit ? L"" : L", larger than FVC by more than the limit"));
    box += Row(L"Acceptable", L"FEV1 " + YesNo(q.fev1Acceptable) + L", FVC " + YesNo(q.fvcAcceptable));
    box += Row(L"Usable", L"FEV1 " + YesNo(q.fev1Usable) + L", FVC " + YesNo(q.fvcUsable));
    return box + Close();
  }

  std::wstring Test(const ForcedTestQuality& q, std::size_t manoeuvres) const {
    std::wstring box = Open(std::wstring(L"Test (") + kTitle + L")");
    box += Row(L"Manoeuvres", FormatInteger(static_cast<std::int64_t>(manoeuvres)));
    box += Row(L"Acceptable", L"FEV1 " + FormatInteger(q.acceptableFev1) + L", FVC " + FormatInteger(q.acceptableFvc));
    box += Row(L"Usable", L"FEV1 " + FormatInteger(q.usableFev1) + L", FVC " + FormatInteger(q.usableFvc));
    box += Row(L"Repeatability", L"FEV1 " + Spread(q.fev1Spread) + L", FVC " + Spread(q.fvcSpread) +
                                     (q.repeatable ? L": repeatable" : L": not repeatable"));
    box += Row(L"Grade", L"FEV1 " + std::wstring(1, q.fev1Grade) + L", FVC " + std::wstring(1, q.fvcGrade));
    box += Row(L"Best", L"FEV1 " + Litres(q.bestFev1) + L", FVC " + Litres(q.bestFvc));
    return box + Close();
  }

 private:
  std::wstring Real(double v) const { return FormatReal(v, mLocale); }
  std::wstring Litres(double v) const { return Real(v * mFactor) + L" " + mPrefix + L"L"; }
  std::wstring Flow(double v) const { return Real(v * mFactor) + L" " + mPrefix + L"L/s"; }
  static std::wstring YesNo(bool v) { return v ? L"yes" : L"no"; }
  std::wstring Spread(double v) const { return v < 0.0 ? std::wstring(L"-") : Litres(v); }
  static std::wstring EndText(const ForcedExpirationMeasures& m, const ManoeuvreQuality& q) {
    if (m.plateau) return L"plateau";
    if (m.longExpiration) return L"15 s of expiration";
    if (q.endOfExpiration) return L"FVC as large as an earlier one";
    return L"not reached";
  }
  static std::wstring Open(const std::wstring& heading) {
    return L"<div class=\"box\">\n<h3>" + heading + L"</h3>\n<table class=\"table_std\">\n";
  }
  static std::wstring Row(const std::wstring& title, const std::wstring& value) {
    return L"<tr><td class=\"rowtitle\">" + title + L"</td><td>" + value + L"</td></tr>\n";
  }
  static std::wstring Close() { return L"</table>\n</div>\n"; }

  const NumberLocale& mLocale;
  const double mFactor;
  const std::wstring& mPrefix;
};
}  // namespace

std::wstring StandardReportSection(const ForcedTestResults& results, const NumberLocale& locale, double factor,
                                   const std::wstring& prefix) {
  const SectionWriter writer(locale, factor, prefix);
  std::wstring section;
  for (std::size_t i = 0; i < results.measures.size(); ++i)
    section += writer.Manoeuvre(results.breaths[i], results.measures[i], results.quality.manoeuvres[i]);
  return section + writer.Test(results.quality, results.measures.size());
}

}  // namespace Spirometry
