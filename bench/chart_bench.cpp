// The desktop chart on a long recording: building the min/max summaries of a channel, and painting a
// 24-hour, 1 kHz, 8-channel chart across a full-HD window from them.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "apps/kymora-gui/chart/chart_painter.h"
#include "apps/kymora-gui/chart/summary_worker.h"
#include "host/com/com_object.h"

using namespace kymora;
using namespace kymora::chart;

namespace {
constexpr std::int64_t kDaySamples = 24LL * 3600 * 1000;  // 24 hours at 1 kHz
constexpr int kChannels = 8;

// A recorded-like channel without the memory: one breath-like period of 4 s with noise, repeated.
class SyntheticReader final : public ComObject<IEnumFloatEx> {
 public:
  explicit SyntheticReader(std::int64_t length) : mLength(length), mPeriod(4000) {
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < mPeriod.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      mPeriod[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * static_cast<double>(i) / 4000.0) +
                                      0.01 * ((seed >> 8) / 16777216.0 - 0.5));
    }
  }
  HRESULT GetPosition(std::int64_t* t) override {
    *t = mPos;
    return S_OK;
  }
  HRESULT Seek(std::int64_t t) override {
    mPos = t;
    return S_OK;
  }
  HRESULT GetLength(std::int64_t* l) override {
    *l = mLength;
    return S_OK;
  }
  HRESULT GetSecsPerTick(double* s) override {
    *s = 0.001;
    return S_OK;
  }
  HRESULT Clone(IEnumFloatEx**) override { return E_NOTIMPL; }
  HRESULT GetUnits(IUnits** u) override {
    *u = nullptr;
    return S_FALSE;
  }
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, mLength - mPos));
    for (std::int32_t done = 0; done < n;) {
      const auto at = static_cast<std::size_t>((mPos + done) % 4000);
      const auto run = std::min<std::int32_t>(n - done, static_cast<std::int32_t>(4000 - at));
      std::memcpy(buffer + done, mPeriod.data() + at, static_cast<std::size_t>(run) * sizeof(float));
      done += run;
    }
    mPos += n;
    *delivered = n;
    return n == count ? S_OK : S_FALSE;
  }

 private:
  std::int64_t mLength, mPos = 0;
  std::vector<float> mPeriod;
};

std::shared_ptr<const TraceSummary> DaySummary() {
  static auto summary = [] {
    auto reader = MakeCom<SyntheticReader>(kDaySamples);
    std::atomic<bool> cancel{false};
    return BuildSummary(reader.Get(), kDaySamples, cancel, nullptr);
  }();
  return summary;
}

ChartContent DayChart() {
  ChartContent content;
  content.timeline = Timeline({{0.001, kDaySamples}});
  for (int c = 0; c < kChannels; ++c) {
    ChannelTrace trace;
    trace.title = L"Channel " + std::to_wstring(c + 1);
    trace.units = L"V";
    trace.range = {-0.6, 0.6};
    trace.summaries = {DaySummary()};
    trace.hasData = {true};
    content.channels.push_back(std::move(trace));
  }
  return content;
}

// Reads the day through the summary builder, as the chart's background thread does.
void BM_SummaryBuild24h(benchmark::State& state) {
  for (auto _ : state) {
    auto reader = MakeCom<SyntheticReader>(kDaySamples);
    std::atomic<bool> cancel{false};
    auto summary = BuildSummary(reader.Get(), kDaySamples, cancel, nullptr);
    benchmark::DoNotOptimize(summary.get());
  }
  state.SetItemsProcessed(state.iterations() * kDaySamples);
}
BENCHMARK(BM_SummaryBuild24h)->Unit(benchmark::kMillisecond)->Iterations(3);

// The source alone, for comparison: what reading the samples costs without summarising them.
void BM_ReadOnly24h(benchmark::State& state) {
  std::vector<float> buffer(1 << 16);
  for (auto _ : state) {
    auto reader = MakeCom<SyntheticReader>(kDaySamples);
    std::int32_t got = 0;
    while (reader->Read(static_cast<std::int32_t>(buffer.size()), buffer.data(), &got) == S_OK)
      benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kDaySamples);
}
BENCHMARK(BM_ReadOnly24h)->Unit(benchmark::kMillisecond)->Iterations(3);

// One trace of the day across 1750 columns.
void BM_PaintOneTrace24h(benchmark::State& state) {
  const auto content = DayChart();
  const auto layout = LayOutChart(1920, 1080, kChannels);
  const auto view = FitAll(content.timeline.Duration(), layout.traceWidth);
  QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  for (auto _ : state) PaintTrace(painter, layout, content, view, 0);
}
BENCHMARK(BM_PaintOneTrace24h)->Unit(benchmark::kMillisecond);

// The whole chart: eight traces of the day, labels, scales, grid, time axis and a selection.
void BM_PaintChart24h8Channels(benchmark::State& state) {
  auto content = DayChart();
  content.selection = {true, {3600000, 0}, {7200000, 0}};
  const auto layout = LayOutChart(1920, 1080, kChannels);
  const auto view = FitAll(content.timeline.Duration(), layout.traceWidth);
  QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  for (auto _ : state) PaintChart(painter, layout, content, view, ChartDecor{});
}
BENCHMARK(BM_PaintChart24h8Channels)->Unit(benchmark::kMillisecond);

// Zoomed in on ten minutes in the middle of the day: the finer levels.
void BM_PaintChart10MinOf24h(benchmark::State& state) {
  const auto content = DayChart();
  const auto layout = LayOutChart(1920, 1080, kChannels);
  const TimeView view{43200, 600.0 / layout.traceWidth};
  QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  for (auto _ : state) PaintChart(painter, layout, content, view, ChartDecor{});
}
BENCHMARK(BM_PaintChart10MinOf24h)->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
  // Fonts need a GUI application; no screen is needed.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  DaySummary();  // built once, outside the timings
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
