#pragma once
// The automatic detection level: a breath-detection height (L/s) chosen from the flow signal itself rather
// than from the full range the recording happens to have. The height has to clear what the flow does near
// zero when no breath is under way (noise, quantisation steps, chatter between converter levels) and stay
// well below the flows of real breaths.
//
// The rule, over the analysed flow samples:
//  1. Noise: sigma, the median absolute second difference / 0.6745 / sqrt(6) (a robust standard deviation
//     of white noise that the slow breathing signal hardly touches). White noise reaches sigma * sqrt(2 ln n)
//     in n samples; the detectors start a breath when the flow rises above the height after any negative
//     sample, and at a slow zero crossing the flow itself still adds up to about one sigma to such a rise:
//     noise height = sigma * (sqrt(2 ln n) + 1).
//  2. Chatter: the flow is cut into runs of one sign; runs shorter than 0.1 s are flicker across zero (noise
//     and quantisation); the chatter height is the 90th percentile of their peak magnitudes.
//  3. Breath size: runs of 0.1 s or longer whose peak exceeds twice the larger of the two heights above are
//     breath lobes; the breath peak is the median of their peak magnitudes.
//  4. Height = the larger of the noise and chatter heights, and at least 5 % of the breath peak (so that a
//     clean signal still ignores ripples far smaller than its breaths).
#include <cstddef>
#include <vector>

namespace Spirometry {

inline constexpr double kBriefRunSeconds = 0.1;
inline constexpr double kChatterPercentile = 0.9;
inline constexpr double kLeastFractionOfBreathPeak = 0.05;

struct AutoDetectionHeight {
  double height = 0.0;         // L/s, what the detectors use
  double noiseHeight = 0.0;    // step 1
  double chatterHeight = 0.0;  // step 2
  double breathPeak = 0.0;     // step 3; 0 without breath lobes
};

// Samples that are not numbers are left out. Needs a positive sample interval; an empty or flat signal
// gives a height of 0.
AutoDetectionHeight ChooseDetectionHeight(const std::vector<float>& flow, double secsPerSample);

}  // namespace Spirometry
