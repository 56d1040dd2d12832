// Throughput of the flow and volume enumerators over a long record, the cost of a random seek in the
// volume, and what the memory and a plain loop manage over the same data for comparison.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "spirometry/calc/memory_source.h"
#include "spirometry/calc/sp_flow_enum.h"
#include "spirometry/calc/sp_flow_settings.h"
#include "spirometry/calc/sp_vol_enum.h"
#include "spirometry/calc/sp_vol_settings.h"

using namespace Spirometry;

namespace {
constexpr std::size_t kSamples = 10'000'000;  // 40 MB of floats: 28 hours at 100 Hz, 2.8 hours at 1 kHz
constexpr double kSecsPerTick = 0.001;

// Breathing at 1 kHz, 15 breaths a minute, with a little noise.
const std::shared_ptr<const std::vector<float>>& Recording() {
  static const auto samples = [] {
    auto v = std::make_shared<std::vector<float>>(kSamples);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (std::size_t i = 0; i < kSamples; ++i)
      (*v)[i] =
          static_cast<float>(0.8 * std::sin(static_cast<double>(i) * 2 * std::numbers::pi / 4000.0)) + noise(random);
    return std::shared_ptr<const std::vector<float>>(std::move(v));
  }();
  return samples;
}

ComPtr<testing::MemorySource> Source(const wchar_t* units) {
  return MakeCom<testing::MemorySource>(Recording(), kSecsPerTick, units);
}

ComPtr<ICalcEnum> Created(HRESULT (*create)(IUnknown*, const Guid&, void**), const std::wstring& parameters) {
  ComPtr<ICalcEnum> e;
  create(nullptr, ICalcEnum::kIid, e.PutVoid());
  e->SetParameters(parameters.c_str(), nullptr);
  return e;
}

std::wstring VolumeParameters(bool corrected = true) {
  SpVolFields f;
  if (corrected) {
    f.mVolumeCorrection = true;
    f.mDeadSpace = 150.0;
    f.mVolumeRatio = 1.1;
    f.mResetAtEndOfExpiration = true;
  }
  f.RebuildParameterString();
  return f.mParameterString;
}

std::wstring FlowParameters() {
  SpFlowFields f;
  f.mPresetIndex = 2;
  f.mApplyNonLinear = true;
  f.mApplyNoiseFloor = true;
  f.mNoiseFloor = 0.01;
  f.RebuildParameterString();
  return f.mParameterString;
}

// Sets the enumerator's source at the record start, as the host hands it over, and reads the whole record
// in chunks; returns the samples delivered.
std::int64_t ReadRecord(ICalcEnum* e, IUnknown* source, std::vector<float>& chunk) {
  ComPtr<IEnumFloatEx> start;
  if (Succeeded(QueryInterfaceOf(source, start.Put()))) start->Seek(0);
  e->SetSources(0, 1, &source, 0, kSecsPerTick, 0);
  auto samples = ComPtr<ICalcEnum>(e).As<IEnumFloatEx>();
  const auto size = static_cast<std::int32_t>(chunk.size());
  std::int64_t total = 0;
  for (;;) {
    std::int32_t got = 0;
    HRESULT hr = samples->Read(size, chunk.data(), &got);
    total += got;
    if (hr != S_OK) break;
  }
  benchmark::DoNotOptimize(chunk.data());
  return total;
}

void BM_FlowToVolume(benchmark::State& state) {
  auto source = Source(L"L/s");
  auto volume = Created(&SpVolEnum::CreateInstance, VolumeParameters());
  std::vector<float> chunk(static_cast<std::size_t>(state.range(0)));
  std::int64_t samples = 0;
  for (auto _ : state) samples += ReadRecord(volume.Get(), source.Get(), chunk);
  state.SetItemsProcessed(samples);
  state.SetBytesProcessed(samples * static_cast<std::int64_t>(sizeof(float)));
}
BENCHMARK(BM_FlowToVolume)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_VoltsToFlow(benchmark::State& state) {
  auto source = Source(L"V");
  auto flow = Created(&SpFlowEnum::CreateInstance, FlowParameters());
  std::vector<float> chunk(static_cast<std::size_t>(state.range(0)));
  std::int64_t samples = 0;
  for (auto _ : state) samples += ReadRecord(flow.Get(), source.Get(), chunk);
  state.SetItemsProcessed(samples);
  state.SetBytesProcessed(samples * static_cast<std::int64_t>(sizeof(float)));
}
BENCHMARK(BM_VoltsToFlow)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);

