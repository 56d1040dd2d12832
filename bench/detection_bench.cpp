// Throughput of the breath detectors over ten million samples of irregular breathing (samples per second),
// the cost of restarting a detector at a random tick, the memory its snapshot cache takes, and how often a
// pass allocates.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <numbers>
#include <random>
#include <vector>

#include "spirometry/events/det_ex_enumerator.h"
#include "spirometry/events/det_ex_expiratory_enumerator.h"
#include "spirometry/events/sp_breath_event_enumerator.h"
#include "spirometry/events/sp_flow_enumerator.h"
#include "spirometry/events/sp_vol_enumerator.h"

using namespace Spirometry;

// Every allocation of the program is counted, so that a pass can show it allocates nothing per sample. The
// replacements pair malloc with free, which the compiler cannot see through once they are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<std::int64_t> gAllocations{0};
}  // namespace
void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {
constexpr std::size_t kSamples = 10'000'000;  // 2.8 hours at 1 kHz
constexpr double kSecsPerTick = 0.001;
constexpr double kHeight = 0.4;

// Samples of one record held in memory.
class VectorSource final : public ComObject<IEnumFloatEx> {
 public:
  explicit VectorSource(std::shared_ptr<const std::vector<float>> samples) : mSamples(std::move(samples)) {}
  HRESULT GetPosition(std::int64_t* tick) override {
    *tick = mPosition;
    return S_OK;
  }
  HRESULT Seek(std::int64_t tick) override {
    mPosition = tick;
    return S_OK;
  }
  HRESULT GetLength(std::int64_t* length) override {
    *length = static_cast<std::int64_t>(mSamples->size());
    return S_OK;
  }
  HRESULT GetSecsPerTick(double* secs) override {
    *secs = kSecsPerTick;
    return S_OK;
  }
  HRESULT Clone(IEnumFloatEx** out) override {
    auto copy = MakeCom<VectorSource>(mSamples);
    copy->mPosition = mPosition;
    *out = copy.Detach();
    return S_OK;
  }
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override {
    const auto size = static_cast<std::int64_t>(mSamples->size());
    const auto n = static_cast<std::int32_t>(std::clamp<std::int64_t>(size - mPosition, 0, count));
    std::copy_n(mSamples->data() + mPosition, n, buffer);
    mPosition += n;
    *delivered = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT GetUnits(IUnits** units) override {
    *units = nullptr;
    return S_OK;
  }

 private:
  std::shared_ptr<const std::vector<float>> mSamples;
  std::int64_t mPosition = 0;
};

struct Recording {
  std::shared_ptr<const std::vector<float>> flow, volume;
};

// Breaths of 2.5 to 6 s with varying depth and inspiratory share, pauses now and then, noise, and a volume
// that drifts as integrated flow does.
const Recording& Breathing() {
  static const Recording recording = [] {
    auto flow = std::make_shared<std::vector<float>>();
    flow->reserve(kSamples + 10000);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> noise(0, 0.02);
    while (flow->size() < kSamples) {
      if (u(random) < 0.05) {
        for (int i = 0, n = 500 + static_cast<int>(u(random) * 1500); i < n; ++i)
          flow->push_back(static_cast<float>(noise(random)));
        continue;
      }
      const int period = 2500 + static_cast<int>(u(random) * 3500);
      const int insp = static_cast<int>(period * (0.35 + 0.15 * u(random)));
      const double a = 0.5 + u(random), b = 0.4 + u(random);
      for (int i = 0; i < insp; ++i)
        flow->push_back(static_cast<float>(a * std::sin(std::numbers::pi * i / insp) + noise(random)));
      for (int i = 0; i < period - insp; ++i)
        flow->push_back(static_cast<float>(-b * std::sin(std::numbers::pi * i / (period - insp)) + noise(random)));
    }
    flow->resize(kSamples);
    auto volume = std::make_shared<std::vector<float>>(kSamples);
    double v = 0;
    for (std::size_t i = 0; i < kSamples; ++i) (*volume)[i] = static_cast<float>(v += (*flow)[i] * kSecsPerTick + 1e-7);
    return Recording{std::move(flow), std::move(volume)};
  }();
  return recording;
}

template <class D>
ComPtr<D> Detector(const wchar_t* settings, std::vector<IUnknown*> sources) {
  auto d = MakeCom<D>();
  d->SetParameters(settings, nullptr);
  d->SetSources(0, static_cast<std::int32_t>(sources.size()), sources.data(), 0, kSecsPerTick, 0);
  return d;
}

ComPtr<IEnumFloatEx> Source(const std::shared_ptr<const std::vector<float>>& samples) {
  return MakeCom<VectorSource>(samples);
}

// Reads every event of the record; returns how many.
template <class Event>
std::int64_t ReadAll(IEnumEventEx* events) {
  std::vector<Event> buffer(64);
  std::int64_t total = 0;
  std::int32_t count = 0, next = 0;
  HRESULT hr = S_OK;
  while (hr == S_OK) {
    hr = events->Next(-1, buffer.data(), static_cast<std::int32_t>(buffer.size() * sizeof(Event)), &count, &next);
    total += count;
  }
  return total;
}

void SetCounters(benchmark::State& state, std::int64_t breaths, std::size_t snapshotBytes,
                 std::int64_t allocationsPerPass = -1) {
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSamples));
  state.counters["breaths"] = static_cast<double>(breaths);
  state.counters["cache_bytes_per_100k_ticks"] = static_cast<double>(snapshotBytes) / (kSamples / 100000.0);
  if (allocationsPerPass >= 0) state.counters["allocations_per_pass"] = static_cast<double>(allocationsPerPass);
}

