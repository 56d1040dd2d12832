// The main job end to end: the demo analyses the bundled sample recording and writes the report, the CSV
// export and pictures of the two views; the forced expirations it finds are the ones the recording was made
// with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "apps/kymora/spirometry_outputs.h"
#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The numbers after each "key": in the text, in order.
std::vector<long> NumbersAfter(const std::string& text, const std::string& key) {
  std::vector<long> numbers;
  const std::string quoted = "\"" + key + "\": ";
  for (auto at = text.find(quoted); at != std::string::npos; at = text.find(quoted, at + 1))
    numbers.push_back(std::strtol(text.c_str() + at + quoted.size(), nullptr, 10));
  return numbers;
}

// Whether the text holds the word in any case, not as part of a longer word.
bool HoldsWord(std::string text, const std::string& word) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto letter = [&](std::size_t i) { return i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); };
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
    if ((at == 0 || !letter(at - 1)) && !letter(at + word.size())) return true;
  return false;
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
  // The report laid out for paper by the desktop program's browser engine.
  EXPECT_EQ(Slurp(out + "/report.pdf").rfind("%PDF-", 0), 0u);
  EXPECT_NE(r.out.find("As PDF: " + out + "/report.pdf"), std::string::npos) << r.out;
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
  // Each breath's "IsForced" comes before its "MaxVolumePosition".
  std::vector<long> forcedAt;
  for (auto at = r.out.find("\"IsForced\": true"); at != std::string::npos;
       at = r.out.find("\"IsForced\": true", at + 1))
    forcedAt.push_back(NumbersAfter(r.out.substr(r.out.find("\"MaxVolumePosition\"", at)), "offset").front());
  EXPECT_TRUE(std::any_of(forcedAt.begin(), forcedAt.end(), [](long t) { return t >= 43000 && t < 45000; })) << r.out;
  for (const std::string& text :
       {r.out, Slurp(dir.File("out") + "/report.csv"), Slurp(dir.File("out") + "/report.html")})
    EXPECT_FALSE(HoldsWord(text, "nan") || HoldsWord(text, "inf"));
}

// A selection that ends inside a breath reports only the breaths that end within it.
TEST(CliDemo, NothingReportedLiesBeyondTheSelection) {
  auto r = RunKymora({"spirometry", KYMORA_SAMPLES_DIR "/spirometry_demo.csv", "--raw-channel", "1", "--preset", "3",
                      "--to", "45", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<long> offsets = NumbersAfter(r.out, "offset");
  EXPECT_GT(offsets.size(), 50u);
  for (long offset : offsets) EXPECT_LE(offset, 45000) << r.out;
}

// Why report.pdf could not be made, from what the desktop program wrote: its own message, the engine's last
// line, and a hint when the engine refused to run as root.
TEST(ReportPdfFailure, ReasonNamesWhatTheDesktopProgramOrTheEngineSaid) {
  const std::string sandboxLine =
      "[1:1:ERROR:zygote_host_impl_linux.cc(90)] Running as root without --no-sandbox is not supported.";
  const struct {
    std::string output, reason;
  } cases[] = {
      {"Qt: a warning\nkymora-gui: the page cannot be read\nlater noise\n", "the page cannot be read"},
      {"first\n\nthe engine's last words\n\n", "the browser engine did not start: the engine's last words"},
      {"", "the browser engine did not start"},
      {"noise\n" + sandboxLine + "\n",
       "the browser engine did not start: " + sandboxLine +
           " (run as root, the browser engine needs QTWEBENGINE_DISABLE_SANDBOX=1, as scripts/browser-env.sh sets)"},
  };
  for (const auto& c : cases) EXPECT_EQ(kymora::cli::BrowserFailureReason(c.output), c.reason) << c.output;
}
