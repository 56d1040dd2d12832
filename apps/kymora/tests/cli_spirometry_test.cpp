// The spirometry command end to end: a flow-head recording made from a formula, imported, analysed through
// the Spirometry extension's calculations, detectors and document, saved and reopened.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
using std::numbers::pi;
constexpr double kSecsPerTick = 0.001;
constexpr double kHeadScale = 40.1;  // "Vantor 1000L", preset 3

// Flow in L/s: quiet, three tidal breaths (0.5 L/s sines of 4 s), then three forced expirations (3 L in over
// 2 s, 3 L out over 1.5 s), each followed by two tidal breaths, then quiet.
struct Recording {
  std::vector<double> flow;
  std::vector<std::int64_t> forcedMaxVolumeTicks;
};

Recording MakeRecording() {
  Recording r;
  auto tidal = [&](int cycles) {
    for (int c = 0; c < cycles; ++c)
      for (int i = 0; i < 4000; ++i) r.flow.push_back(0.5 * std::sin(2.0 * pi * i / 4000.0));
  };
  r.flow.assign(500, 0.0);
  tidal(3);
  for (int f = 0; f < 3; ++f) {
    const auto start = static_cast<std::int64_t>(r.flow.size());
    for (int i = 0; i < 2000; ++i) r.flow.push_back(0.75 * pi * std::sin(pi * i / 2000.0));
    for (int i = 0; i < 1500; ++i) r.flow.push_back(-pi * std::sin(pi * i / 1500.0));
    r.forcedMaxVolumeTicks.push_back(start + 1999);  // the last sample of positive flow
    tidal(2);
  }
  r.flow.insert(r.flow.end(), 1000, 0.0);
  return r;
}

std::string Csv(const Recording& r, bool secondBlock) {
  std::string text = "# flow-head voltage at 1 kHz\nTime (s),Raw flow (V)\n";
  char line[64];
  auto block = [&] {
    for (std::size_t i = 0; i < r.flow.size(); ++i) {
      std::snprintf(line, sizeof line, "%.3f,%.9g\n", static_cast<double>(i) * kSecsPerTick, r.flow[i] / kHeadScale);
      text += line;
    }
  };
  block();
  if (secondBlock) {
    text += "# block\n";
    block();
  }
  return text;
}

// The volume expired in the second after a tick, as the hand sums it sample by sample.
double ExpiredWithinOneSecond(const Recording& r, std::int64_t tick) {
  double v = 0.0;
  for (std::int64_t j = tick + 1; j <= tick + 1000; ++j) v -= r.flow[static_cast<std::size_t>(j)] * kSecsPerTick;
  return v;
}

// The number after "key": in text (from position from), or NaN.
double NumberAfter(const std::string& text, const std::string& key, std::size_t from = 0) {
  auto at = text.find("\"" + key + "\": ", from);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + key.size() + 4, nullptr);
}

struct BreathText {
  std::string text;
  bool forced;
};

// The breath objects of the JSON output, in order.
std::vector<BreathText> Breaths(const std::string& json) {
  std::vector<BreathText> breaths;
  const std::string marker = "{\"PeakInspiratoryFlow\"";
  for (auto at = json.find(marker); at != std::string::npos;) {
    auto next = json.find(marker, at + 1);
    std::string one = json.substr(at, next == std::string::npos ? std::string::npos : next - at);
    breaths.push_back({one, one.find("\"IsForced\": true") != std::string::npos});
    at = next;
  }
  return breaths;
}

