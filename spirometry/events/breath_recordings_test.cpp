// SPEEFlow on real tidal breathing (100 samples per second) whose inspiration onsets were marked by the
// recordings' authors: how many marked breaths are found, and how close the detected starts lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "spirometry/events/event_test_support.h"
#include "spirometry/events/sp_flow_enumerator.h"
#include "spirometry/extension/marked_recordings.h"

namespace Spirometry::testing {
namespace {

// Near zero the recorded flow takes only the levels -0.217, -0.187, -0.152, -0.106, +0.025, +0.112 and
// +0.191 L/s, so flow at rest chatters between them; the weakest expirations of the set reach about
// -0.38 L/s. A Height of 0.25 L/s lies above every level of that chatter and below every real excursion.
constexpr double kHeight = 0.25;
// A marked onset counts as found when a detected start lies within a quarter of a second of it.
constexpr std::int32_t kFoundWithin = 25;

double Percentile(std::vector<std::int32_t> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

// Matches each marked onset to the nearest detected start.
struct Figures {
  std::vector<std::int32_t> distances;
  std::size_t found = 0;
  void Add(std::int32_t distance) {
    distances.push_back(distance);
    if (distance <= kFoundWithin) ++found;
  }
  void Print(const char* what) const {
    std::printf(
        "  %-38s %3zu marked, %3zu found within %d samples; |detected - marked| median %.0f, "
        "95th percentile %.0f samples\n",
        what, distances.size(), found, kFoundWithin, Percentile(distances, 0.5), Percentile(distances, 0.95));
  }
};

TEST(BreathRecordings, DetectedStartsLieAtTheMarkedOnsets) {
  std::filesystem::path folder;
  const auto files = MarkedRecordingFiles(&folder);
  if (files.empty()) GTEST_SKIP() << "no recordings at " << folder;

  // The last marked breath of a recording runs past its end; SPEEFlow reports a breath only when the next
  // one begins (or when the flow has settled within Height at the end), so those are counted apart.
  Figures all, complete;
  std::size_t detected = 0, unmatched = 0;
  for (const auto& file : files) {
    const MarkedRecording r = ReadMarkedRecording(file);
    ASSERT_FALSE(r.onsets.empty()) << file;
    const auto events = As<SpFlowEvent>(Detect(DetectorKind::kFlow, r.flow, {}, kHeight));
    std::size_t foundHere = 0;
    for (std::int32_t onset : r.onsets) {
      std::int32_t nearest = 2147483647;
      for (const auto& e : events) nearest = std::min(nearest, std::abs(e.mStartTick - onset));
      all.Add(nearest);
      if (onset != r.onsets.back()) complete.Add(nearest);
      if (nearest <= kFoundWithin) ++foundHere;
    }
    std::size_t unmatchedHere = 0;
    for (const auto& e : events) {
      std::int32_t nearest = 2147483647;
      for (std::int32_t onset : r.onsets) nearest = std::min(nearest, std::abs(e.mStartTick - onset));
      if (nearest > kFoundWithin) ++unmatchedHere;
    }
    std::printf("%-42s marked %2zu, detected %2zu, marked found %2zu, detections not marked %2zu\n",
                file.filename().string().c_str(), r.onsets.size(), events.size(), foundHere, unmatchedHere);
    detected += events.size();
    unmatched += unmatchedHere;
  }
  std::printf(
      "%zu recordings, Height %.2f L/s: %zu breaths detected, %zu of them with no marked onset within %d "
      "samples\n",
      files.size(), kHeight, detected, unmatched, kFoundWithin);
  all.Print("all marked onsets:");
  complete.Print("marked breaths ending in the recording:");
  // Held at the measured figures with a small margin: 148 of the 157 breaths that end in their recording
  // found, median 1 and 95th percentile 26 samples; 77 of 244 detections are chatter spikes beyond Height
  // that no onset marks.
  EXPECT_GE(complete.found, 145u);
  EXPECT_LE(Percentile(complete.distances, 0.5), 2);
  EXPECT_LE(Percentile(complete.distances, 0.95), 30);
  EXPECT_LE(unmatched, 82u);
}

}  // namespace
}  // namespace Spirometry::testing
