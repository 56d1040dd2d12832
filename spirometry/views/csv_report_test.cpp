// The CSV report against files written out by hand for a small analysis (views_test_support.h). The line
// ends are spelled out: CR LF after the export's own lines, a lone LF inside the fixed texts and before
// each breath row.
#include "spirometry/views/csv_report.h"

#include <gtest/gtest.h>

#include <cmath>

#include "spirometry/views/views_test_support.h"

namespace Spirometry {
namespace {

using testing::AddFourBreaths;
using testing::HandMadeAnalysis;

const NumberLocale kPoint{L".", L","};

constexpr const wchar_t* kHead =
    L"Settings\r\n"
    L"Flow,Volume,Cycle Detection Level,Forced Expiration Threshold\n"
    L"Channel 1,Channel 4,2.5% full range,1.5 x average volume\r\n"
    L"\r\n"
    L"Selection\r\n"
    L"Block 2 (from start of block)\n"
    L"User range\n"
    L"start (s),end (s)\n"
    L"0.5,24\r\n"
    L"Analyzed range\n"
    L"start (s),end (s)\n"
    L"1,20\r\n";

constexpr const wchar_t* kTableHeader =
    L"\r\n"
    L"Breath #,Ti (s),Te (s),Duration (s),V_T (L),PIF (L/s),PIF (L/min),PEF (L/s),PEF (L/min),FVC (L),FEV_1 (L),"
    L"FEV_1 / FVC (%)";

// VE = 0.875 L / 8.5 s and f = 2 / 8.5 s in single precision, per minute in double precision from those.
constexpr const wchar_t* kSummaries =
    L"\r\n"
    L"\r\n"
    L"Overall\r\n"
    L"Duration (s),Breaths\n"
    L"19,4\r\n"
    L"\r\n"
    L"non-forced\r\n"
    L"Duration (s),Breaths\n"
    L"8.5,2\r\n"
    L"\r\n"
    L"Non-forced breaths\r\n"
    L"V_E (L/s),V_E (L/min),Average V_T (L),f (Hz),f (/min)\n"
    L"0.102941,6.17647,0.4375,0.235294,14.1176";

TEST(CsvReport, EveryBreathListedWhenNonForcedAreIncluded) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.IncludeNonForced = true;
  const std::wstring expected = std::wstring(kHead) + kTableHeader +
                                L"\n1,2,2,4,0.5"
                                L"\n2 (forced),2.5,4.5,7,,2.25,135,6.5,390,3.25,2.5,76.9231"
                                L"\n3,2,2.5,4.5,0.375"
                                L"\n4 (single expiration),0,3.5,3.5,,,,3,180,1.5" +  // FEV1 beyond the data
                                kSummaries;
  EXPECT_EQ(BuildCsvReport(a.Source(), kPoint), expected);
}

TEST(CsvReport, OnlyForcedAndSingleListedWhenNonForcedAreLeftOut) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  const std::wstring expected = std::wstring(kHead) + kTableHeader +
                                L"\n2 (forced),2.5,4.5,7,,2.25,135,6.5,390,3.25,2.5,76.9231"
                                L"\n4 (single expiration),0,3.5,3.5,,,,3,180,1.5" +
                                kSummaries;
  EXPECT_EQ(BuildCsvReport(a.Source(), kPoint), expected);
}

TEST(CsvReport, NoTableWhenNoBreathIsListed) {
  HandMadeAnalysis a;
  a.Add({500, 1500, 2500, 1.5, 1.0, 0.75, -0.8, false, false});
  a.Add({6000, 7000, 8250, 1.25, 0.875, 0.5, -0.6, false, false});
  const std::wstring expected =
      L"Settings\r\n"
      L"Flow,Volume,Cycle Detection Level,Forced Expiration Threshold\n"
      L"Channel 1,Channel 4,2.5% full range,1.5 x average volume\r\n"
      L"\r\n"
      L"Selection\r\n"
      L"Block 2 (from start of block)\nUser range\nstart (s),end (s)\n0.5,24\r\n"
      L"Analyzed range\nstart (s),end (s)\n1,16.5\r\n"
      L"\r\n"
      L"\r\n"
      L"Overall\r\n"
      L"Duration (s),Breaths\n"
      L"8.5,2\r\n"
      L"\r\n"
      L"non-forced\r\n"
      L"Duration (s),Breaths\n"
      L"8.5,2\r\n"
      L"\r\n"
      L"Non-forced breaths\r\n"
      L"V_E (L/s),V_E (L/min),Average V_T (L),f (Hz),f (/min)\n"
      L"0.102941,6.17647,0.4375,0.235294,14.1176";
  EXPECT_EQ(BuildCsvReport(a.Source(), kPoint), expected);
}