TEST(CliSpirometry, FindsForcedExpirationsAndTheirFev1AndKeepsTheSettings) {
  TempDir dir;
  const Recording rec = MakeRecording();
  dir.Write("flow.csv", Csv(rec, false));
  const auto kymo = dir.File("flow.kymo");
  auto imported = RunKymora({"import", dir.File("flow.csv"), kymo});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;

  auto run = RunKymora({"spirometry", kymo, "--raw-channel", "1", "--preset", "3", "--json", "--save",
                        "--detection-level", "2", "--forced-threshold", "1.8"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\"valid\": true"), std::string::npos) << run.out;
  const auto breaths = Breaths(run.out);
  ASSERT_EQ(breaths.size(), 12u) << run.out;
  std::vector<std::size_t> forced;
  for (std::size_t i = 0; i < breaths.size(); ++i)
    if (breaths[i].forced) forced.push_back(i);
  ASSERT_EQ(forced, (std::vector<std::size_t>{3, 6, 9}));
  const double oneSample = pi * kSecsPerTick;  // the volume of one sample at the largest flow
  for (std::size_t f = 0; f < forced.size(); ++f) {
    const std::string& b = breaths[forced[f]].text;
    EXPECT_NEAR(NumberAfter(b, "offset", b.find("\"MaxVolumePosition\"")),
                static_cast<double>(rec.forcedMaxVolumeTicks[f]), 1.0);
    EXPECT_NEAR(NumberAfter(b, "FEV1"), ExpiredWithinOneSecond(rec, rec.forcedMaxVolumeTicks[f]), oneSample) << b;
    EXPECT_NEAR(NumberAfter(b, "FVC"), 3.0, 0.01);
    EXPECT_NEAR(NumberAfter(b, "PEF"), pi, 0.01);
  }
  EXPECT_NE(breaths[0].text.find("\"VT\": "), std::string::npos);
  EXPECT_EQ(NumberAfter(run.out, "Breaths"), 12.0);
  EXPECT_NEAR(NumberAfter(run.out, "f"), 0.25, 0.01);

  // Reopened without options: the saved settings and calculations analyse the same way.
  auto again = RunKymora({"spirometry", kymo, "--json"});
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(NumberAfter(again.out, "FlowChannel"), 1.0);
  EXPECT_EQ(NumberAfter(again.out, "VolumeChannel"), 2.0);
  EXPECT_EQ(NumberAfter(again.out, "DetectionLevel"), 2.0);
  EXPECT_EQ(NumberAfter(again.out, "ForcedExpThres"), 1.8);
  EXPECT_EQ(Breaths(again.out).size(), 12u);
  EXPECT_EQ(again.err.find("settings are needed"), std::string::npos) << again.err;

  // The readable table names the forced breaths too.
  auto table = RunKymora({"spirometry", kymo, "--flow-units", "mL/s"});
  ASSERT_EQ(table.exitCode, 0) << table.err;
  EXPECT_NE(table.out.find("forced"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("FEV1 (mL)"), std::string::npos) << table.out;
}

// Switches saved on can be saved off again; values out of their ranges are usage errors that write nothing.
TEST(CliSpirometry, SwitchesGoBothWaysAndOutOfRangeOptionsAreRefused) {
  TempDir dir;
  dir.Write("flow.csv", Csv(MakeRecording(), false));
  const auto kymo = dir.File("flow.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("flow.csv"), kymo}).exitCode, 0);
  // --raw-channel without --preset takes the flow calculation's own flow head.
  ASSERT_EQ(RunKymora({"spirometry", kymo, "--raw-channel", "1", "--save"}).exitCode, 0);
  struct Step {
    std::vector<std::string> options;
    const char* shows;
  };
  const Step steps[] = {
      {{"--include-non-forced", "--noise-floor", "0.01"},
       "\"IncludeNonForced\": true, \"NoiseFloor\": 0.01, \"ApplyNoiseFloor\": true"},
      {{"--include-non-forced=off", "--noise-floor", "off"},
       "\"IncludeNonForced\": false, \"NoiseFloor\": 0.01, \"ApplyNoiseFloor\": false"},
      {{"--include-non-forced=on", "--noise-floor", "on"},
       "\"IncludeNonForced\": true, \"NoiseFloor\": 0.01, \"ApplyNoiseFloor\": true"},
  };
  for (const auto& step : steps) {
    std::vector<std::string> args = {"spirometry", kymo, "--save"};
    args.insert(args.end(), step.options.begin(), step.options.end());
    ASSERT_EQ(RunKymora(args).exitCode, 0) << step.shows;
    auto reopened = RunKymora({"spirometry", kymo, "--json"});
    EXPECT_NE(reopened.out.find(step.shows), std::string::npos) << reopened.out.substr(0, 300);
  }

  std::ifstream in(kymo, std::ios::binary);
  const std::string before(std::istreambuf_iterator<char>(in), {});
  const std::vector<std::string> refused[] = {
      {"--detection-level", "20"},
      {"--detection-level", "0"},
      {"--detection-level", "nan"},
      {"--forced-threshold", "-1"},
      {"--forced-threshold", "inf"},
      {"--forced-threshold", "1e308"},
      {"--noise-floor", "nan"},
      {"--noise-floor", "-0.5"},
      {"--include-non-forced=maybe"},
      {"--from", "60", "--to", "20"},
      {"--block", "2", "--to-block", "1"},
      {"--preset", "3"},
      {"--block", "0"},
      {"--flow-channel", "99999999999"},
      {"--out", kymo},
  };
  for (const auto& options : refused) {
    std::vector<std::string> args = {"spirometry", kymo, "--save"};
    args.insert(args.end(), options.begin(), options.end());
    auto r = RunKymora(args);
    EXPECT_EQ(r.exitCode, 2) << options[0] << " " << r.err;
    EXPECT_LT(r.err.size(), 200u) << r.err;
  }
  std::ifstream after(kymo, std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(after), {}) == before) << "a refused run changed the file";
  auto named = RunKymora({"spirometry", kymo, "--detection-level", "20"});
  EXPECT_NE(named.err.find("from 0.01 to 10"), std::string::npos) << named.err;
  auto reversed = RunKymora({"spirometry", kymo, "--from", "60", "--to", "20"});
  EXPECT_NE(reversed.err.find("ends (--to 20 s) before it starts (--from 60 s)"), std::string::npos) << reversed.err;
}

TEST(CliSpirometry, AReportThatCannotBeWrittenLeavesNothingBehind) {
  TempDir dir;
  dir.Write("flow.csv", Csv(MakeRecording(), false));
  const auto out = dir.File("out");
  auto full =
      RunKymora({"spirometry", dir.File("flow.csv"), "--raw-channel", "1", "--preset", "3", "--out", out}, 2000);
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_NE(full.err.find("report.html: File too large"), std::string::npos) << full.err;
  EXPECT_TRUE(std::filesystem::is_empty(out)) << "a partial report was left";
}

TEST(CliSpirometry, RefusesWhatItCannotAnalyseOrKeep) {
  TempDir dir;
  const Recording rec = MakeRecording();
  dir.Write("two.csv", Csv(rec, true));
  const auto kymo = dir.File("two.kymo");
  ASSERT_EQ(RunKymora({"import", dir.File("two.csv"), kymo}).exitCode, 0);

  auto across =
      RunKymora({"spirometry", kymo, "--raw-channel", "1", "--preset", "3", "--to-block", "2", "--to", "5", "--json"});
  EXPECT_NE(across.exitCode, 0);
  EXPECT_NE(across.err.find("The selection is across multiple blocks."), std::string::npos) << across.err;
  EXPECT_NE(across.out.find("\"valid\": false"), std::string::npos) << across.out;

  // The second block alone analyses.
  auto second = RunKymora({"spirometry", kymo, "--raw-channel", "1", "--preset", "3", "--block", "2", "--json"});
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(Breaths(second.out).size(), 12u);

  auto notKymo = RunKymora({"spirometry", dir.File("two.csv"), "--raw-channel", "1", "--preset", "3", "--save"});
  EXPECT_NE(notKymo.exitCode, 0);
  EXPECT_NE(notKymo.err.find(".kymo"), std::string::npos) << notKymo.err;

  // 2^32 ms and 4 ms more: a time beyond the block must not wrap round to a tick inside it.
  for (const char* option : {"--from", "--to"}) {
    auto beyond = RunKymora({"spirometry", kymo, "--raw-channel", "1", "--preset", "3", option, "4294967.3"});
    EXPECT_EQ(beyond.exitCode, 2) << option;
    EXPECT_NE(beyond.err.find("beyond the end of block 1"), std::string::npos) << beyond.err;
  }

  // The channels --raw-channel adds must be ones the calculations can name; the message names them.
  std::string wide = "Time";
  for (int c = 1; c <= 255; ++c) wide += ",C" + std::to_string(c);
  dir.Write("wide.csv", wide + "\n0" + std::string(255, ',') + "\n1" + std::string(255, ',') + "\n");
  auto tooMany = RunKymora({"spirometry", dir.File("wide.csv"), "--raw-channel", "1"});
  EXPECT_EQ(tooMany.exitCode, 2);
  EXPECT_NE(tooMany.err.find("channels 256 and 257; calculations can use channels 1 to 256"), std::string::npos)
      << tooMany.err;

  auto wrongChannel = RunKymora({"spirometry", kymo, "--flow-channel", "1", "--volume-channel", "1"});
  EXPECT_NE(wrongChannel.exitCode, 0);
  EXPECT_NE(wrongChannel.err.find("cannot serve as the flow channel"), std::string::npos) << wrongChannel.err;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

// Several files at once give what each gives alone, in the order of the files, and a file that fails
// stops none of the others.
TEST(CliSpirometry, ManyFilesAtOnceGiveWhatEachGivesAlone) {
  TempDir dir;
  const Recording whole = MakeRecording();
  Recording shorter = whole;
  shorter.flow.resize(static_cast<std::size_t>(whole.forcedMaxVolumeTicks[1] - 2500));  // one forced breath
  std::filesystem::create_directory(dir.Path() / "in");
  dir.Write("in/b.csv", Csv(whole, false));
  dir.Write("in/a.csv", Csv(shorter, false));
  dir.Write("in/c.csv", "no recording\n");
  dir.Write("in/notes.txt", "not a recording, not listed\n");
  const std::vector<std::string> options = {"--raw-channel", "1", "--preset", "3", "--json"};
  auto args = std::vector<std::string>{"spirometry", dir.File("in")};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"--out", dir.File("out")});
  auto batch = RunKymora(args);
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_NE(batch.err.find("kymora: " + dir.File("in/c.csv") + ": "), std::string::npos) << batch.err;

  const auto lines = Lines(batch.out);
  ASSERT_EQ(lines.size(), 3u) << batch.out;
  for (const char* name : {"a", "b"}) {
    const std::string file = dir.File(std::string("in/") + name + ".csv");
    auto alone = RunKymora({"spirometry", file, "--raw-channel", "1", "--preset", "3", "--json"});
    const std::string expected = "{\"file\": \"" + file + "\", " + alone.out.substr(1, alone.out.size() - 2);
    EXPECT_EQ(lines[name[0] - 'a'], expected);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "out" / name / "report.html")) << name;
  }
  EXPECT_EQ(lines[2].rfind("{\"file\": \"" + dir.File("in/c.csv") + "\", \"error\": ", 0), 0u) << lines[2];

  // The summary: each forced breath (3 L out of the flow formula) and a row per file, the failed one too.
  std::ifstream summary(dir.File("out/summary.csv"));
  const auto rows = Lines(std::string(std::istreambuf_iterator<char>(summary), {}));
  ASSERT_EQ(rows.size(), 1u + (1 + 1) + (3 + 1) + 1) << rows.size();
  EXPECT_EQ(rows[0].rfind("File,Row,Breath,Ti (s),", 0), 0u);
  const std::string a = dir.File("in/a.csv"), b = dir.File("in/b.csv"), c = dir.File("in/c.csv");
  const std::string starts[] = {a + ",forced,", a + ",summary,", b + ",forced,", b + ",forced,",
                                b + ",forced,", b + ",summary,", c + ",summary,"};
  for (std::size_t i = 0; i < std::size(starts); ++i) EXPECT_EQ(rows[i + 1].rfind(starts[i], 0), 0u) << rows[i + 1];
  const auto fvc = [](const std::string& row) {  // the 7th cell
    std::size_t at = 0;
    for (int cell = 0; cell < 6; ++cell) at = row.find(',', at) + 1;
    return std::strtod(row.c_str() + at, nullptr);
  };
  for (std::size_t i : {1u, 3u, 4u, 5u}) EXPECT_NEAR(fvc(rows[i]), 3.0, 0.01) << rows[i];
  EXPECT_NE(rows[7].find(",no,"), std::string::npos) << rows[7];
}

