// The breath's volume landmarks taken in pieces, several samples at a time, against taking the samples one by one.
#include "spirometry/events/volume_landmarks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace Spirometry {
namespace {

struct Landmarks {
  float maxVol = NAN, minVol = NAN;
  std::int32_t maxTick = 0, minTick = 0;
};

// One sample at a time: the highest finite volume, then the lowest after it, each where first reached.
Landmarks OneByOne(const std::vector<float>& v, std::int32_t start) {
  Landmarks r{NAN, NAN, start, start};
  bool measured = false;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const float x = v[i];
    const auto t = start + static_cast<std::int32_t>(i);
    if (!std::isfinite(x)) continue;
    if (!measured || x > r.maxVol) {
      r.maxVol = r.minVol = x;
      r.maxTick = r.minTick = t;
      measured = true;
    } else if (x < r.minVol) {
      r.minVol = x;
      r.minTick = t;
    }
  }
  return r;
}

TEST(VolumeLandmarks, PiecesGiveWhatOneSampleAtATimeGives) {
  std::mt19937 random(2024);
  const float specials[] = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f, 1.0f, -1.0f};
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = static_cast<int>(random() % 150);
    const int kind = trial % 4;  // rising and falling breaths, few distinct values (ties), specials
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      const float wobble = static_cast<float>(random() % 1000) / 1000.0f;
      const float x = kind == 0   ? (i < n / 2 ? i : n - i) + wobble
                      : kind == 1 ? static_cast<float>(random() % 4)
                                  : wobble - 0.5f;
      v[static_cast<std::size_t>(i)] = (kind >= 2 && random() % 5 == 0) ? specials[random() % 7] : x;
    }
    VolumeLandmarks pieces(100);
    for (int at = 0; at < n;) {
      const int take = std::min(n - at, static_cast<int>(random() % (trial % 2 ? 13 : 60)));
      pieces.Take(v.data() + at, take, 100 + at);
      at += take;
    }
    const Landmarks expected = OneByOne(v, 100);
    ASSERT_EQ(pieces.maxTick, expected.maxTick) << trial;
    ASSERT_EQ(pieces.minTick, expected.minTick) << trial;
    ASSERT_EQ(std::isnan(pieces.maxVol), std::isnan(expected.maxVol)) << trial;
    if (!std::isnan(expected.maxVol)) {
      ASSERT_EQ(pieces.maxVol, expected.maxVol) << trial;
      ASSERT_EQ(pieces.minVol, expected.minVol) << trial;
      ASSERT_EQ(std::signbit(pieces.maxVol), std::signbit(expected.maxVol)) << trial;
      ASSERT_EQ(std::signbit(pieces.minVol), std::signbit(expected.minVol)) << trial;
    }
  }
}

}  // namespace
}  // namespace Spirometry