void BM_SPEEFlow(benchmark::State& state) {
  const auto& r = Breathing();
  std::int64_t breaths = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto flow = Source(r.flow);
    auto d = Detector<SpFlowDetector>(L"0 0.4", {flow.Get()});
    breaths = ReadAll<SpFlowEvent>(d.Get());
    bytes = d->SnapshotBytes();
  }
  SetCounters(state, breaths, bytes);
}
BENCHMARK(BM_SPEEFlow)->Unit(benchmark::kMillisecond);

void BM_SPEEVolOverSPEEFlow(benchmark::State& state) {
  const auto& r = Breathing();
  std::int64_t breaths = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto flow = Source(r.flow);
    auto volume = Source(r.volume);
    auto inner = Detector<SpFlowDetector>(L"0 0.4", {flow.Get()});
    auto d = Detector<SpVolDetector>(L"0", {volume.Get(), static_cast<IEnumEventEx*>(inner.Get())});
    breaths = ReadAll<SpBreathEvent>(d.Get());
    bytes = d->SnapshotBytes() + inner->SnapshotBytes();
  }
  SetCounters(state, breaths, bytes);
}
BENCHMARK(BM_SPEEVolOverSPEEFlow)->Unit(benchmark::kMillisecond);

void BM_SpBreathEvent(benchmark::State& state) {
  const auto& r = Breathing();
  std::int64_t breaths = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto flow = Source(r.flow);
    auto volume = Source(r.volume);
    auto d = Detector<SpBreathEventDetector>(L"0 0.4", {flow.Get(), volume.Get()});
    breaths = ReadAll<SpBreathEvent>(d.Get());
    bytes = d->SnapshotBytes();
  }
  SetCounters(state, breaths, bytes);
}
BENCHMARK(BM_SpBreathEvent)->Unit(benchmark::kMillisecond);

void BM_SpTidVol(benchmark::State& state) {
  const auto& r = Breathing();
  std::int64_t breaths = 0, allocations = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto flow = Source(r.flow);
    auto d = Detector<SpTidVolDetector>(L"0 1", {flow.Get()});
    const std::int64_t before = gAllocations.load();
    breaths = ReadAll<DetEx_Event>(d.Get());
    allocations = gAllocations.load() - before;
    bytes = d->SnapshotBytes();
  }
  SetCounters(state, breaths, bytes, allocations);
}
BENCHMARK(BM_SpTidVol)->Unit(benchmark::kMillisecond);

// The expiratory detector with SPEEFlow's breaths as its boundaries (both detectors' work).
void BM_SpTidVolExpOverSPEEFlow(benchmark::State& state) {
  const auto& r = Breathing();
  std::int64_t breaths = 0, allocations = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto flow = Source(r.flow);
    auto boundaryFlow = Source(r.flow);
    auto boundaries = Detector<SpFlowDetector>(L"0 0.4", {boundaryFlow.Get()});
    auto d =
        Detector<Expiratory::SpTidVolExpDetector>(L"0", {flow.Get(), static_cast<IEnumEventEx*>(boundaries.Get())});
    const std::int64_t before = gAllocations.load();
    breaths = ReadAll<Expiratory::DetEx_ExpiratoryEvent>(d.Get());
    allocations = gAllocations.load() - before;
    bytes = d->SnapshotBytes() + boundaries->SnapshotBytes();
  }
  SetCounters(state, breaths, bytes, allocations);
}
BENCHMARK(BM_SpTidVolExpOverSPEEFlow)->Unit(benchmark::kMillisecond);

// After one pass has filled the snapshot cache: move to a random tick and take the next breath. The work is
// bounded by one chunk of 100000 ticks, whatever the tick.
void BM_SPEEFlowRestartAtRandomTick(benchmark::State& state) {
  const auto& r = Breathing();
  auto flow = Source(r.flow);
  auto d = Detector<SpFlowDetector>(L"0 0.4", {flow.Get()});
  ReadAll<SpFlowEvent>(d.Get());
  std::mt19937 random(3);
  std::uniform_int_distribution<std::int32_t> tick(0, static_cast<std::int32_t>(kSamples) - 10000);
  SpFlowEvent event;
  std::int32_t count = 0, next = 0;
  for (auto _ : state) {
    d->SetPosition(tick(random));
    d->Next(-1, &event, sizeof event, &count, &next);
    benchmark::DoNotOptimize(event);
  }
}
BENCHMARK(BM_SPEEFlowRestartAtRandomTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
