// The automatic detection level through the document's analysis: synthetic breathing of many kinds, and
// real tidal breathing whose inspiration onsets were marked by the recordings' authors (skipped when the
// recordings are absent).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <random>

#include "spirometry/document/document_test_host.h"
#include "spirometry/extension/marked_recordings.h"

namespace Spirometry {
namespace {

using std::numbers::pi;

bool Near(std::int32_t tick, const std::vector<std::int32_t>& ticks, std::int32_t within) {
  return std::any_of(ticks.begin(), ticks.end(), [&](std::int32_t t) { return std::abs(tick - t) <= within; });
}

// How many marked onsets have a detected breath starting near them, and how many detected breaths (from a
// tick on) start near none.
struct Tally {
  int onsets = 0, found = 0, detected = 0, unmarked = 0;
  void Add(const std::vector<std::int32_t>& marked, const std::vector<std::int32_t>& starts, std::int32_t within,
           std::int32_t from = 0) {
    for (std::int32_t o : marked) {
      ++onsets;
      found += Near(o, starts, within);
    }
    for (std::int32_t s : starts) {
      if (s < from) continue;
      ++detected;
      unmarked += !Near(s, marked, within);
    }
  }
};

class AutoDetectionRecordings : public testing::DocumentTestBase {
 protected:
  std::vector<std::int32_t> DetectedStarts() {
    std::vector<std::int32_t> starts;
    std::wstring message;
    if (!Doc().EnsureAnalysis(&message)) return starts;
    for (std::int32_t i = 0; i < Doc().Analysis().Count(); ++i) starts.push_back(Doc().Analysis().At(i).Start.offset);
    return starts;
  }
};

// Breathing at a rate (breaths a minute) and tidal volume (L), each breath varied by up to 10 % in length and
// volume, inspiration 40 % of the breath; it begins halfway through an expiration and ends halfway through
// an inspiration, so that every breath in between is complete. Then an offset and white noise (fractions
// of the inspiratory peak flow) and a quantisation step (L/s) are applied.
struct Synthetic {
  std::vector<float> flow;
  std::vector<std::int32_t> onsets;  // where the flow with its offset turns from expiration to inspiration
};

Synthetic MakeBreathing(double rate, double volume, double samplesPerSecond, double offset, double noise, double step,
                        unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> vary(0.9, 1.1);
  const double period = 60.0 / rate, peak = volume * pi / (2.0 * 0.4 * period);
  std::vector<double> clean;
  auto lobe = [&](double v, double seconds, bool firstHalf, bool secondHalf) {
    const int n = static_cast<int>(seconds * samplesPerSecond);
    for (int i = firstHalf ? 0 : n / 2; i < (secondHalf ? n : n / 2); ++i)
      clean.push_back(v * pi / (2.0 * seconds) * std::sin(pi * (i + 0.5) / n));
  };
  lobe(-volume, 0.6 * period, false, true);
  const int breaths = std::max(12, static_cast<int>(std::ceil(60.0 / period)));
  for (int b = 0; b < breaths; ++b) {
    const double p = period * vary(random), v = volume * vary(random);
    lobe(v, 0.4 * p, true, true);
    lobe(-v, 0.6 * p, true, true);
  }
  lobe(volume, 0.4 * period, true, false);

  Synthetic s;
  std::normal_distribution<double> normal(0.0, noise * peak);
  for (std::size_t i = 0; i < clean.size(); ++i) {
    const double withOffset = clean[i] + offset * peak;
    if (i > 0 && withOffset > 0.0 && clean[i - 1] + offset * peak <= 0.0)
      s.onsets.push_back(static_cast<std::int32_t>(i));
    double f = withOffset + (noise > 0.0 ? normal(random) : 0.0);
    if (step > 0.0) f = std::round(f / step) * step;
    s.flow.push_back(static_cast<float>(f));
  }
  s.onsets.pop_back();  // the last inspiration is cut off: its breath never ends
  return s;
}

TEST_F(AutoDetectionRecordings, FindsEverySyntheticBreathWithFewFalseOnes) {
  struct Kind {
    const char* name;
    double offset, noise, step;
  };
  const Kind kinds[] = {{"clean", 0.0, 0.0, 0.0},
                        {"noise 2 %", 0.0, 0.02, 0.0},
                        {"offset 5 %, noise 1 %", 0.05, 0.01, 0.0},
                        {"offset -5 %, noise 1 %", -0.05, 0.01, 0.0},
                        {"steps of 4 mL/s, noise 0.5 %", 0.0, 0.005, 0.004}};
  Tally all;
  int failing = 0;
  for (double samplesPerSecond : {100.0, 1000.0})
    for (double rate : {6.0, 15.0, 30.0, 60.0})
      for (double volume : {0.1, 0.5, 3.0})
        for (const Kind& k : kinds) {
          const auto seed = static_cast<unsigned>(rate * 1000 + volume * 10 + k.noise * 1000 + samplesPerSecond);
          const Synthetic s = MakeBreathing(rate, volume, samplesPerSecond, k.offset, k.noise, k.step, seed);
          const double dt = 1.0 / samplesPerSecond;
          OpenFlowAndVolume(s.flow, testing::IntegratedVolume(s.flow, dt), dt, true);
          Tally t;
          const auto within = static_cast<std::int32_t>(0.25 * samplesPerSecond);
          const auto starts = DetectedStarts();
          t.Add(s.onsets, starts, within, s.onsets.front() - within);
          all.onsets += t.onsets;
          all.found += t.found;
          all.detected += t.detected;
          all.unmarked += t.unmarked;
          if (t.found < t.onsets || t.unmarked * 20 >= t.onsets) {
            ++failing;
            std::printf("  %4.0f Hz, %2.0f/min, %.1f L, %-28s: %d of %d found, %d false (height %.4g L/s)\n",
                        samplesPerSecond, rate, volume, k.name, t.found, t.onsets, t.unmarked,
                        Doc().Analysis().LastDetection().height);
          }
        }
  std::printf("Synthetic: %d breaths, %d found, %d detected, %d false; %d of 120 recordings short of the aim\n",
              all.onsets, all.found, all.detected, all.unmarked, failing);
  EXPECT_EQ(failing, 0);
}

TEST_F(AutoDetectionRecordings, FindsTheMarkedOnsetsOfRealTidalBreathing) {
  std::filesystem::path folder;
  const auto files = testing::MarkedRecordingFiles(&folder);
  if (files.empty()) GTEST_SKIP() << "no recordings at " << folder;

  // A marked onset is found when a breath starts within a quarter of a second (25 samples) of it. The last
  // marked breath of each recording runs past its end and is never reported, so the breaths that end in
  // their recording are counted apart.
  Tally all;
  int completeOnsets = 0, completeFound = 0;
  for (const auto& file : files) {
    const testing::MarkedRecording r = testing::ReadMarkedRecording(file);
    ASSERT_FALSE(r.onsets.empty()) << file;
    OpenFlowAndVolume(r.flow, testing::IntegratedVolume(r.flow, 0.01), 0.01, true);
    const auto starts = DetectedStarts();
    all.Add(r.onsets, starts, 25);
    completeOnsets += static_cast<int>(r.onsets.size()) - 1;
    for (std::size_t i = 0; i + 1 < r.onsets.size(); ++i) completeFound += Near(r.onsets[i], starts, 25);
    const auto& d = Doc().Analysis().LastDetection();
    std::printf("  %-42s height %.3f L/s (noise %.3f, chatter %.3f, breath peak %.2f)\n",
                file.filename().string().c_str(), d.height, d.figures.noiseHeight, d.figures.chatterHeight,
                d.figures.breathPeak);
  }
  std::printf(
      "%zu recordings: %d marked onsets, %d found (%d of the %d breaths that end in their recording); %d breaths "
      "detected, %d of them with no marked onset near\n",
      files.size(), all.onsets, all.found, completeFound, completeOnsets, all.detected, all.unmarked);
  // 151 of the 157 complete breaths were found when this was written (the default level finds them all but
  // adds 2759 breaths); held at 95 %, with no more detections away from a marked onset than marked onsets.
  EXPECT_GE(completeFound * 100, completeOnsets * 95);
  EXPECT_LE(all.unmarked, all.onsets);
}

}  // namespace
}  // namespace Spirometry
