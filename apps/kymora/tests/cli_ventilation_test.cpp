// The tidal-volume and minute-ventilation channels on the sample recording, against the breaths that the
// spirometry analysis reports for the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "apps/kymora/tests/cli_runner.h"

using namespace kymora::clitest;

namespace {
std::vector<double> Values(const std::string& evalOutput) {
  std::vector<double> v;
  std::istringstream in(evalOutput);
  long long tick;
  std::string value;
  while (in >> tick >> value) v.push_back(std::stod(value));
  return v;
}

double NumberAfter(const std::string& text, const std::string& key, std::size_t from = 0) {
  auto at = text.find("\"" + key + "\": ", from);
  return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + key.size() + 4, nullptr);
}

struct Breath {
  bool forced;
  double start, expirationStart, end, vt;
};

std::vector<Breath> Breaths(const std::string& json) {
  std::vector<Breath> out;
  const std::string marker = "{\"PeakInspiratoryFlow\"";
  for (auto at = json.find(marker); at != std::string::npos; at = json.find(marker, at + 1)) {
    const std::string one = json.substr(at, json.find(marker, at + 1) - at);
    const bool forced = one.find("\"IsForced\": true") != std::string::npos;
    out.push_back({forced, NumberAfter(one, "offset", one.find("\"Start\"")),
                   NumberAfter(one, "offset", one.find("\"ExpirationStart\"")),
                   NumberAfter(one, "offset", one.find("\"End\"")),
                   forced ? NumberAfter(one, "FVC") : NumberAfter(one, "VT")});
  }
  return out;
}
}  // namespace

TEST(CliVentilation, ChannelsGiveTheVolumesAndVentilationOfTheAnalysedBreaths) {
  TempDir dir;
  const auto kymo = dir.File("rec.kymo");
  ASSERT_EQ(RunKymora({"import", KYMORA_SAMPLES_DIR "/spirometry_demo.csv", kymo}).exitCode, 0);
  for (std::vector<std::string> calc : {std::vector<std::string>{"2", "SpFlow", "source=1", "preset=3"},
                                        {"3", "SpVol", "source=2"},
                                        {"4", "SpTidalVolCalculation", "source=2"},
                                        {"5", "SpMinVentCalculation", "source=2", "interval=30"}}) {
    calc.insert(calc.begin(), {"calc", kymo});
    const auto run = RunKymora(calc);
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  const auto info = RunKymora({"info", kymo}).out;
  EXPECT_NE(info.find("Spirometry Tidal Volume units L "), std::string::npos) << info;
  EXPECT_NE(info.find("Spirometry Minute Ventilation units L/min "), std::string::npos) << info;

  const auto analysis = RunKymora({"spirometry", kymo, "--flow-channel", "2", "--volume-channel", "3", "--json"});
  ASSERT_EQ(analysis.exitCode, 0) << analysis.err;
  const auto breaths = Breaths(analysis.out);
  const double averageVt = NumberAfter(analysis.out, "AverageVT");
  ASSERT_GE(breaths.size(), 30u);

  // The detector's events, one where each analysed breath starts.
  std::vector<double> eventTicks;
  const auto events = RunKymora({"eval", kymo, "SpTidVol(Ch2, 1)"}).out;
  for (auto at = events.find("\"tick\": "); at != std::string::npos; at = events.find("\"tick\": ", at + 1))
    eventTicks.push_back(NumberAfter(events, "tick", at));
  const auto tidal = Values(RunKymora({"eval", kymo, "Ch4"}).out);
  const auto minute = Values(RunKymora({"eval", kymo, "Ch5"}).out);
  ASSERT_EQ(tidal.size(), 180000u);
  ASSERT_EQ(minute.size(), 180000u);

  double sum = 0;
  int count = 0;
  for (std::size_t i = 1; i < breaths.size(); ++i) {
    const Breath& b = breaths[i];
    if (b.forced) continue;
    const auto start = static_cast<std::size_t>(b.start);
    // The detector's breath begins at the first flow that is not negative after the previous expiration,
    // which after a forced expiration lies in its slow tail, before the analysis's zero crossing.
    EXPECT_TRUE(std::any_of(eventTicks.begin(), eventTicks.end(),
                            [&](double t) { return t > breaths[i - 1].expirationStart && t <= b.start + 20; }))
        << "no event where the breath at " << start << " starts";
    EXPECT_NEAR(tidal[start + 50], b.vt, 0.02 * b.vt) << "breath at " << start;
    sum += tidal[start + 50];
    ++count;
  }
  EXPECT_NEAR(sum / count, averageVt, 0.01 * averageVt);

  // Each 30 s window clear of forced breaths, whose edges cut no expiration: the channel is the sum of the
  // volumes of the breaths expiring in it, per minute.
  int windows = 0;
  for (std::size_t w = 0; w < minute.size(); w += 30000) {
    const double begin = static_cast<double>(w), end = begin + 30000;
    double volume = 0;
    bool clean = true;
    for (const auto& b : breaths) {
      const bool touches = b.start < end && b.end > begin;
      const bool expires = b.expirationStart < end && b.end > begin;
      if ((b.forced && touches) || (expires && (b.expirationStart < begin || b.end > end + 5))) clean = false;
      if (!b.forced && expires) volume += b.vt;
    }
    if (!clean) continue;
    ++windows;
    EXPECT_NEAR(minute[w], volume * 2, 0.01 * volume * 2) << "window from " << w;
  }
  EXPECT_GE(windows, 1);
}
