// The additions to the spirometry command end to end: the clinical standard's measures with --standard
// (the demo's report keeps every byte without it), and the automatic detection level on a flow-head
// recording imported from CSV and from WAV.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
using std::numbers::pi;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(CliStandard, DemoShowsTheSectionAfterTheSpecifiedPageWhichStaysAsItWas) {
  TempDir dir;
  const auto plain = dir.File("plain"), standard = dir.File("standard");
  ASSERT_EQ(RunKymora({"demo", "--out", plain}).exitCode, 0);
  const auto r = RunKymora({"demo", "--standard", "--out", standard});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Test: 3 manoeuvres;"), std::string::npos) << r.out;

  const std::string before = Slurp(plain + "/report.html"), after = Slurp(standard + "/report.html");
  const auto first = after.find("<div class=\"box\">\n<h3>Breath 11 (ATS/ERS 2019)</h3>");
  const auto test = after.find("<h3>Test (ATS/ERS 2019)</h3>");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(test, std::string::npos);
  EXPECT_NE(after.find("<td class=\"rowtitle\">Grade</td>", test), std::string::npos);
  // Taking the section out gives the page of the run without --standard, byte for byte.
  const auto end = after.find("\n</div>\n</body>", test);
  EXPECT_EQ(after.substr(0, first) + after.substr(end), before);
  EXPECT_EQ(Slurp(standard + "/report.csv"), Slurp(plain + "/report.csv"));
  EXPECT_FALSE(std::ifstream(plain + "/standard.csv").good());

  const std::string csv = Slurp(standard + "/standard.csv");
  EXPECT_EQ(csv.rfind("Breath,Measured,Time zero (s),", 0), 0u);
  for (const char* row : {"\n11,yes,", "\n22,yes,", "\n33,yes,", "\n3,"})
    EXPECT_NE(csv.find(row), std::string::npos) << row;
}

// A flow-head voltage at 1 kHz: 15 breaths a minute of 0.5 L, inspiration 1.6 s, with white noise of
// 10 mL/s. The 1 % of the 1 V range that WAV gives (0.4 L/s) lies above the expirations' peak of 0.33 L/s;
// the 1 % of the 0.02 V range the same samples get as CSV (8 mL/s) lies within the noise.
constexpr double kHeadScale = 40.1;  // preset 3
struct Recording {
  std::vector<double> volts;
  std::vector<std::int32_t> onsets;  // every breath's; the last one ends with the recording
};

Recording MakeRecording() {
  Recording r;
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 0.01);
  std::vector<double> flow;
  auto lobe = [&](double volume, int samples) {
    for (int i = 0; i < samples; ++i)
      flow.push_back(volume * pi / (2.0 * samples / 1000.0) * std::sin(pi * (i + 0.5) / samples));
  };
  lobe(-0.5, 2400);
  flow.erase(flow.begin(), flow.begin() + 1200);  // the recording starts halfway through an expiration
  for (int b = 0; b < 16; ++b) {
    r.onsets.push_back(static_cast<std::int32_t>(flow.size()));
    lobe(0.5, 1600);
    lobe(-0.5, 2400);
  }
  for (double f : flow) r.volts.push_back((f + noise(random)) / kHeadScale);
  return r;
}

void WriteWav(const std::string& path, const std::vector<double>& volts) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  const auto bytes = static_cast<std::uint32_t>(volts.size() * 2);
  out << "RIFF";
  u32(36 + bytes);
  out << "WAVEfmt ";
  u32(16), u16(1), u16(1), u32(1000), u32(2000), u16(2), u16(16);
  out << "data";
  u32(bytes);
  for (double v : volts) u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767.0))));
}

// The breath starts of the JSON output.
std::vector<std::int32_t> Starts(const std::string& json) {
  std::vector<std::int32_t> starts;
  for (auto at = json.find("\"Start\":"); at != std::string::npos; at = json.find("\"Start\":", at + 1))
    starts.push_back(std::stoi(json.substr(json.find("\"offset\":", at) + 9)));
  return starts;
}

TEST(CliStandard, AutomaticLevelFindsEveryBreathFromCsvAndFromWav) {
  TempDir dir;
  const Recording rec = MakeRecording();
  std::string csv = "Time (s),Raw flow (V)\n";
  char line[64];
  for (std::size_t i = 0; i < rec.volts.size(); ++i) {
    std::snprintf(line, sizeof line, "%.3f,%.6g\n", static_cast<double>(i) / 1000.0, rec.volts[i]);
    csv += line;
  }
  dir.Write("rec.csv", csv);
  WriteWav(dir.File("rec.wav"), rec.volts);
  for (const char* file : {"rec.csv", "rec.wav"}) {
    for (const char* level : {"1", "auto"}) {
      const auto r = RunKymora(
          {"spirometry", dir.File(file), "--raw-channel", "1", "--preset", "3", "--detection-level", level, "--json"});
      const auto starts = Starts(r.out);
      auto near = [](std::int32_t tick, const std::vector<std::int32_t>& ticks) {
        return std::any_of(ticks.begin(), ticks.end(), [&](std::int32_t t) { return std::abs(t - tick) <= 250; });
      };
      // The last breath ends with the recording and need not be reported; the cut-off expiration before the
      // first one may be, as a single expiration from the first sample.
      const int complete = static_cast<int>(rec.onsets.size()) - 1;
      int found = 0, unmarked = 0;
      for (int i = 0; i < complete; ++i) found += near(rec.onsets[static_cast<std::size_t>(i)], starts);
      for (std::int32_t s : starts) unmarked += s > 0 && !near(s, rec.onsets);
      std::printf("%s, detection level %-4s: %d of %d breaths found, %d false\n", file, level, found, complete,
                  unmarked);
      if (std::string(level) == "auto") {
        ASSERT_EQ(r.exitCode, 0) << file << r.err;
        EXPECT_EQ(found, complete) << file;
        EXPECT_EQ(unmarked, 0) << file;
        EXPECT_NE(r.out.find("\"AutoDetectionLevel\": true"), std::string::npos);
      }
    }
  }
}

}  // namespace
