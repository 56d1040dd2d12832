// The volume ratio read in pieces against the ratio of the whole selection held in arrays, as it was
// computed before the selection was streamed: the same operations in the same order, so the same bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>

#include "host/calc/channel_data.h"
#include "spirometry/calc/calibrate_base.h"

using namespace Spirometry;

namespace {

std::optional<double> ArraySlope(const std::vector<double>& x, const std::vector<double>& y) {
  double sx = 0, sy = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    sx += x[i];
    sy += y[i];
    ++n;
  }
  if (n < 2) return std::nullopt;
  const double mx = sx / static_cast<double>(n), my = sy / static_cast<double>(n);
  double sxx = 0, syy = 0, sxy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
    sxy += (x[i] - mx) * (y[i] - my);
  }
  constexpr double kEpsilon = 2.220446049250313e-16;
  if (sxx / static_cast<double>(n) <= kEpsilon || syy / static_cast<double>(n) <= kEpsilon) return std::nullopt;
  return sxy / sxx;
}

double ArrayRatio(const std::vector<float>& x, double dt, int type, double d) {
  const std::size_t n = x.size();
  if (n == 0) return 1.0;
  double ratio = 1.0;
  if (type == 0) {
    std::vector<double> time(n), beyond(n, 0.0), remaining(n, 0.0);
    double tracker = x[0] < 0.0f ? d : 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      time[i] = static_cast<double>(i) * dt;
      // A missing sample adds nothing.
      const double v = std::isfinite(x[i]) ? static_cast<double>(x[i]) * dt : 0.0;
      tracker = std::clamp(tracker + v, 0.0, d);
      if (i > 0) {
        beyond[i] = beyond[i - 1];
        remaining[i] = remaining[i - 1];
      }
      if (std::isfinite(x[i])) (v < 0.0 && tracker <= 0.0 ? beyond[i] : remaining[i]) += v;
    }
    if (!(beyond[n - 1] < 0.0)) return 1.0;
    auto expired = ArraySlope(time, beyond), rest = ArraySlope(time, remaining);
    if (!expired || !rest) return 1.0;
    ratio = -*expired / *rest;
  } else if (type == 1) {
    const auto step = static_cast<float>(dt), limit = static_cast<float>(d);
    std::vector<float> running(n, 0.0f);
    for (std::size_t i = 1; i < n; ++i)
      running[i] = std::isfinite(x[i - 1]) ? running[i - 1] + x[i - 1] * step : running[i - 1];
    auto lowest = [&](std::size_t from, std::size_t to) {
      std::size_t best = from;
      for (std::size_t i = from; i < to; ++i)
        if (running[i] < running[best]) best = i;
      return best;
    };
    const std::size_t i0 = lowest(0, n / 3), i1 = lowest(2 * n / 3, n);
    float tracker = 0.0f, expired = 0.0f, dead = 0.0f, inspired = 0.0f;
    for (std::size_t i = i0; i <= i1; ++i) {
      if (!std::isfinite(x[i])) continue;
      const float v = x[i] * step;
      tracker = std::max(tracker - v, 0.0f);
      if (v >= 0.0f)
        inspired += v;
      else if (tracker > limit)
        tracker = limit, expired += v;
      else
        dead += v;
    }
    if (inspired + dead == 0.0f) return 0.0;
    ratio = -static_cast<double>(expired) / static_cast<double>(inspired + dead);
  }
  return std::isfinite(ratio) ? ratio : 1.0;
}

std::int64_t UlpsApart(double a, double b) {
  std::int64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x > y ? x - y : y - x;
}