TEST(CsvReport, EverySingleExpirationHasNoNonForcedSections) {
  HandMadeAnalysis a;
  a.Add({500, 500, 2000, 2.0, 0.5, 0.0, -3.0, false, true});
  a.Add({2000, 2000, 4000, 2.5, 0.5, 0.0, -3.5, false, true});
  a.SetVolumeOneSecondAfter(2000, 1.75);
  const std::wstring expected =
      L"Settings\r\n"
      L"Flow,Volume,Cycle Detection Level,Forced Expiration Threshold\n"
      L"Channel 1,Channel 4,2.5% full range,1.5 x average volume\r\n"
      L"\r\n"
      L"Selection\r\n"
      L"Block 2 (from start of block)\nUser range\nstart (s),end (s)\n0.5,24\r\n"
      L"Analyzed range\nstart (s),end (s)\n1,8\r\n" +
      std::wstring(kTableHeader) +
      L"\n1 (single expiration),0,3,3,,,,3,180,1.5"
      L"\n2 (single expiration),0,4,4,,,,3.5,210,2,0.75,37.5"
      L"\r\n"
      L"\r\n"
      L"Overall\r\n"
      L"Duration (s),Breaths\n"
      L"7,2\r\n";
  EXPECT_EQ(BuildCsvReport(a.Source(), kPoint), expected);
}

TEST(CsvReport, SemicolonsAndADecimalCommaInMillilitres) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.FlowUnitsPrefix = 7;
  const NumberLocale comma{L",", L";"};
  const std::wstring expected =
      L"Settings\r\n"
      L"Flow;Volume;Cycle Detection Level;Forced Expiration Threshold\n"
      L"Channel 1;Channel 4;2,5% full range;1,5 x average volume\r\n"
      L"\r\n"
      L"Selection\r\n"
      L"Block 2 (from start of block)\nUser range\nstart (s);end (s)\n0,5;24\r\n"
      L"Analyzed range\nstart (s);end (s)\n1;20\r\n"
      L"\r\n"
      L"Breath #;Ti (s);Te (s);Duration (s);V_T (mL);PIF (mL/s);PIF (mL/min);PEF (mL/s);PEF (mL/min);FVC (mL);"
      L"FEV_1 (mL);FEV_1 / FVC (%)"
      L"\n2 (forced);2,5;4,5;7;;2250;135000;6500;390000;3250;2500;76,9231"
      L"\n4 (single expiration);0;3,5;3,5;;;;3000;180000;1500"
      L"\r\n"
      L"\r\n"
      L"Overall\r\n"
      L"Duration (s);Breaths\n"
      L"19;4\r\n"
      L"\r\n"
      L"non-forced\r\n"
      L"Duration (s);Breaths\n"
      L"8,5;2\r\n"
      L"\r\n"
      L"Non-forced breaths\r\n"
      L"V_E (mL/s);V_E (mL/min);Average V_T (mL);f (Hz);f (/min)\n"
      L"102,941;6176,47;437,5;0,235294;14,1176";
  EXPECT_EQ(BuildCsvReport(a.Source(), comma), expected);
}

TEST(CsvReport, MicrolitresAreOneLatin1Byte) {
  HandMadeAnalysis a;
  AddFourBreaths(a);
  a.settings.FlowUnitsPrefix = 6;
  const std::string bytes = ToLatin1(BuildCsvReport(a.Source(), kPoint));
  EXPECT_NE(bytes.find("V_T (\xB5L),PIF (\xB5L/s),PIF (\xB5L/min)"), std::string::npos);
  EXPECT_NE(bytes.find("\n2 (forced),2.5,4.5,7,,2.25e+06,1.35e+08,6.5e+06,3.9e+08,3.25e+06,2.5e+06,76.9231"),
            std::string::npos);
}

