#include "spirometry/document/auto_detection_height.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace Spirometry {
namespace {

using std::numbers::pi;

// Breaths of sine lobes (peak in L/s, period in samples), with `rest` samples between them filled by `gap`.
std::vector<float> Breaths(int count, double peak, int period, int rest = 0, const std::vector<float>& gap = {}) {
  std::vector<float> flow;
  for (int b = 0; b < count; ++b) {
    for (int i = 0; i < period; ++i) flow.push_back(static_cast<float>(peak * std::sin(2.0 * pi * i / period)));
    for (int i = 0; i < rest; ++i) flow.push_back(gap.empty() ? 0.0f : gap[static_cast<std::size_t>(i) % gap.size()]);
  }
  return flow;
}

TEST(ChooseDetectionHeight, EachOfTheThreeLimitsDecidesInItsCase) {
  // White noise alone: the largest excursion of n normal samples and one sigma, sigma * (sqrt(2 ln n) + 1).
  std::mt19937 random(7);
  std::normal_distribution<float> normal(0.0f, 0.01f);
  std::vector<float> noise(100000);
  for (float& f : noise) f = normal(random);
  const auto n = ChooseDetectionHeight(noise, 0.001);
  EXPECT_NEAR(n.height, 0.01 * (std::sqrt(2.0 * std::log(100000.0)) + 1.0), 0.002);
  EXPECT_EQ(n.breathPeak, 0.0);

  // Clean breaths: 5 % of their peak; samples that are not numbers are left out.
  auto breaths = Breaths(20, 0.5, 400);
  breaths.insert(breaths.begin() + 300, 3, NAN);
  const auto clean = ChooseDetectionHeight(breaths, 0.01);
  EXPECT_NEAR(clean.breathPeak, 0.5, 0.001);
  EXPECT_NEAR(clean.height, 0.025, 0.0005);

  // Flicker between converter levels while the flow rests between breaths: the level that nine in ten of
  // those brief runs stay within (here the fifth of five equally frequent levels, 0.191).
  const std::vector<float> levels = {0.112f, -0.152f, 0.191f, -0.152f, 0.025f};
  const auto chatter = ChooseDetectionHeight(Breaths(20, 1.0, 400, 30, levels), 0.01);
  EXPECT_FLOAT_EQ(static_cast<float>(chatter.height), 0.191f);
  EXPECT_FLOAT_EQ(static_cast<float>(chatter.chatterHeight), 0.191f);

  // The same flicker, once per rest, with a one-sample overshoot to +0.6 three samples into each
  // expiration: one glitch per breath is no chatter, and the brief dips below zero before it count for
  // nothing, so the flicker's own top level still decides.
  auto glitched = Breaths(20, 1.0, 400, 5, levels);
  for (std::size_t b = 0; b < 20; ++b) glitched[b * 405 + 203] = 0.6f;
  EXPECT_FLOAT_EQ(static_cast<float>(ChooseDetectionHeight(glitched, 0.01).chatterHeight), 0.191f);
}

}  // namespace
}  // namespace Spirometry
