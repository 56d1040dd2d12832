// The report page against pages written out by hand for a small analysis (views_test_support.h).
#include "spirometry/views/report_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cwchar>

#include "spirometry/resources/report_templates.h"
#include "spirometry/views/views_test_support.h"

namespace Spirometry {
namespace {

using testing::AddFourBreaths;
using testing::BodyOf;
using testing::HandMadeAnalysis;

const NumberLocale kPoint{L".", L","};

constexpr const wchar_t* kSettingsAndSelection =
    LR"(<body>
<div class="leftcolumn">
<div class="box">
<h3>Settings</h3>
<table class="table_std">
<tr><td class="rowtitle">Flow Channel</td><td>1</td></tr>
<tr><td class="rowtitle">Volume Channel</td><td>4</td></tr>
<tr><td class="rowtitle">Cycle Detection</td><td>2.5% full range</td></tr>
<tr><td class="rowtitle">Forced Expiration</td><td>1.5 x average volume</td></tr>
</table>
</div>
<div class="box">
<h3>Selection</h3>
<table class="table_std">
<tr><td class="rowtitle">Selection Start</td><td>Block: 2, 0.5 s</td></tr>
<tr><td class="rowtitle">Selection End</td><td>Block: 2, 24 s</td></tr>
<tr><td class="rowtitle">Analysis Start</td><td>1 s</td></tr>
<tr><td class="rowtitle">Analysis End</td><td>20 s</td></tr>
</table>
</div>
)";

constexpr const wchar_t* kBreath1 =
    LR"(<div class="box">
<h3>Breath 1</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>2 s</td></tr>
<tr><td class="rowtitle">Te</td><td>2 s</td></tr>
<tr><td class="rowtitle">Duration</td><td>4 s</td></tr>
<tr><td class="rowtitle">VT</td><td>0.5 L</td></tr>
</table>
</div>
)";

constexpr const wchar_t* kBreath2 =
    LR"(<div class="box">
<h3>Breath 2 (forced)</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>2.5 s</td></tr>
<tr><td class="rowtitle">Te</td><td>4.5 s</td></tr>
<tr><td class="rowtitle">Duration</td><td>7 s</td></tr>
<tr><td class="rowtitle">PIF</td><td>2.25 L/s (135 L/min)</td></tr>
<tr><td class="rowtitle">PEF</td><td>6.5 L/s (390 L/min)</td></tr>
<tr><td class="rowtitle">FVC</td><td>3.25 L</td></tr>
<tr><td class="rowtitle">FEV1</td><td>2.5 L</td></tr>
<tr><td class="rowtitle">FEV1/FVC</td><td>76.9231%</td></tr>
</table>
</div>
)";

constexpr const wchar_t* kBreath3 =
    LR"(<div class="box">
<h3>Breath 3</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>2 s</td></tr>
<tr><td class="rowtitle">Te</td><td>2.5 s</td></tr>
<tr><td class="rowtitle">Duration</td><td>4.5 s</td></tr>
<tr><td class="rowtitle">VT</td><td>0.375 L</td></tr>
</table>
</div>
)";

// Its FEV1 point lies beyond the data: FEV1 and the ratio read 0.
constexpr const wchar_t* kBreath4 =
    LR"(<div class="box">
<h3>Breath 4 (single expiration)</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>0 s</td></tr>
<tr><td class="rowtitle">Te</td><td>3.5 s</td></tr>
<tr><td class="rowtitle">Duration</td><td>3.5 s</td></tr>
<tr><td class="rowtitle">PEF</td><td>3 L/s (180 L/min)</td></tr>
<tr><td class="rowtitle">FVC</td><td>1.5 L</td></tr>
<tr><td class="rowtitle">FEV1</td><td>0 L</td></tr>
<tr><td class="rowtitle">FEV1/FVC</td><td>0%</td></tr>
</table>
</div>
)";

// VE = (0.5 + 0.375) L / (4 + 4.5) s; f = 2 / 8.5 s.
constexpr const wchar_t* kSummaries =
    LR"(
<div class="box">
<h3>Summary</h3>
<table class="table_std">
<tr><td class="rowtitle">Duration</td><td>19 s (8.5 s non-forced)</td></tr>
<tr><td class="rowtitle">Breaths</td><td>4 (2 non-forced)</td></tr>
</table>
</div>
<div class="box">
<h3>Non-forced Breaths</h3>
<table class="table_std">
<tr><td class="rowtitle">VE</td><td>0.102941 L/s (6.17647 L/min)</td></tr>
<tr><td class="rowtitle">Average VT</td><td>0.4375 L</td></tr>
<tr><td class="rowtitle">f</td><td>0.235294 Hz (14.1176/min)</td></tr>
</table>
</div>

</div>
</body>
</html>
)";

std::wstring Concat(std::initializer_list<const wchar_t*> parts) {
  std::wstring s;
  for (const wchar_t* p : parts) s += p;
  return s;
}

