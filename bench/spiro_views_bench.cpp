// The data window and the flow-volume plot on a two-hour analysed stretch at 1 kHz (7.2 million samples
// of flow and volume, 1800 breaths of which every tenth is forced): building the page's summaries, and
// redrawing each page at 1600 × 900 from them.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <numbers>

#include "spirometry/views/data_page.h"
#include "spirometry/views/spiro_graph.h"
#include "spirometry/views/spiro_xy_graph.h"

using namespace Spirometry;

namespace {
constexpr std::int32_t kRate = 1000;
constexpr std::int64_t kSamples = 2LL * 3600 * kRate;
constexpr std::int64_t kBreath = 4 * kRate;  // 15 breaths per minute

std::vector<float> Flow() {
  std::vector<float> flow(static_cast<std::size_t>(kSamples));
  for (std::int64_t i = 0; i < kSamples; ++i) {
    const double phase = 2 * std::numbers::pi * static_cast<double>(i % kBreath) / kBreath;
    const double size = (i / kBreath) % 10 == 5 ? 6.0 : 0.5;
    flow[static_cast<std::size_t>(i)] = static_cast<float>(size * std::sin(phase));
  }
  return flow;
}

std::vector<float> Volume(const std::vector<float>& flow) {
  std::vector<float> volume(flow.size());
  double v = 0;
  for (std::size_t i = 0; i < flow.size(); ++i) volume[i] = static_cast<float>(v += flow[i] / kRate);
  return volume;
}

DataPage MakePage() {
  DataPage page;
  page.valid = true;
  page.start = {0, 0};
  page.end = {static_cast<std::int32_t>(kSamples), 0};
  page.blockLength = kSamples;
  page.rate = kRate;
  page.secsPerSample = 1.0 / kRate;
  std::vector<float> flow = Flow();
  page.volume.Assign(Volume(flow));
  page.flow.Assign(std::move(flow));
  const MinMax f = page.flow.Overall(), v = page.volume.Overall();
  page.flowRange = WidenedRange(f.min, f.max, true);
  page.volumeRange = WidenedRange(v.min, v.max, true);
  page.flowTitle = GraphTitle(1, L"Flow");
  page.volumeTitle = GraphTitle(2, L"Volume");
  page.flowUnits = L"L/s";
  page.volumeUnits = L"L";
  for (std::int64_t b = 0; b < kSamples / kBreath; ++b) {
    const auto at = [&](std::int64_t offset) {
      return DataPosition{static_cast<std::int32_t>(b * kBreath + offset), 0};
    };
    Breath breath;
    breath.Start = at(0);
    breath.End = at(kBreath);
    breath.MaxVolumePosition = at(kBreath / 2);
    breath.MinVolumePosition = at(kBreath - 1);
    breath.PeakInspiratoryFlowPosition = at(kBreath / 4);
    breath.PeakExpiratoryFlowPosition = at(3 * kBreath / 4);
    breath.IsForced = b % 10 == 5;
    page.breaths.push_back(breath);
  }
  return page;
}

const DataPage& Page() {
  static const DataPage page = MakePage();
  return page;
}

void BM_BuildSummaries2h(benchmark::State& state) {
  std::vector<float> flow = Flow();
  for (auto _ : state) {
    ChannelTrace trace;
    trace.Assign(flow);
    benchmark::DoNotOptimize(trace.Overall());
  }
}
BENCHMARK(BM_BuildSummaries2h)->Unit(benchmark::kMillisecond);

void BM_RedrawDataWindow2h(benchmark::State& state) {
  const DataPage& page = Page();
  QImage image(1600, 900, QImage::Format_RGB32);
  const PaintStyle style = PaintStyle::ForDpi(96);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintDataPage(painter, image.rect(), page, L"Spirometry Data", style);
  }
}
BENCHMARK(BM_RedrawDataWindow2h)->Unit(benchmark::kMillisecond);

void BM_RedrawFlowVolume2h(benchmark::State& state) {
  const DataPage& page = Page();
  QImage image(1600, 900, QImage::Format_RGB32);
  const PaintStyle style = PaintStyle::ForDpi(96);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintXYPage(painter, image.rect(), page, L"Spirometry Flow-Volume Plot", style);
  }
}
BENCHMARK(BM_RedrawFlowVolume2h)->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
