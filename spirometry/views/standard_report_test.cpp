#include "spirometry/views/standard_report.h"

#include <gtest/gtest.h>

#include "spirometry/views/csv_report.h"
#include "spirometry/views/report_builder.h"
#include "spirometry/views/views_test_support.h"

namespace Spirometry {
namespace {

// Two forced breaths: the first measured (a good start, no plateau after 2.5 s), the second not measurable.
ForcedTestResults TwoManoeuvres() {
  ForcedExpirationMeasures m;
  m.measured = true;
  m.timeZero = 0.02;
  m.bev = 0.08;
  m.bevLimit = 0.2;
  m.bevWithinLimit = true;
  m.pef = 8.5;
  m.pefTime = 0.1;
  m.fev1 = 3.1;
  m.fev6 = 3.9;
  m.fvc = 4.0;
  m.fev1OverFvc = 77.5;
  m.fef2575 = 2.75;
  m.fet = 2.5;
  m.lastSecondChange = 0.3;
  m.firstSecondComplete = true;
  m.fivc = 4.05;
  ForcedTestResults r;
  r.breaths = {1, 3};
  r.measures = {m, ForcedExpirationMeasures{}};
  r.curves.resize(2);
  r.quality = AssessForcedTest(r.measures);
  return r;
}

TEST(StandardReportSection, OneBoxPerManoeuvreAndOneForTheTest) {
  const NumberLocale comma{L",", L";"};
  const std::wstring s = StandardReportSection(TwoManoeuvres(), comma, 1000.0, L"m");
  auto row = [](const std::wstring& title, const std::wstring& value) {
    return L"<tr><td class=\"rowtitle\">" + title + L"</td><td>" + value + L"</td></tr>\n";
  };
  for (const std::wstring& expected :
       {std::wstring(L"<div class=\"box\">\n<h3>Breath 2 (ATS/ERS 2019)</h3>\n<table class=\"table_std\">\n"),
        row(L"Time zero", L"0,02 s after the largest volume"), row(L"BEV", L"80 mL (limit 200 mL)"),
        row(L"PEF", L"8500 mL/s at 0,1 s"), row(L"FEV1", L"3100 mL"), row(L"FEV6", L"3900 mL"),
        row(L"FEF25-75", L"2750 mL/s"), row(L"End of expiration", L"not reached (300 mL in the last second)"),
        row(L"FIVC", L"4050 mL"), row(L"Acceptable", L"FEV1 yes, FVC no"), row(L"Usable", L"FEV1 yes, FVC yes"),
        std::wstring(L"<h3>Breath 4 (ATS/ERS 2019)</h3>"), row(L"Manoeuvres", L"2"),
        row(L"Acceptable", L"FEV1 1, FVC 0"), row(L"Repeatability", L"FEV1 -, FVC -: not repeatable"),
        row(L"Grade", L"FEV1 E, FVC U"), row(L"Best", L"FEV1 3100 mL, FVC 4000 mL")})
    EXPECT_NE(s.find(expected), std::wstring::npos) << ToLatin1(expected);
}

TEST(StandardReportSection, FollowsTheSummaryOnlyWhenAskedFor) {
  testing::HandMadeAnalysis a;
  testing::AddFourBreaths(a);
  ReportSource source = a.Source();
  const NumberLocale point;
  const std::wstring plain = BuildReportPage(source, ReportTemplates::FromResources(), point);
  source.standard = std::make_shared<ForcedTestResults>(TwoManoeuvres());
  const std::wstring page = BuildReportPage(source, ReportTemplates::FromResources(), point);
  const std::wstring section = StandardReportSection(*source.standard, point, 1.0, L"");
  // The section sits right after the summary boxes, inside the column the main template closes after them.
  const auto end = plain.find(L"\n</div>\n</body>");
  ASSERT_NE(end, std::wstring::npos);
  EXPECT_EQ(page, plain.substr(0, end) + section + plain.substr(end));
}

TEST(StandardReportSection, AnAutomaticLevelShowsAsSuchInTheSettings) {
  testing::HandMadeAnalysis a;
  testing::AddFourBreaths(a);
  ReportSource source = a.Source();
  source.settings.AutoDetectionLevel = true;
  source.automaticLevel = 0.0732;
  const NumberLocale point;
  EXPECT_NE(BuildReportPage(source, ReportTemplates::FromResources(), point).find(L"<td>auto: 0.0732% full range</td>"),
            std::wstring::npos);
  EXPECT_NE(BuildCsvReport(source, point).find(L",auto: 0.0732% full range,"), std::wstring::npos);
}

}  // namespace
}  // namespace Spirometry