TEST(ReportPage, ListsEveryBreathWhenNonForcedAreIncluded) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.IncludeNonForced = true;
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_EQ(BodyOf(page), Concat({kSettingsAndSelection, kBreath1, kBreath2, kBreath3, kBreath4, kSummaries}));
}

TEST(ReportPage, NonForcedBreathsCountInTheSummaryWhenNotListed) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.IncludeNonForced = false;
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_EQ(BodyOf(page), Concat({kSettingsAndSelection, kBreath2, kBreath4, kSummaries}));
}

TEST(ReportPage, OnlyNonForcedBreathsNotListedStillGiveTheirAverages) {
  HandMadeAnalysis a;
  a.Add({500, 1500, 2500, 1.5, 1.0, 0.75, -0.8, false, false});
  a.Add({6000, 7000, 8250, 1.25, 0.875, 0.5, -0.6, false, false});
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_NE(page.find(L"</div>\n\n<div class=\"box\">\n<h3>Summary</h3>"), std::wstring::npos)
      << "no breath box between the selection and the summary";
  EXPECT_EQ(page.find(L"<h3>Breath"), std::wstring::npos);
  // Analysis end is the last breath's end: 8250 samples at 500 Hz.
  EXPECT_NE(page.find(L"<td class=\"rowtitle\">Analysis End</td><td>16.5 s</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>8.5 s (8.5 s non-forced)</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>2 (2 non-forced)</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td class=\"rowtitle\">Average VT</td><td>0.4375 L</td>"), std::wstring::npos);
}

// A volume or flow that could not be measured is left blank and out of VE and the average VT.
TEST(ReportPage, ValuesThatCouldNotBeMeasuredAreBlankAndLeftOutOfTheSums) {
  HandMadeAnalysis a;
  AddBreathsWithValuesThatCouldNotBeMeasured(a);
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  for (const wchar_t* row :
       {L"<td class=\"rowtitle\">VT</td><td> L</td>", L"<td class=\"rowtitle\">PIF</td><td> L/s ( L/min)</td>",
        L"<td class=\"rowtitle\">VE</td><td>0.125 L/s (7.5 L/min)</td>",
        L"<td class=\"rowtitle\">Average VT</td><td>0.5 L</td>",
        L"<td class=\"rowtitle\">f</td><td>0.333333 Hz (20/min)</td>"})
    EXPECT_NE(page.find(row), std::wstring::npos) << std::string(row, row + std::wcslen(row));
}

TEST(ReportPage, MillilitresAndADecimalComma) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.FlowUnitsPrefix = 7;
  const NumberLocale comma{L",", L";"};
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), comma);
  EXPECT_NE(page.find(LR"(<h3>Breath 2 (forced)</h3>
<table class="table_std">
<tr><td class="rowtitle">Ti</td><td>2,5 s</td></tr>
<tr><td class="rowtitle">Te</td><td>4,5 s</td></tr>
<tr><td class="rowtitle">Duration</td><td>7 s</td></tr>
<tr><td class="rowtitle">PIF</td><td>2250 mL/s (135000 mL/min)</td></tr>
<tr><td class="rowtitle">PEF</td><td>6500 mL/s (390000 mL/min)</td></tr>
<tr><td class="rowtitle">FVC</td><td>3250 mL</td></tr>
<tr><td class="rowtitle">FEV1</td><td>2500 mL</td></tr>
<tr><td class="rowtitle">FEV1/FVC</td><td>76,9231%</td></tr>)"),
            std::wstring::npos);
  EXPECT_NE(page.find(L"<td>102,941 mL/s (6176,47 mL/min)</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>2,5% full range</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>Block: 2, 0,5 s</td>"), std::wstring::npos);
}

