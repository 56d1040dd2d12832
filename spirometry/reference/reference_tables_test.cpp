#include "spirometry/reference/reference_tables.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace Spirometry {
namespace {

const std::filesystem::path kSource = KYMORA_REFERENCE_SOURCE_DIR;

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Helpers that damage a file's text at a line (1-based, as the messages count).
std::string WithLine(const std::string& text, int number, const std::string& replacement, bool remove = false) {
  std::string out;
  std::size_t start = 0;
  for (int line = 1; start < text.size(); ++line) {
    const auto end = text.find('\n', start);
    const auto next = end == std::string::npos ? text.size() : end + 1;
    if (line != number)
      out += text.substr(start, next - start);
    else if (!remove)
      out += replacement + "\n";
    start = next;
  }
  return out;
}
std::string WithoutLine(const std::string& text, int number) { return WithLine(text, number, "", true); }

TEST(ReferenceTables, LoadTheShippedFilesWholeFromTheSourceAndTheBuildTree) {
  for (const auto& folder : {kSource, std::filesystem::path(KYMORA_REFERENCE_BUILD_DIR)}) {
    const auto tables = LoadReferenceTables(folder);
    ASSERT_TRUE(tables) << tables.ErrorMessage();
    for (const auto sex : {Sex::Male, Sex::Female}) {
      for (const auto measure : {ReferenceMeasure::Fev1, ReferenceMeasure::Fvc, ReferenceMeasure::Fev1Fvc}) {
        for (const auto* set : {&tables->gli2012, &tables->gliGlobal2022}) {
          const auto* curve = set->Find(sex, measure);
          ASSERT_NE(curve, nullptr);
          EXPECT_EQ(curve->firstAge, 3.0);
          EXPECT_EQ(curve->LastAge(), 95.0);
        }
      }
      EXPECT_EQ(tables->gli2012.Find(sex, ReferenceMeasure::Fef2575)->LastAge(), 90.0);
      EXPECT_EQ(tables->gli2012.Find(sex, ReferenceMeasure::Fef75)->LastAge(), 90.0);
      EXPECT_EQ(tables->gliGlobal2022.Find(sex, ReferenceMeasure::Fef75), nullptr);
    }
    // The first spline row and a coefficient with its source's digits.
    const auto* fev1 = tables->gli2012.Find(Sex::Male, ReferenceMeasure::Fev1);
    EXPECT_EQ(fev1->knots[0].m, -0.1133);
    EXPECT_EQ(fev1->mGroup[4], -0.0708);
    EXPECT_EQ(tables->gli2012.Find(Sex::Female, ReferenceMeasure::Fev1Fvc)->mLnHeight, -0.10780000000000001);
    EXPECT_EQ(tables->gliGlobal2022.Find(Sex::Male, ReferenceMeasure::Fev1)->knots[0].s, 0.18430736168469999);
  }
}

TEST(ReferenceTables, RefuseADamagedFileNamingTheLineAndTheFault) {
  const auto coefficients = ReadText(kSource / kGli2012CoefficientsFile);
  const auto splines = ReadText(kSource / kGli2012SplinesFile);
  const auto allButFemaleFef75 = splines.substr(0, splines.find("\n2,FEF75,") + 1);  // its rows come last
  struct Case {
    std::string coefficients, splines;
    std::string message;
  };
  const std::string row5 =
      "1,FEV1,-10.342,2.2196,0.0574,-0.1589,-0.0351,-0.0881,-0.0708,-2.3268,0.0798,0.1096,"
      "-0.3973,0.0327,0.0114,0.8866,0.085";
  const Case cases[] = {
      {WithLine(coefficients, 5, "1,FEV1,-10.3x2" + row5.substr(14)), splines,
       "c.csv line 5: '-10.3x2' in column a0 is not a finite number"},
      {WithLine(coefficients, 5, "1,FEV1,nan" + row5.substr(14)), splines, "c.csv line 5: 'nan' in column a0"},
      {WithLine(coefficients, 5, "1,FEV1,1e999" + row5.substr(14)), splines, "c.csv line 5: '1e999' in column a0"},
      {WithLine(coefficients, 5, "1,FEV1, -10.342" + row5.substr(14)), splines, "c.csv line 5: ' -10.342'"},
      {WithLine(coefficients, 5, "1,FEV1,,"), splines, "c.csv line 5: 4 fields where the header has 17"},
      {WithLine(coefficients, 6, row5), splines,
       "c.csv line 6: a second row for FEV1 of sex 1 (the first is on line 5)"},
      {WithLine(coefficients, 5, "3" + row5.substr(1)), splines, "c.csv line 5: sex '3' is neither 1 (male) nor 2"},
      {WithLine(coefficients, 5, "1,FEV6" + row5.substr(6)), splines, "c.csv line 5: unknown measure 'FEV6'"},
      {WithLine(coefficients, 4, "sex,f,a0"), splines, "c.csv line 4: the header is not 'sex,f,a0,a1,"},
      {"", splines, "c.csv: empty, no header"},
      {coefficients.substr(0, coefficients.find("\n1,FEV1,") + 1), splines, "c.csv: no rows after the header"},
      {coefficients, WithLine(splines, 5, "1,FEV1,3,0,-0.1133"), "s.csv line 5: 5 fields where the header has 6"},
      {coefficients, WithoutLine(splines, 6), "s.csv line 6: agebound 3.5 follows 3 for FEV1 of sex 1; the rows go up"},
      {coefficients, WithoutLine(splines, 5), "s.csv line 5: the rows of FEV1 of sex 1 start at 3.25 years, not at 3"},
      {coefficients, WithLine(splines, 6, "1,FEV1,3.2500001,0,-0.1073,0.2043"),
       "s.csv line 6: agebound 3.25 follows 3"},
      {WithoutLine(coefficients, 14), splines, "s.csv line 3266: FEF75 of sex 2 has no coefficients in c.csv"},
      {coefficients, allButFemaleFef75, "c.csv line 14: FEF75 of sex 2 has no rows in s.csv"},
      {coefficients, WithLine(splines, 7, std::string("1,FEV1,3.5,0,-0.1011,\x01\x02")),
       "s.csv line 7: '?"
       "?' in column"},
  };
  for (const auto& c : cases) {
    const auto set = ParseEquationSet(ReferenceEquations::Gli2012, c.coefficients, "c.csv", c.splines, "s.csv");
    ASSERT_FALSE(set) << c.message;
    EXPECT_EQ(set.ErrorMessage().rfind(c.message, 0), 0u) << set.ErrorMessage();
    EXPECT_NE(set.ErrorMessage().find("reinstall the program's reference tables"), std::string::npos);
    EXPECT_EQ(set.ErrorMessage().find_first_of("\r\n"), std::string::npos) << set.ErrorMessage();
  }
  // Line ends in CR LF are read as the source's own files have them.
  std::string crlf;
  for (char ch : splines) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  EXPECT_TRUE(ParseEquationSet(ReferenceEquations::Gli2012, coefficients, "c.csv", crlf, "s.csv"));
}

// A file cut short, or missing, is refused by the loader: the message names its path.
TEST(ReferenceTables, LoaderRefusesAFolderWithAFileCutShortOrMissing) {
  const auto folder = std::filesystem::temp_directory_path() / ("reference_tables_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  for (const auto& entry : std::filesystem::directory_iterator(kSource))
    std::filesystem::copy_file(entry.path(), folder / entry.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  const auto splines = folder / kGliGlobal2022SplinesFile;
  const auto text = ReadText(splines);
  std::ofstream(splines, std::ios::binary | std::ios::trunc) << text.substr(0, text.find("\n2,FEV1FVC,60,") + 1);
  auto tables = LoadReferenceTables(folder);
  ASSERT_FALSE(tables);
  EXPECT_EQ(tables.ErrorMessage(), splines.string() +
                                       ": the rows of FEV1FVC of sex 2 stop at 59.75 years, before 95; reinstall the "
                                       "program's reference tables");

  std::filesystem::remove(splines);
  tables = LoadReferenceTables(folder);
  ASSERT_FALSE(tables);
  EXPECT_EQ(tables.ErrorMessage(), splines.string() + ": cannot be read; reinstall the program's reference tables");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace Spirometry
