#include "spirometry/reference/reference_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

namespace Spirometry {
namespace {

const ReferenceTables& ShippedTables() {
  static const auto tables = LoadReferenceTables(KYMORA_REFERENCE_SOURCE_DIR);
  EXPECT_TRUE(tables) << tables.ErrorMessage();
  return *tables;
}

// An independent reading of the published tables: the original CSV files (not the shipped copies), one map of
// named columns per row, and the formulas of the tables' own description written out below.
using Row = std::map<std::string, double>;
using Key = std::tuple<int, std::string, double>;  // sex, f, agebound (-1 for the coefficients)

std::map<Key, Row> ReadShared(const std::filesystem::path& file, bool withAge) {
  std::ifstream in(file);
  std::string line;
  std::vector<std::string> names;
  std::map<Key, Row> rows;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cells;
    std::stringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    if (names.empty()) {
      names = cells;
      continue;
    }
    Row row;
    for (std::size_t i = 2; i < cells.size(); ++i) row[names[i]] = std::stod(cells[i]);
    rows[{std::stoi(cells[0]), cells[1], withAge ? row["agebound"] : -1.0}] = row;
  }
  return rows;
}

struct Shared {
  std::map<Key, Row> lookup2012, globalCoefficients, globalSplines;
};

const Shared* SharedTables() {
  static const auto shared = []() -> std::optional<Shared> {
    const char* extdata = std::getenv("KYMORA_EXTDATA");
    if (!extdata) return std::nullopt;
    const auto folder = std::filesystem::path(extdata) / ".." / "reference-equations";
    if (!std::filesystem::exists(folder / "gli_2012_lookup.csv")) return std::nullopt;
    return Shared{ReadShared(folder / "gli_2012_lookup.csv", true),
                  ReadShared(folder / "gli_global_2022_coefficients.csv", false),
                  ReadShared(folder / "gli_global_2022_splines.csv", true)};
  }();
  return shared ? &*shared : nullptr;
}

Lms SharedLms2012(const Shared& shared, int sex, const std::string& f, double age, double height, int group) {
  const double agebound = std::floor(age * 4) / 4;
  const auto& r = shared.lookup2012.at({sex, f, agebound});
  auto spline = [&](const char* at, const char* next) {
    return r.at(at) + (r.at(next) - r.at(at)) * (age - agebound) / 0.25;
  };
  auto is = [&](int g) { return group == g ? 1.0 : 0.0; };
  const double lnA = std::log(age);
  Lms lms;
  lms.l = r.at("q0") + r.at("q1") * lnA + spline("l0", "l1");
  lms.m = std::exp(r.at("a0") + r.at("a1") * std::log(height) + r.at("a2") * lnA + r.at("a3") * is(2) +
                   r.at("a4") * is(3) + r.at("a5") * is(4) + r.at("a6") * is(5) + spline("m0", "m1"));
  lms.s = std::exp(r.at("p0") + r.at("p1") * lnA + r.at("p2") * is(2) + r.at("p3") * is(3) + r.at("p4") * is(4) +
                   r.at("p5") * is(5) + spline("s0", "s1"));
  return lms;
}

Lms SharedLmsGlobal(const Shared& shared, int sex, const std::string& f, double age, double height) {
  const auto& c = shared.globalCoefficients.at({sex, f, -1.0});
  const double agebound = std::floor(age * 4) / 4;
  const auto& r0 = shared.globalSplines.at({sex, f, agebound});
  const auto next = shared.globalSplines.find({sex, f, agebound + 0.25});
  const auto& r1 = next == shared.globalSplines.end() ? r0 : next->second;
  auto spline = [&](const char* name) { return r0.at(name) + (r1.at(name) - r0.at(name)) * (age - agebound) / 0.25; };
  const double lnA = std::log(age);
  return Lms{
      c.at("l0") + c.at("l_ln_age") * lnA + spline("Lspline"),
      std::exp(c.at("m0") + c.at("m_ln_height_cm") * std::log(height) + c.at("m_ln_age") * lnA + spline("Mspline")),
      std::exp(c.at("s0") + c.at("s_ln_age") * lnA + spline("Sspline"))};
}

// Within 1e-9 of the expected value, relative; a z-score near zero within 1e-9 absolute.
void ExpectClose(double expected, double actual, const std::string& what) {
  EXPECT_LE(std::abs(actual - expected), 1e-9 * std::abs(expected))
      << what << ": expected " << expected << ", got " << actual;
}
void ExpectCloseZ(double expected, double actual, const std::string& what) {
  EXPECT_LE(std::abs(actual - expected), 1e-9 * std::max(1.0, std::abs(expected)))
      << what << ": expected " << expected << ", got " << actual;
}

TEST(ReferenceValues, EqualThePublishedTablesOverAGridOfSubjects) {
  const auto* shared = SharedTables();
  if (!shared) GTEST_SKIP() << "the shared reference tables are not there";
  const auto& tables = ShippedTables();
  const double ages[] = {3.0,   3.1,  5.5,   8.0,   12.37, 17.99, 18.0, 25.0,  25.1,
                         25.25, 40.6, 60.74, 75.75, 89.99, 90.0,  90.1, 94.99, 95.0};
  const std::pair<ReferenceMeasure, const char*> measures[] = {{ReferenceMeasure::Fev1, "FEV1"},
                                                               {ReferenceMeasure::Fvc, "FVC"},
                                                               {ReferenceMeasure::Fev1Fvc, "FEV1FVC"},
                                                               {ReferenceMeasure::Fef2575, "FEF2575"},
                                                               {ReferenceMeasure::Fef75, "FEF75"}};
  int compared = 0;
  for (const double age : ages)
    for (const double height : {110.0, 150.0, 172.0, 195.0})
      for (const auto sex : {Sex::Male, Sex::Female})
        for (const auto& [measure, f] : measures)
          for (int group = 0; group <= 5; ++group) {  // 0: GLI Global 2022
            const bool fef = measure == ReferenceMeasure::Fef2575 || measure == ReferenceMeasure::Fef75;
            if (group == 0 && fef) continue;
            const auto equations = group == 0 ? ReferenceEquations::GliGlobal2022 : ReferenceEquations::Gli2012;
            ReferenceSubject subject{age, height, sex, std::nullopt};
            if (group > 0) subject.ethnicGroup = static_cast<EthnicGroup>(group);
            std::ostringstream what;
            what << EquationsName(equations) << " group " << group << " sex " << static_cast<int>(sex) << " " << f
                 << " age " << age << " height " << height;
            const double measured = group == 0 ? 0.8 : 1.1;  // times the predicted value
            if (fef && age > 90.0) {
              const auto none = CompareWithReference(tables, equations, subject, measure, 1.0);
              EXPECT_FALSE(none) << what.str();
              EXPECT_NE(none.reason.find("to 90 years"), std::string::npos) << what.str() << ": " << none.reason;
              continue;
            }
            const Lms expected = group == 0 ? SharedLmsGlobal(*shared, static_cast<int>(sex), f, age, height)
                                            : SharedLms2012(*shared, static_cast<int>(sex), f, age, height, group);
            const double x = measured * expected.m;
            const auto result = CompareWithReference(tables, equations, subject, measure, x);
            ASSERT_TRUE(result) << what.str() << ": " << result.reason;
            const auto& v = *result.value;
            const double ls = expected.l * expected.s;
            ExpectClose(expected.m, v.predicted, what.str() + " predicted");
            ExpectClose(expected.m * std::pow(1 - 1.645 * ls, 1 / expected.l), v.lln.value_or(NAN),
                        what.str() + " LLN");
            ExpectClose(expected.m * std::pow(1 + 1.645 * ls, 1 / expected.l), v.uln.value_or(NAN),
                        what.str() + " ULN");
            ExpectCloseZ((std::pow(x / expected.m, expected.l) - 1) / ls, v.z.value_or(NAN), what.str() + " z");
            ExpectClose(100 * x / expected.m, v.percentPredicted.value_or(NAN), what.str() + " % predicted");
            ++compared;
          }
  EXPECT_GT(compared, 3000);
}

// Worked by hand with python3 from the shared CSV files and the formulas of their description: the row at
// floor(age * 4) / 4, its spline values interpolated to the age, then L, M, S, z, LLN and % predicted.
TEST(ReferenceValues, MatchCasesWorkedByHand) {
  struct Case {
    ReferenceEquations equations;
    ReferenceSubject subject;
    ReferenceMeasure measure;
    double measured, predicted, lln, uln, z, percent;
  };
  using E = ReferenceEquations;
  using M = ReferenceMeasure;
  // clang-format off
  const Case cases[] = {
      {E::GliGlobal2022, {45.5, 172.0, Sex::Female, {}}, M::Fev1, 3.2,
       3.13797508496, 2.34497398384, 3.8897724832, 0.132792616609, 101.976590424},
      {E::GliGlobal2022, {25.1, 180.0, Sex::Male, {}}, M::Fev1Fvc, 0.78,  // between the rows 25 and 25.25
       0.845615454075, 0.738272529079, 0.933247139581, -1.05171771774, 92.2405091157},
      {E::GliGlobal2022, {95.0, 170.0, Sex::Male, {}}, M::Fvc, 2.5,  // the last row
       3.08732738012, 2.24553729781, 3.94458336633, -1.14405706739, 80.9761872388},
      {E::Gli2012, {10.6, 140.0, Sex::Male, EthnicGroup::NorthEastAsian}, M::Fvc, 2.1,
       2.28701587875, 2.01378439988, 2.56195592081, -1.12475386309, 91.8227118365},
      {E::Gli2012, {70.0, 160.0, Sex::Female, EthnicGroup::AfricanAmerican}, M::Fef2575, 1.9,
       1.61620924359, 0.613570313875, 3.15032056903, 0.353581553018, 117.559035597},
      {E::Gli2012, {6.3, 118.0, Sex::Female, EthnicGroup::Other}, M::Fev1Fvc, 0.91,
       0.923702062448, 0.825269416248, 0.993222408969, -0.272927705925, 98.516614501},
  };
  // clang-format on
  for (const auto& c : cases) {
    const auto result = CompareWithReference(ShippedTables(), c.equations, c.subject, c.measure, c.measured);
    ASSERT_TRUE(result) << result.reason;
    const auto& v = *result.value;
    const std::string what(MeasureName(c.measure));
    // The hand values carry 12 significant digits.
    EXPECT_NEAR(v.predicted / c.predicted, 1.0, 1e-11) << what;
    EXPECT_NEAR(*v.lln / c.lln, 1.0, 1e-11) << what;
    EXPECT_NEAR(*v.uln / c.uln, 1.0, 1e-11) << what;
    EXPECT_NEAR(*v.z, c.z, 1e-11) << what;
    EXPECT_NEAR(*v.percentPredicted, c.percent, 1e-9) << what;
  }
}

TEST(ReferenceValues, NoValueWithAReasonOutsideTheEquations) {
  using E = ReferenceEquations;
  using M = ReferenceMeasure;
  const auto caucasian = EthnicGroup::Caucasian;
  struct Case {
    E equations;
    ReferenceSubject subject;
    M measure;
    bool hasValue;
    const char* reason;  // a part of the reason; empty with a value
  };
  const Case cases[] = {
      {E::GliGlobal2022, {2.99, 95.0, Sex::Male, {}}, M::Fev1, false, "ages 3 to 95 years, not 2.99"},
      {E::GliGlobal2022, {3.0, 95.0, Sex::Male, {}}, M::Fev1, true, ""},
      {E::GliGlobal2022, {95.0, 170.0, Sex::Female, {}}, M::Fvc, true, ""},
      {E::GliGlobal2022, {95.01, 170.0, Sex::Female, {}}, M::Fvc, false, "not 95.01"},
      {E::Gli2012, {90.0, 170.0, Sex::Female, caucasian}, M::Fef75, true, ""},
      {E::Gli2012, {90.25, 170.0, Sex::Female, caucasian}, M::Fef75, false, "GLI-2012 gives it from 3 to 90 years"},
      {E::GliGlobal2022, {40.0, 170.0, Sex::Female, {}}, M::Fef2575, false, "GLI Global 2022 has no equation for it"},
      {E::GliGlobal2022, {17.9, 80.0, Sex::Male, {}}, M::Fev1, true, ""},
      {E::GliGlobal2022,
       {17.9, 79.9, Sex::Male, {}},
       M::Fev1,
       false,
       "outside 80 to 250 cm, the range used for children"},
      {E::GliGlobal2022,
       {18.0, 99.9, Sex::Male, {}},
       M::Fev1,
       false,
       "outside 100 to 250 cm, the range used for adults"},
      {E::GliGlobal2022, {18.0, 100.0, Sex::Male, {}}, M::Fev1, true, ""},
      {E::GliGlobal2022, {40.0, 250.0, Sex::Male, {}}, M::Fev1, true, ""},
      {E::GliGlobal2022, {40.0, 250.1, Sex::Male, {}}, M::Fev1, false, "a height of 250.1 cm"},
      {E::GliGlobal2022, {40.0, 1.72, Sex::Male, {}}, M::Fev1, false, "give the height in centimetres"},
      {E::GliGlobal2022, {{}, 170.0, Sex::Male, {}}, M::Fev1, false, "set the subject's age."},
      {E::GliGlobal2022, {NAN, {}, {}, {}}, M::Fev1, false, "set the subject's age, height and sex."},
      {E::Gli2012, {40.0, 170.0, Sex::Male, {}}, M::Fev1, false, "set the subject's ethnic group"},
      {E::Gli2012, {40.0, 170.0, Sex::Male, static_cast<EthnicGroup>(6)}, M::Fev1, false, "ethnic group"},
      {E::GliGlobal2022, {40.0, 170.0, static_cast<Sex>(3), {}}, M::Fev1, false, "set the subject's sex."},
      {E::GliGlobal2022, {40.0, 170.0, Sex::Male, {}}, M::Fev1, true, ""},  // GLI Global needs no group
  };
  for (const auto& c : cases) {
    const auto result = CompareWithReference(ShippedTables(), c.equations, c.subject, c.measure, std::nullopt);
    EXPECT_EQ(result.value.has_value(), c.hasValue) << c.reason << " | " << result.reason;
    EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
    EXPECT_EQ(result.reason.find('\n'), std::string::npos);
    if (c.hasValue) {
      EXPECT_TRUE(result.reason.empty()) << result.reason;
      EXPECT_FALSE(result.value->z);  // nothing measured
    }
  }
}

TEST(ReferenceValues, AMeasuredValueThatIsNotPositiveGivesNoZScore) {
  const ReferenceSubject subject{45.0, 172.0, Sex::Female, {}};
  for (const double measured : {0.0, -1.0, double(NAN)}) {
    const auto result = CompareWithReference(ShippedTables(), ReferenceEquations::GliGlobal2022, subject,
                                             ReferenceMeasure::Fev1, measured);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result.value->z);
    EXPECT_FALSE(result.value->percentPredicted);
    EXPECT_TRUE(result.value->lln);
    EXPECT_NE(result.reason.find("is not a positive number"), std::string::npos) << result.reason;
  }
}

// With L at 0 the power forms divide by zero; their limits are the log-normal ones.
TEST(ReferenceValues, AZeroSkewnessUsesTheLogNormalLimits) {
  const Lms lms{0.0, 3.0, 0.1};
  const auto v = CompareWithLms(lms, 3.3);
  EXPECT_NEAR(*v.lln, 3.0 * std::exp(-1.645 * 0.1), 1e-12);
  EXPECT_NEAR(*v.uln, 3.0 * std::exp(1.645 * 0.1), 1e-12);
  EXPECT_NEAR(*v.z, std::log(1.1) / 0.1, 1e-12);
  // Where 1 - 1.645 L S is not positive there is no lower limit.
  EXPECT_FALSE(CompareWithLms(Lms{7.0, 0.8, 0.1}, 0.7).lln);
}

}  // namespace
}  // namespace Spirometry
