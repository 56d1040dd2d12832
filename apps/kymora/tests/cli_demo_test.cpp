// The main job end to end: the demo analyses the bundled sample recording and writes the report, the CSV
// export and pictures of the two views; the forced expirations it finds are the ones the recording was made
// with.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST(CliDemo, WritesTheReportAndTheExportOfTheSampleRecording) {
  TempDir dir;
  auto out = dir.File("demo");
  auto r = RunKymora({"demo", "--out", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("The report is "), std::string::npos) << r.out;

  auto html = Slurp(out + "/report.html");
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  for (const char* box :
       {"Breath 11 (forced)", "Breath 22 (forced)", "Breath 33 (forced)", "Summary", "Non-forced Breaths"})
    EXPECT_NE(html.find(box), std::string::npos) << box;

  // The CSV rows of the forced breaths: FVC and FEV1 against what the recording was made with (the script's
  // notes in samples/README.md), allowing for the amplifier offset and the noise the script adds.
  auto csv = Slurp(out + "/report.csv");
  const struct {
    const char* label;
    double fvc, fev1;
  } made[] = {{"11 (forced)", 4.130, 3.407}, {"22 (forced)", 4.104, 3.500}, {"33 (forced)", 4.352, 3.471}};
  for (const auto& m : made) {
    auto at = csv.find(std::string("\n") + m.label + ",");
    ASSERT_NE(at, std::string::npos) << m.label << "\n" << csv;
    std::vector<std::string> cells;
    std::stringstream row(csv.substr(at + 1, csv.find_first_of("\r\n", at + 1) - at - 1));
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 12u) << m.label;  // label, Ti, Te, duration, (VT), PIF, PIF/min, PEF, PEF/min, FVC, FEV1, %
    EXPECT_NEAR(std::stod(cells[9]), m.fvc, 0.05) << m.label;
    EXPECT_NEAR(std::stod(cells[10]), m.fev1, 0.02) << m.label;
  }
  EXPECT_NE(csv.find("Overall\r\nDuration (s),Breaths\n"), std::string::npos);

  // The two views drawn without a window, as vector pictures and as bitmaps.
  for (const char* base : {"/data-window", "/flow-volume"}) {
    EXPECT_EQ(Slurp(out + base + ".png").rfind("\x89PNG\r\n", 0), 0u) << base;
    const std::string svg = Slurp(out + base + ".svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos) << base;
    EXPECT_NE(r.out.find(std::string("Picture: ") + out + base + ".png"), std::string::npos) << r.out;
  }
}

// The sample recording with one empty cell at 60 s: the analysis says so and goes on. The forced
// expiration at 44 s, before the gap, is still found, and nothing reads "nan" or "inf".
TEST(CliDemo, AMissingSampleIsCountedAndLeftOut) {
  TempDir dir;
  std::string csv = Slurp(KYMORA_SAMPLES_DIR "/spirometry_demo.csv");
  const auto at = csv.find("\n60.000,");
  ASSERT_NE(at, std::string::npos);
  csv.erase(at + 8, csv.find('\n', at + 1) - at - 8);
  dir.Write("gap.csv", csv);
  auto r = RunKymora(
      {"spirometry", dir.File("gap.csv"), "--raw-channel", "1", "--preset", "3", "--json", "--out", dir.File("out")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("1 sample of the flow channel (channel 2) in the selection is missing"), std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("\"valid\": true"), std::string::npos);
  const std::regex forcedAt44(
      "\"IsForced\": true, [^{]*\\{[^}]*\\}, [^{]*\\{[^}]*\\}, \"MaxVolumePosition\": \\{\"offset\": 4[34]\\d{3},");
  EXPECT_TRUE(std::regex_search(r.out, forcedAt44)) << r.out;
  for (const std::string& text :
       {r.out, Slurp(dir.File("out") + "/report.csv"), Slurp(dir.File("out") + "/report.html")})
    EXPECT_FALSE(std::regex_search(text, std::regex("\\b(nan|inf)\\b", std::regex::icase)));
}

// A selection that ends inside a breath reports only the breaths that end within it.
TEST(CliDemo, NothingReportedLiesBeyondTheSelection) {
  auto r = RunKymora({"spirometry", KYMORA_SAMPLES_DIR "/spirometry_demo.csv", "--raw-channel", "1", "--preset", "3",
                      "--to", "45", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::regex offset("\"offset\": (\\d+)");
  int positions = 0;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), offset), end; it != end; ++it, ++positions)
    EXPECT_LE(std::stoi((*it)[1]), 45000) << r.out;
  EXPECT_GT(positions, 50);
}
