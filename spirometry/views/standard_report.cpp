#include "spirometry/views/standard_report.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "spirometry/document/measure_table.h"

namespace Spirometry {

namespace {
constexpr const wchar_t* kTitle = L"ATS/ERS 2019";

class SectionWriter {
 public:
  SectionWriter(const NumberLocale& locale, double factor, const std::wstring& prefix)
      : mLocale(locale), mFactor(factor), mPrefix(prefix) {}

  // One row per measure shown in the section, in the table's order; a few rows say more than one value.
  std::wstring Manoeuvre(const ManoeuvreItem& item) const {
    std::wstring box = Open(L"Breath " + FormatInteger(std::int64_t{item.breathIndex} + 1) + L" (" + kTitle + L")");
    if (!item.measures.measured)
      return box + Row(L"Measures", L"none: the volume curve could not be read or does not rise") + Close();
    for (const auto& measure : ManoeuvreMeasures())
      if (measure.info.Outputs & kShowInSection) box += RowsOf(measure, item);
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
  std::wstring RowsOf(const Measure<ManoeuvreItem>& measure, const ManoeuvreItem& item) const {
    const std::string_view key = measure.info.Key;
    const ForcedExpirationMeasures& m = item.measures;
    const ManoeuvreQuality& q = item.quality;
    if (key == "TimeZero") return Row(L"Time zero", Real(m.timeZero) + L" s after the largest volume");
    if (key == "BEV")
      return Row(L"BEV",
                 Litres(m.bev) + L" (limit " + Litres(m.bevLimit) + L")" + (m.bevWithinLimit ? L"" : L", too large"));
    if (key == "PEF") return Row(L"PEF", Flow(m.pef) + L" at " + Real(m.pefTime) + L" s");
    if (key == "FET")
      return Row(L"FET", Real(m.fet) + L" s") +
             Row(L"End of expiration", EndText(m, q) + L" (" + Litres(m.lastSecondChange) + L" in the last second)");
    if (key == "FIVC")
      return std::isfinite(m.fivc)
                 ? Row(L"FIVC",
                       Litres(m.fivc) + (m.fivcWithinLimit ? L"" : L", larger than FVC by more than the limit"))
                 : std::wstring();
    if (key == "FEV1Acceptable")
      return Row(L"Acceptable", L"FEV1 " + YesNo(q.fev1Acceptable) + L", FVC " + YesNo(q.fvcAcceptable));
    if (key == "FEV1Usable") return Row(L"Usable", L"FEV1 " + YesNo(q.fev1Usable) + L", FVC " + YesNo(q.fvcUsable));
    return Row(Widened(measure.info.Title), ValueText(measure.info, measure.value(item)));
  }

  // A value in its unit, as the other rows write theirs.
  std::wstring ValueText(const SpiroMeasureInfo& info, const SpiroMeasureValue& v) const {
    switch (v.Type) {
      case kValueAbsent:
      case kValueMissing:
        return L"-";
      case kValueCount:
        return FormatInteger(static_cast<std::int64_t>(v.Number));
      case kValueYesNo:
        return YesNo(v.Number != 0.0);
      case kValueLetter:
        return std::wstring(1, static_cast<wchar_t>(v.Number));
      default:
        break;
    }
    switch (info.Unit) {
      case kUnitLitres:
        return Litres(v.Number);
      case kUnitLitresPerSecond:
        return Flow(v.Number);
      case kUnitSeconds:
        return Real(v.Number) + L" s";
      case kUnitPercent:
        return Real(v.Number) + L"%";
      case kUnitHertz:
        return Real(v.Number) + L" Hz";
      default:
        return Real(v.Number);
    }
  }
  static std::wstring Widened(const char* text) { return std::wstring(text, text + std::strlen(text)); }
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
    section +=
        writer.Manoeuvre({results.breaths[i], results.curves[i], results.measures[i], results.quality.manoeuvres[i]});
  return section + writer.Test(results.quality, results.measures.size());
}

}  // namespace Spirometry
