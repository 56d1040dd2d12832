#include "spirometry/document/auto_detection_height.h"

#include <algorithm>
#include <cmath>

namespace Spirometry {

namespace {
// The value at a fraction of the sorted values (nearest rank); 0 for none. Reorders the values.
double Percentile(std::vector<double>& values, double fraction) {
  if (values.empty()) return 0.0;
  const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
  return values[rank];
}

double NoiseHeight(const std::vector<float>& flow) {
  std::vector<double> curvature;
  curvature.reserve(flow.size());
  for (std::size_t i = 1; i + 1 < flow.size(); ++i)
    curvature.push_back(std::fabs(static_cast<double>(flow[i + 1]) - 2.0 * flow[i] + flow[i - 1]));
  if (curvature.empty()) return 0.0;
  const double sigma = Percentile(curvature, 0.5) / 0.6745 / std::sqrt(6.0);
  return sigma * (std::sqrt(2.0 * std::log(static_cast<double>(flow.size()))) + 1.0);
}

struct Run {
  std::size_t length;
  double peak;  // largest magnitude
};

std::vector<Run> RunsOfOneSign(const std::vector<float>& flow) {
  std::vector<Run> runs;
  if (flow.empty()) return runs;
  bool positive = flow.front() > 0.0f;
  Run run{0, 0.0};
  for (float f : flow) {
    if ((f > 0.0f) != positive) {
      runs.push_back(run);
      run = {0, 0.0};
      positive = f > 0.0f;
    }
    ++run.length;
    run.peak = std::max(run.peak, std::fabs(static_cast<double>(f)));
  }
  runs.push_back(run);
  return runs;
}
}  // namespace

AutoDetectionHeight ChooseDetectionHeight(const std::vector<float>& samples, double secsPerSample) {
  AutoDetectionHeight a;
  if (!(secsPerSample > 0.0) || !std::isfinite(secsPerSample)) return a;
  std::vector<float> flow;
  flow.reserve(samples.size());
  std::copy_if(samples.begin(), samples.end(), std::back_inserter(flow), [](float f) { return std::isfinite(f); });
  if (flow.size() < 3) return a;

  a.noiseHeight = NoiseHeight(flow);
  const double briefSamples = kBriefRunSeconds / secsPerSample;
  const std::vector<Run> runs = RunsOfOneSign(flow);
  std::vector<double> brief;
  for (const Run& r : runs)
    if (static_cast<double>(r.length) < briefSamples) brief.push_back(r.peak);
  a.chatterHeight = Percentile(brief, kChatterPercentile);

  const double noise = std::max(a.noiseHeight, a.chatterHeight);
  std::vector<double> lobes;
  for (const Run& r : runs)
    if (static_cast<double>(r.length) >= briefSamples && r.peak > 2.0 * noise) lobes.push_back(r.peak);
  a.breathPeak = Percentile(lobes, 0.5);
  a.height = std::max(noise, kLeastFractionOfBreathPeak * a.breathPeak);
  return a;
}

}  // namespace Spirometry
