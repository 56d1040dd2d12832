// The whole spirometry command in process: `kymora spirometry FILE --raw-channel 1 --preset 3 --json` (volts
// to flow to volume, breaths, parameters, summary, the JSON line) on the synthetic flow-head recording of
// 1e7 and 8.64e7 samples (24 hours at 1 kHz), the document already in memory. With KYMORA_BENCH_RECORDING
// naming a .kymo file, the same on that file, and the command with the reading of the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "apps/kymora/extensions.h"
#include "apps/kymora/spirometry_command.h"
#include "bench/flow_recording.h"
#include "bench/silent_stdout.h"
#include "host/data/storage/kymo_storage.h"
#include "host/frame/host_document.h"

namespace {

using kymora::DataFile;

kymora::cli::SpirometryArgs CommandArgs(const std::string& file) {
  kymora::cli::SpirometryArgs args;
  args.file = file;
  args.rawChannel = 1;
  args.preset = kymora::bench::kRecordingPreset;
  args.json = true;
  return args;
}

int NoMessageBox(const std::wstring&, const std::wstring&, std::uint32_t) { return 1; }

std::int64_t SamplesOf(const DataFile& file) { return file.blocks.empty() ? 0 : file.blocks.front().length; }

// The analysis of a document made from the file's samples (shared, not copied) each time.
void RunOnDocument(benchmark::State& state, const DataFile& file) {
  const auto args = CommandArgs("bench.kymo");
  int status = 0;
  {
    bench::Silence quiet;
    for (auto _ : state) {
      auto doc = kymora::HostDocument::FromFile(std::make_shared<DataFile>(file), args.file, NoMessageBox, nullptr);
      status |= kymora::cli::RunSpirometry(args, doc.get());
    }
  }
  if (status != 0) state.SkipWithError("the analysis failed");
  state.SetItemsProcessed(state.iterations() * SamplesOf(file));
}

const DataFile& Synthetic(std::int64_t n) {
  static std::map<std::int64_t, DataFile> made;
  auto found = made.find(n);
  if (found == made.end()) found = made.emplace(n, kymora::bench::FlowHeadRecording(n)).first;
  return found->second;
}

void BM_SpirometryAnalysis(benchmark::State& state) { RunOnDocument(state, Synthetic(state.range(0))); }
BENCHMARK(BM_SpirometryAnalysis)->Arg(10'000'000)->Arg(86'400'000)->Unit(benchmark::kMillisecond);

const char* RecordingPath() {
  const char* path = std::getenv("KYMORA_BENCH_RECORDING");
  return path && *path ? path : nullptr;
}

void BM_RecordingAnalysis(benchmark::State& state) {
  static auto loaded = kymora::storage::LoadKymo(RecordingPath());
  if (!loaded) return state.SkipWithError(loaded.ErrorMessage().c_str());
  RunOnDocument(state, *loaded);
}

// Reading the file included, as the command line does it.
void BM_RecordingCommand(benchmark::State& state) {
  const auto args = CommandArgs(RecordingPath());
  std::int64_t samples = 0;
  {
    auto loaded = kymora::storage::LoadKymo(args.file);
    if (!loaded) return state.SkipWithError(loaded.ErrorMessage().c_str());
    samples = SamplesOf(*loaded);
  }
  int status = 0;
  {
    bench::Silence quiet;
    for (auto _ : state) status |= kymora::cli::RunSpirometry(args);
  }
  if (status != 0) state.SkipWithError("the command failed");
  state.SetItemsProcessed(state.iterations() * samples);
}

}  // namespace

int main(int argc, char** argv) {
  // The extension module lives beside the command line's program.
  setenv("KYMORA_EXTENSIONS", KYMORA_BENCH_EXTENSIONS, 0);
  kymora::cli::LoadHostExtensions();
  if (RecordingPath()) {
    benchmark::RegisterBenchmark("BM_RecordingAnalysis", BM_RecordingAnalysis)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_RecordingCommand", BM_RecordingCommand)->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
