#pragma once
// A synthetic flow-head recording for the benchmarks: the voltage of a linear head of 40.1 L/s per V
// (preset 3) at 1 kHz, quiet breathing with a forced manoeuvre every minute, a small offset and noise.
// Deterministic, so every run and every format (kymo, CSV, WAV) holds the same samples.
#include <cstdint>

#include "host/data/data_file.h"

namespace kymora::bench {

constexpr double kRecordingRateHz = 1000.0;
constexpr double kRecordingHeadScale = 40.1;  // L/s per V
constexpr std::int32_t kRecordingPreset = 3;

// The voltages of n samples.
Samples FlowHeadVolts(std::int64_t n);
// One block, one recorded channel "Flow head" in V, full range 0.2 V.
DataFile FlowHeadRecording(std::int64_t n);

}  // namespace kymora::bench
