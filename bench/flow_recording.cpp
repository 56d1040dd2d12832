#include "bench/flow_recording.h"

#include <cmath>
#include <numbers>

namespace kymora::bench {

namespace {
// A fixed-seed generator, cheap enough for a hundred million samples.
class Noise {
 public:
  float Next() {
    mState = mState * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<float>(static_cast<double>(mState >> 40) / static_cast<double>(1 << 24) - 0.5);
  }

 private:
  std::uint64_t mState = 20261207;
};

void HalfSine(Samples& flow, std::int64_t start, std::int64_t count, double peak) {
  for (std::int64_t i = 0; i < count && start + i < static_cast<std::int64_t>(flow.size()); ++i)
    flow[static_cast<std::size_t>(start + i)] =
        static_cast<float>(peak * std::sin(std::numbers::pi * static_cast<double>(i) / static_cast<double>(count)));
}
}  // namespace

Samples FlowHeadVolts(std::int64_t n) {
  constexpr auto rate = static_cast<std::int64_t>(kRecordingRateHz);
  Samples flow(static_cast<std::size_t>(n), 0.0f);
  std::int64_t k = 2 * rate, breath = 0;
  while (k < n) {
    if (breath % 15 == 14) {
      // A forced manoeuvre: 3.5 L inspired over 2 s, then expired, peak 7 L/s, decaying over 0.55 s.
      const double fvc = 3.5, pef = 7.0, tau = 0.55;
      HalfSine(flow, k, 2 * rate, std::numbers::pi / 2 * fvc / 2.0);
      k += 2 * rate;
      for (std::int64_t i = 0; i < 6 * rate && k + i < n; ++i) {
        const double t = static_cast<double>(i) / kRecordingRateHz;
        flow[static_cast<std::size_t>(k + i)] =
            static_cast<float>(t < 0.08 ? -pef * t / 0.08 : -pef * std::exp(-(t - 0.08) / tau));
      }
      k += 8 * rate;
    } else {
      const double vt = 0.5 * (1.0 + 0.06 * std::sin(static_cast<double>(breath) * 1.7));
      const std::int64_t ti = 1600, te = 2400;
      HalfSine(flow, k, ti, std::numbers::pi / 2 * vt / 1.6);
      HalfSine(flow, k + ti, te, -std::numbers::pi / 2 * vt / 2.4);
      k += ti + te;
    }
    ++breath;
  }
  Noise noise;
  for (float& f : flow) f = static_cast<float>(f / kRecordingHeadScale + 0.00005 + 0.0003 * noise.Next());
  return flow;
}

DataFile FlowHeadRecording(std::int64_t n) {
  DataFile file;
  file.AddChannel(L"Flow head");
  const auto block = file.AddBlock(1.0 / kRecordingRateHz, n);
  file.SetSamples(block, 0, L"V", 0.2, FlowHeadVolts(n));
  return file;
}

}  // namespace kymora::bench
