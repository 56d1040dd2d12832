// CSV import on one core, in MB of text per second: the benchmarks' synthetic flow-head recording written as
// make_flow_recording writes it (a Time column in 1 ms steps and the voltage, 6 decimals), 2 million rows
// (about 36 MB), imported from memory and from a file; and the same with three channels.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench/flow_recording.h"
#include "host/data/import/recording_importer.h"

namespace {

constexpr std::int64_t kRows = 2'000'000;

std::string CsvText(int channels) {
  const auto volts = kymora::bench::FlowHeadVolts(kRows);
  std::string text = "# Synthetic flow-head recording, 40.1 L/s per V, 1 kHz\nTime (s)";
  for (int c = 0; c < channels; ++c) text += ",Flow head " + std::to_string(c + 1) + " (V)";
  text += '\n';
  char line[128];
  for (std::size_t i = 0; i < volts.size(); ++i) {
    char* p = std::to_chars(line, line + 32, static_cast<double>(i) / 1000.0, std::chars_format::fixed, 3).ptr;
    for (int c = 0; c < channels; ++c) {
      *p++ = ',';
      p = std::to_chars(p, line + sizeof line, volts[i] * static_cast<float>(c + 1), std::chars_format::fixed, 6).ptr;
    }
    *p++ = '\n';
    text.append(line, p);
  }
  return text;
}

const std::string& Text(int channels) {
  static const std::string one = CsvText(1), three = CsvText(3);
  return channels == 1 ? one : three;
}

void BM_CsvImportText(benchmark::State& state) {
  const auto& text = Text(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto imported = kymora::import::ImportCsvText(text, "bench.csv", {});
    if (!imported) return state.SkipWithError(imported.ErrorMessage().c_str());
    benchmark::DoNotOptimize(imported->file.blocks.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_CsvImportText)->ArgName("channels")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_CsvImportFile(benchmark::State& state) {
  const auto& text = Text(static_cast<int>(state.range(0)));
  const auto path = std::filesystem::temp_directory_path() / ("kymora-csv-bench-" + std::to_string(getpid()) + ".csv");
  std::ofstream(path, std::ios::binary) << text;
  for (auto _ : state) {
    auto imported = kymora::import::ImportCsvFile(path.string(), {});
    if (!imported) return state.SkipWithError(imported.ErrorMessage().c_str());
    benchmark::DoNotOptimize(imported->file.blocks.data());
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_CsvImportFile)->ArgName("channels")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