// Breathing with a bias one way or the other, steps, breathing cut by missing samples, or whole flows held
// for a while, whose running integral (at an interval of 1/64 s) comes back to exactly the same lows.
std::vector<float> RandomFlow(std::mt19937& random, std::size_t n, int kind) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<float> flow(n);
  const double period = 200.0 + 3000.0 * (unit(random) + 1.0), phase = 3.0 * unit(random);
  const double bias = 0.05 * unit(random), scale = 1.0 + 0.3 * unit(random);
  for (std::size_t i = 0; i < n; ++i) {
    const double breath = std::sin(6.283185307179586 * static_cast<double>(i) / period + phase);
    // Steps keep still between breaths, so the running integral has level stretches: equal lowest points.
    flow[i] =
        static_cast<float>(kind == 1 ? std::round(4.0 * breath) / 4.0 : scale * breath + bias + 0.02 * unit(random));
  }
  if (kind == 2)
    for (int k = 0; k < 3; ++k) flow[static_cast<std::size_t>(random() % n)] = k == 1 ? INFINITY : NAN;
  if (kind == 3)
    for (std::size_t i = 0, held = 0; i < n; ++i, --held) {
      if (held == 0) {
        held = 1 + random() % 40;
        flow[i] = static_cast<float>(static_cast<int>(random() % 5) - 2);
      } else {
        flow[i] = flow[i - 1];
      }
    }
  return flow;
}

}  // namespace

TEST(VolumeRatioStream, SameBitsAsTheWholeSelectionInArrays) {
  std::mt19937 random(14);
  const std::size_t lengths[] = {1, 2, 3, 5, 40, 1000, 65535, 65536, 65537, 200000};
  int fitted = 0;
  for (int i = 0; i < 120 && !HasFailure(); ++i) {
    const std::size_t n = i < 40 ? lengths[i % 10] + 40 : 100 + random() % 150000;
    const int kind = static_cast<int>(random() % 4), type = static_cast<int>(random() % 3);
    const double deadSpaceMl = 100.0 * static_cast<double>(random() % 5);
    const double dt = kind == 3 ? 1.0 / 64.0 : i % 2 ? 0.001 : 0.01;
    std::vector<float> flow = RandomFlow(random, n, kind);
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Flow");
    file->SetSamples(file->AddBlock(dt, static_cast<std::int64_t>(n)), 0, L"L/s", 10.0, flow);
    const auto from = static_cast<std::int32_t>(random() % 40);
    const auto to = static_cast<std::int32_t>(std::max<std::size_t>(from, n - random() % 40));
    auto data = MakeCom<kymora::ChannelData>(file, kymora::HostServices{});
    CalibrateBase base(data.Get(), data.Get());
    const double got = base.VolumeRatio(data.Get(), {from, 0}, {to, 0}, 0, type, deadSpaceMl);
    const double want =
        ArrayRatio(std::vector<float>(flow.begin() + from, flow.begin() + to), dt, type, deadSpaceMl / 1000.0);
    data->Shutdown();
    EXPECT_EQ(UlpsApart(got, want), 0) << "selection " << i << ": " << got << " for " << want << ", type " << type
                                       << ", " << to - from << " samples";
    fitted += type == 0 && want != 1.0;
  }
  EXPECT_GT(fitted, 10);  // enough selections where the lines are fitted, not the fallback
}

// Expiration throughout with no dead space: all of it lies beyond the dead space, and the rest moves only
// by one tiny inspiration. Its line is fitted when its variance exceeds 2.22e-16 and not when it does not.
TEST(VolumeRatioStream, TheRestIsFittedOnlyWhenItVaries) {
  int fitted = 0;
  for (const float inspiration : {2e-6f, 4e-6f}) {
    std::vector<float> flow(300, -1.0f);
    flow[150] = inspiration;  // a variance of about (inspiration × 0.01)² / 4
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Flow");
    file->SetSamples(file->AddBlock(0.01, 300), 0, L"L/s", 10.0, flow);
    auto data = MakeCom<kymora::ChannelData>(file, kymora::HostServices{});
    CalibrateBase base(data.Get(), data.Get());
    const double got = base.VolumeRatio(data.Get(), {0, 0}, {300, 0}, 0, 0, 0.0);
    data->Shutdown();
    EXPECT_EQ(UlpsApart(got, ArrayRatio(flow, 0.01, 0, 0.0)), 0) << inspiration;
    fitted += got != 1.0;
  }
  EXPECT_EQ(fitted, 1);
}