TEST(ReportPage, ForcedSingleExpirationUsesTheForcedBoxAndCountsOnce) {
  HandMadeAnalysis a;
  a.Add({500, 1000, 3000, 3.0, 0.5, 1.0, -4.0, true, true});
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_NE(page.find(L"<h3>Breath 1 (forced)</h3>"), std::wstring::npos);
  EXPECT_EQ(page.find(L"(single expiration)"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>5 s (0 s non-forced)</td>"), std::wstring::npos);
  EXPECT_NE(page.find(L"<td>1 (0 non-forced)</td>"), std::wstring::npos);
  EXPECT_EQ(page.find(L"Non-forced Breaths"), std::wstring::npos);
}

TEST(ReportPage, EverySingleExpirationHasNoNonForcedAverages) {
  HandMadeAnalysis a;
  a.Add({500, 500, 2000, 2.0, 0.5, 0.0, -3.0, false, true});
  a.Add({2000, 2000, 4000, 2.5, 0.5, 0.0, -3.5, false, true});
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_NE(page.find(LR"(<h3>Summary</h3>
<table class="table_std">
<tr><td class="rowtitle">Duration</td><td>7 s (0 s non-forced)</td></tr>
<tr><td class="rowtitle">Breaths</td><td>2 (0 non-forced)</td></tr>
</table>
</div>

</div>
</body>)"),
            std::wstring::npos);
}

// Durations are the host's times of positions: at 0.003 s per sample, 1000 samples are 3 s (the CSV
// export divides by the rounded rate instead).
TEST(ReportPage, TimesAreTheHostsTimesOfPositions) {
  HandMadeAnalysis a;
  a.Add({0, 300, 1000, 2.0, 1.0, 1.0, -1.0, false, false}, 2);
  a.settings.IncludeNonForced = true;
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_NE(page.find(L"<td>0.9 s</td></tr>\n<tr><td class=\"rowtitle\">Te</td><td>2.1 s</td></tr>\n"
                      L"<tr><td class=\"rowtitle\">Duration</td><td>3 s</td>"),
            std::wstring::npos);
}

// Nothing to divide by gives 0, not an infinity, and a negated zero flow is written as 0: a forced breath
// without expired volume (its FEV1 reading lies above the start of expiration: nothing was expired, not a
// negative volume) and a non-forced breath that takes no time.
TEST(ReportPage, NothingToDivideByGivesZero) {
  HandMadeAnalysis a;
  a.Add({500, 1500, 2500, 1.0, 1.0, 0.5, 0.0, true, false});
  a.SetVolumeOneSecondAfter(1500, 1.25);
  a.Add({3000, 3000, 3000, 1.5, 1.0, 0.75, -0.8, false, false});
  const std::wstring page = BuildReportPage(a.Source(), ReportTemplates::FromResources(), kPoint);
  EXPECT_NE(page.find(LR"(<tr><td class="rowtitle">PEF</td><td>0 L/s (0 L/min)</td></tr>
<tr><td class="rowtitle">FVC</td><td>0 L</td></tr>
<tr><td class="rowtitle">FEV1</td><td>0 L</td></tr>
<tr><td class="rowtitle">FEV1/FVC</td><td>0%</td></tr>)"),
            std::wstring::npos);
  EXPECT_NE(page.find(LR"(<tr><td class="rowtitle">Duration</td><td>4 s (0 s non-forced)</td></tr>
<tr><td class="rowtitle">Breaths</td><td>2 (1 non-forced)</td></tr>)"),
            std::wstring::npos);
  EXPECT_NE(page.find(LR"(<tr><td class="rowtitle">VE</td><td>0 L/s (0 L/min)</td></tr>
<tr><td class="rowtitle">Average VT</td><td>0.5 L</td></tr>
<tr><td class="rowtitle">f</td><td>0 Hz (0/min)</td></tr>)"),
            std::wstring::npos)
      << std::string(page.begin(), page.end());
}

// Any template that does not take its values leaves the whole page unfilled.
TEST(ReportPage, AFormattingErrorGivesTheUnfilledMainTemplate) {
  struct Case {
    const char* what;
    void (*damage)(ReportTemplates&);
  };
  const Case cases[] = {
      {"breath box short of a placeholder", [](ReportTemplates& t) { t.breathForced = L"<p>%1% %2%</p>"; }},
      {"breath box with one too many", [](ReportTemplates& t) { t.breathSingle += L"%14%"; }},
      {"missing summary template", [](ReportTemplates& t) { t.summary.clear(); }},
      {"malformed placeholder", [](ReportTemplates& t) { t.summaryNormal += L"%9"; }},
      {"main template with an extra placeholder", [](ReportTemplates& t) { t.main += L"%13%"; }},
  };
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.IncludeNonForced = true;
  for (const Case& c : cases) {
    ReportTemplates t = ReportTemplates::FromResources();
    c.damage(t);
    EXPECT_EQ(BuildReportPage(a.Source(), t, kPoint), t.main) << c.what;
  }
  ReportTemplates noMain = ReportTemplates::FromResources();
  noMain.main.clear();
  EXPECT_EQ(BuildReportPage(a.Source(), noMain, kPoint), L"");
}

TEST(ReportTemplates, SixResourcesByIdAndName) {
  const std::pair<int, const wchar_t*> expected[] = {{192, L"Report"},
                                                     {193, L"Report_Summary"},
                                                     {194, L"Report_Summary_Normal"},
                                                     {195, L"Report_Breath_Normal"},
                                                     {196, L"Report_Breath_Forced"},
                                                     {197, L"Report_Breath_Single"}};
  for (const auto& [id, name] : expected) {
    const HtmlResource* r = FindHtmlResource(id);
    ASSERT_NE(r, nullptr) << id;
    EXPECT_STREQ(r->name, name);
    for (const wchar_t* c = r->text; *c; ++c) ASSERT_LT(static_cast<unsigned>(*c), 128u) << name;
  }
  EXPECT_EQ(FindHtmlResource(191), nullptr);
  EXPECT_EQ(LoadHtmlResource(198), L"");
  const std::wstring main = LoadHtmlResource(192);
  EXPECT_NE(main.find(L"charset=utf-8"), std::wstring::npos);
  EXPECT_NE(main.find(L"<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">"), std::wstring::npos);
  EXPECT_NE(main.find(L"<title>Report</title>"), std::wstring::npos);
  EXPECT_NE(main.find(L"@media print"), std::wstring::npos);
}

}  // namespace
}  // namespace Spirometry