TEST(CliSpirometry, ManyFilesOfOneNameAreRefusedWithOut) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "x");
  dir.Write("x/rec.csv", Csv(MakeRecording(), false));
  dir.Write("rec.csv", Csv(MakeRecording(), false));
  auto r = RunKymora(
      {"spirometry", dir.File("x/rec.csv"), dir.File("rec.csv"), "--raw-channel", "1", "--out", dir.File("out")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("would both write their report into " + dir.File("out/rec")), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out"));
}

}  // namespace

// A detection level far below the noise of the sample recording finds some 1600 breaths of a few
// samples, whose expirations end long before a second is up: FEV1 is what each expired, never a negative
// volume or more than its FVC, and FEV1/FVC never above 100 %.
TEST(CliSpirometry, Fev1NeverLiesOutsideNothingToTheWholeExpiration) {
  const auto run = RunKymora({"spirometry", KYMORA_SAMPLES_DIR "/spirometry_demo.csv", "--raw-channel", "1", "--preset",
                              "3", "--detection-level", "0.01", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto breaths = Breaths(run.out);
  ASSERT_GT(breaths.size(), 1000u);
  std::size_t wrong = 0;
  std::string first;
  for (const auto& b : breaths) {
    const double volume = NumberAfter(b.text, b.text.find("\"VT\": ") != std::string::npos ? "VT" : "FVC");
    const double fev1 = NumberAfter(b.text, "FEV1"), ratio = NumberAfter(b.text, "FEV1/FVC");
    if (fev1 >= 0.0 && fev1 <= volume && ratio >= 0.0 && ratio <= 100.0) continue;
    if (wrong++ == 0) first = b.text;
  }
  EXPECT_EQ(wrong, 0u) << "of " << breaths.size() << ", first: " << first;
}
