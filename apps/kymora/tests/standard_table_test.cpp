#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "apps/kymora/measure_set.h"
#include "apps/kymora/spirometry_standard.h"

using namespace kymora::cli;
using namespace Spirometry;

namespace {
constexpr std::uint32_t kAll = kShowInJson | kShowInCsv | kShowInTable;
SpiroMeasureInfo Info(const char* key, std::int32_t unit, std::int32_t digits, bool fixed, std::int32_t width) {
  return {key, key, key, unit, digits, fixed ? kTrue16 : kFalse16, width, kAll};
}
SpiroMeasureValue Number(double v) { return {kValueNumber, v}; }
}  // namespace

// How the table and the CSV files write a value, whatever measure it is.
TEST(MeasureCells, TableAndCsvWriteEachKindOfValue) {
  struct Case {
    SpiroMeasureInfo info;
    SpiroMeasureValue value;
    const char* table;  // in mL (factor 1000)
    const char* csv;    // in L
  };
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {Info("t0", kUnitSeconds, 3, true, 7), Number(1.25), "  1.250", "1.25"},
      {Info("BEV", kUnitLitres, 4, false, 10), Number(0.05), "        50", "0.05"},
      {Info("FEV6", kUnitLitres, 4, false, 10), Number(nan), "         -", ""},
      {Info("FEF", kUnitLitresPerSecond, 4, false, 12), Number(inf), "           -", ""},
      {Info("FEV1", kUnitLitres, 4, false, 10), {kValueMissing, 0.0}, "         -", ""},
      {Info("Ratio", kUnitPercent, 3, false, 9), Number(82.63726), "    82.6%", "82.6373"},
      {Info("Breath", kUnitNone, 6, false, -7), {kValueCount, 11}, "11     ", "11"},
      {Info("Plateau", kUnitNone, 6, false, 4), {kValueYesNo, 1}, " yes", "yes"},
      {Info("Grade", kUnitNone, 6, false, 2), {kValueLetter, 'B'}, " B", "B"},
      {Info("FVC", kUnitLitres, 6, false, 8), Number(4.1201209723949432), " 4120.12", "4.12012"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TableCell(c.info, c.value, 1000.0), c.table) << c.info.Key;
    EXPECT_EQ(CsvCell(c.value), c.csv) << c.info.Key;
  }
}

TEST(MeasureCells, TitlesCarryTheUnitAndItsPrefix) {
  EXPECT_EQ(TableTitle(Info("FEV1", kUnitLitres, 4, false, 10), "m"), " FEV1 (mL)");
  EXPECT_EQ(TableTitle(Info("t0", kUnitSeconds, 3, true, 7), "m"), " t0 (s)");
  EXPECT_EQ(TableTitle(Info("FEV1/FVC", kUnitPercent, 3, false, 9), "m"), " FEV1/FVC");
  EXPECT_EQ(TableTitle(Info("Breath", kUnitNone, 6, false, -7), "m"), "Breath ");
  EXPECT_EQ(CsvTitle(Info("FEF25-75", kUnitLitresPerSecond, 4, false, 12)), "FEF25-75 (L/s)");
  EXPECT_EQ(CsvTitle(Info("FEV1/FVC", kUnitPercent, 3, false, 9)), "FEV1/FVC (%)");
  EXPECT_EQ(CsvTitle(Info("Plateau", kUnitNone, 6, false, 4)), "Plateau");
}

TEST(StandardTable, AManoeuvreThatCouldNotBeMeasuredSaysSoOnItsRow) {
  StandardResults r;
  r.manoeuvres.infos = {Info("Breath", kUnitNone, 6, false, -7), Info("Measured", kUnitNone, 6, false, 3),
                        Info("FEV1", kUnitLitres, 4, false, 10)};
  r.manoeuvres.values = {{kValueCount, 4}, {kValueYesNo, 0}, Number(0.0)};
  const std::string text = StandardTableText(r, 1.0, "");
  EXPECT_NE(text.find("\n4       not measured ("), std::string::npos) << text;
}