// Both flags: the forced cells, both labels, counted once among the forced.
TEST(CsvReport, ForcedSingleExpirationShowsBothLabels) {
  HandMadeAnalysis a;
  a.Add({500, 1000, 3000, 3.0, 0.5, 1.0, -4.0, true, true});
  a.SetVolumeOneSecondAfter(1000, 1.0);
  const std::wstring text = BuildCsvReport(a.Source(), kPoint);
  EXPECT_NE(text.find(L"\n1 (forced) (single expiration),1,4,5,,1,60,4,240,2.5,2,80\r\n\r\nOverall\r\n"
                      L"Duration (s),Breaths\n5,1\r\n"),
            std::wstring::npos)
      << std::string(text.begin(), text.end());
  EXPECT_EQ(text.find(L"non-forced"), std::wstring::npos);
}

// The times are sample counts over a whole-number rate in single precision, not the host's times: at
// 0.003 s per sample the rate is 333 per second, so 1000 samples (3 s to the host) are 3.003 s.
TEST(CsvReport, TimesAreSampleCountsOverTheRoundedRate) {
  HandMadeAnalysis a;
  a.Add({0, 300, 1000, 2.0, 1.0, 1.0, -1.0, false, false}, 2);
  a.settings.IncludeNonForced = true;
  const std::wstring text = BuildCsvReport(a.Source(), kPoint);
  EXPECT_NE(text.find(L"\n1,0.900901,2.1021,3.003,1\r\n"), std::wstring::npos) << std::string(text.begin(), text.end());
}

// A block slower than one sample in two seconds would round to a rate of zero; it keeps its exact rate
// (0.4 per second here), so 4 samples are 10 s.
TEST(CsvReport, ABlockSlowerThanHalfAHertzKeepsItsExactRate) {
  HandMadeAnalysis a;
  a.Add({0, 4, 10, 2.0, 1.0, 1.0, -1.0, false, false}, 3);
  a.settings.IncludeNonForced = true;
  const std::wstring text = BuildCsvReport(a.Source(), kPoint);
  EXPECT_NE(text.find(L"\n1,10,15,25,1\r\n"), std::wstring::npos) << std::string(text.begin(), text.end());
}

// Nothing to divide by gives 0, not an infinity, and a negated zero flow is written as 0: a forced breath
// without expired volume (its FEV1 reading lies above the start of expiration: nothing was expired, not a
// negative volume) and a non-forced breath that takes no time.
TEST(CsvReport, NothingToDivideByGivesZero) {
  HandMadeAnalysis a;
  a.Add({500, 1500, 2500, 1.0, 1.0, 0.5, 0.0, true, false});
  a.SetVolumeOneSecondAfter(1500, 1.25);
  a.Add({3000, 3000, 3000, 1.5, 1.0, 0.75, -0.8, false, false});
  const std::wstring text = BuildCsvReport(a.Source(), kPoint);
  const std::wstring tail =
      L"\n1 (forced),2,2,4,,0.5,30,0,0,0,0,0"
      L"\r\n"
      L"\r\n"
      L"Overall\r\n"
      L"Duration (s),Breaths\n"
      L"4,2\r\n"
      L"\r\n"
      L"non-forced\r\n"
      L"Duration (s),Breaths\n"
      L"0,1\r\n"
      L"\r\n"
      L"Non-forced breaths\r\n"
      L"V_E (L/s),V_E (L/min),Average V_T (L),f (Hz),f (/min)\n"
      L"0,0,0.5,0,0";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// A volume or flow that could not be measured (a gap in the data) is a blank cell, and stays out of VE and
// the average VT: VE = 0.5 L / 4 s, f = 2 / 6 s.
TEST(CsvReport, ValuesThatCouldNotBeMeasuredAreBlankAndLeftOutOfTheSums) {
  HandMadeAnalysis a;
  AddBreathsWithValuesThatCouldNotBeMeasured(a);
  const std::wstring text = BuildCsvReport(a.Source(), kPoint);
  const std::wstring tail =
      L"\n1,2,2,4,0.5"
      L"\n2,1,1,2,"
      L"\n3 (forced),1,4,5,,,,6.5,390,3.25,2.5,76.9231"
      L"\r\n\r\nOverall\r\nDuration (s),Breaths\n11,3\r\n"
      L"\r\nnon-forced\r\nDuration (s),Breaths\n6,2\r\n"
      L"\r\nNon-forced breaths\r\nV_E (L/s),V_E (L/min),Average V_T (L),f (Hz),f (/min)\n"
      L"0.125,7.5,0.5,0.333333,20";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << std::string(text.begin(), text.end());
}

}  // namespace
}  // namespace Spirometry
