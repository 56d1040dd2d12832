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
  bool positive;
};

std::vector<Run> RunsOfOneSign(const std::vector<float>& flow) {
  std::vector<Run> runs;
  if (flow.empty()) return runs;
  Run run{0, 0.0, flow.front() > 0.0f};
  for (float f : flow) {
    if ((f > 0.0f) != run.positive) {
      runs.push_back(run);
      run = {0, 0.0, f > 0.0f};
    }
    ++run.length;
    run.peak = std::max(run.peak, std::fabs(static_cast<double>(f)));
  }
  runs.push_back(run);
  return runs;
}

// A breath starts only where the flow rises above +Height, so the flicker that could start a false one is
// the flicker above zero: only brief runs of positive flow count. The turn of a breath can leave a glitch
// of its own (a sample or two of overshoot as the expiration starts), as large as a fair part of the
// breath: the largest brief runs, as many as there are inspirations, are left out.
double ChatterHeight(const std::vector<Run>& runs, double briefSamples) {
  std::vector<double> brief;
  std::size_t inspirations = 0;
  for (const Run& r : runs) {
    if (!r.positive) continue;
    if (static_cast<double>(r.length) < briefSamples)
      brief.push_back(r.peak);
    else
      ++inspirations;
  }
  std::sort(brief.begin(), brief.end());
  brief.resize(brief.size() - std::min(inspirations, brief.size()));
  return Percentile(brief, kChatterPercentile);
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
  a.chatterHeight = ChatterHeight(runs, briefSamples);

  const double noise = std::max(a.noiseHeight, a.chatterHeight);
  std::vector<double> lobes;
  for (const Run& r : runs)
    if (static_cast<double>(r.length) >= briefSamples && r.peak > 2.0 * noise) lobes.push_back(r.peak);
  a.breathPeak = Percentile(lobes, 0.5);
  a.height = std::max(noise, kLeastFractionOfBreathPeak * a.breathPeak);
  return a;
}

}  // namespace Spirometry