// Flow computed from volts and integrated into volume in one pass, as a volume channel over a flow channel.
void BM_VoltsToVolume(benchmark::State& state) {
  auto source = Source(L"V");
  auto flow = Created(&SpFlowEnum::CreateInstance, FlowParameters());
  auto volume = Created(&SpVolEnum::CreateInstance, L"0 0 1 0");  // older form: takes the flow's units as they come
  std::vector<float> chunk(4096);
  std::int64_t samples = 0;
  for (auto _ : state) {
    IUnknown* raw = source.Get();
    flow->SetSources(0, 1, &raw, 0, kSecsPerTick, 0);
    samples += ReadRecord(volume.Get(), flow.Get(), chunk);
  }
  state.SetItemsProcessed(samples);
}
BENCHMARK(BM_VoltsToVolume)->Unit(benchmark::kMillisecond);

// A seek to a random tick followed by a read of 256 samples, once the record has its checkpoints.
void BM_VolumeRandomSeek(benchmark::State& state) {
  auto source = Source(L"L/s");
  auto volume = Created(&SpVolEnum::CreateInstance, VolumeParameters());
  std::vector<float> chunk(4096);
  ReadRecord(volume.Get(), source.Get(), chunk);
  auto samples = volume.As<IEnumFloatEx>();
  std::mt19937_64 random(11);
  std::uniform_int_distribution<std::int64_t> tick(0, static_cast<std::int64_t>(kSamples) - 257);
  for (auto _ : state) {
    samples->Seek(tick(random));
    std::int32_t got = 0;
    samples->Read(256, chunk.data(), &got);
    benchmark::DoNotOptimize(chunk.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VolumeRandomSeek)->Unit(benchmark::kMicrosecond);

// What a scientist would write: a running sum in a loop, no correction, no checkpoints, no interfaces.
void BM_NaiveRunningSum(benchmark::State& state) {
  const auto& in = *Recording();
  std::vector<float> out(kSamples);
  for (auto _ : state) {
    double v = 0;
    for (std::size_t i = 0; i < kSamples; ++i) {
      v += in[i] * kSecsPerTick;
      out[i] = static_cast<float>(v);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSamples * sizeof(float)));
}
BENCHMARK(BM_NaiveRunningSum)->Unit(benchmark::kMillisecond);

// The volume integrator alone over the record in memory, without the source, the reads and the checkpoints:
// plain (0), or with the correction and the reset (1).
void BM_VolumePolicyOnly(benchmark::State& state) {
  const auto& in = *Recording();
  std::vector<float> work(in.size());
  SpVolPolicy policy;
  policy.Parse(VolumeParameters(state.range(0) != 0));
  policy.OnSources(kSecsPerTick, L"L/s");
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), in.data(), in.size() * sizeof(float));
    policy.ResetState();
    state.ResumeTiming();
    policy.Integrate(work.data(), static_cast<std::int32_t>(work.size()));
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
}
BENCHMARK(BM_VolumePolicyOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Memory bandwidth over the same 40 MB: reading it all (eight independent sums, so that the adds do not
// limit it), and copying it in 4096-sample chunks.
void BM_MemorySum(benchmark::State& state) {
  const auto& in = *Recording();
  for (auto _ : state) {
    float sums[8] = {};
    for (std::size_t i = 0; i + 8 <= kSamples; i += 8)
      for (std::size_t j = 0; j < 8; ++j) sums[j] += in[i + j];
    benchmark::DoNotOptimize(sums);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSamples * sizeof(float)));
}
BENCHMARK(BM_MemorySum)->Unit(benchmark::kMillisecond);

void BM_MemoryCopy(benchmark::State& state) {
  const auto& in = *Recording();
  std::vector<float> chunk(4096);
  for (auto _ : state) {
    for (std::size_t i = 0; i < kSamples; i += chunk.size()) {
      const std::size_t n = std::min(chunk.size(), kSamples - i);
      std::memcpy(chunk.data(), in.data() + i, n * sizeof(float));
      benchmark::DoNotOptimize(chunk.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSamples * sizeof(float)));
}
BENCHMARK(BM_MemoryCopy)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
