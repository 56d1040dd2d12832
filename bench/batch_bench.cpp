// Many recordings at once: `kymora spirometry FOLDER --raw-channel 1 --preset 3 --json` over a folder of
// synthetic flow-head recordings (.kymo, 30 minutes at 1 kHz each), reading included, on 1 thread and on
// every core. Wall time against the process's CPU time shows how many cores the batch keeps busy when the
// machine is otherwise idle; on a shared machine the CPU time of the busiest thread ("busiest_cpu_s") says
// what the wall time would be, since the threads only wait for each other at the end.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "apps/kymora/extensions.h"
#include "apps/kymora/spirometry_batch.h"
#include "bench/flow_recording.h"
#include "bench/silent_stdout.h"
#include "host/data/storage/kymo_storage.h"

namespace {

constexpr int kFiles = 16;
constexpr std::int64_t kSamplesPerFile = 1'800'000;  // 30 minutes at 1 kHz

// The folder of recordings, written once per run and removed at exit.
const std::filesystem::path& Folder() {
  static const auto folder = [] {
    auto path = std::filesystem::temp_directory_path() / ("kymora-batch-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    const auto recording = kymora::bench::FlowHeadRecording(kSamplesPerFile);
    for (int i = 0; i < kFiles; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "rec%02d.kymo", i);
      if (!kymora::storage::SaveKymo((path / name).string(), recording)) std::abort();
    }
    return path;
  }();
  return folder;
}

// CPU seconds of each thread of the process so far (user and system, in clock ticks).
std::map<int, double> ThreadCpuSeconds() {
  std::map<int, double> seconds;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // after the name, which may hold blanks
    std::string field;
    double user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) user = std::stod(field);
      if (i == 15) system = std::stod(field);
    }
    seconds[std::stoi(task.path().filename().string())] = (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return seconds;
}

void BM_SpirometryBatch(benchmark::State& state) {
  const auto threads = static_cast<std::size_t>(state.range(0));
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  kymora::cli::SpirometryArgs args;
  args.rawChannel = 1;
  args.preset = kymora::bench::kRecordingPreset;
  args.json = true;
  const std::vector<std::string> inputs = {Folder().string()};
  int status = 0;
  const auto before = ThreadCpuSeconds();
  {
    bench::Silence quiet;
    for (auto _ : state) status |= kymora::cli::RunSpirometryBatch(args, inputs);
  }
  double busiest = 0;
  for (const auto& [thread, seconds] : ThreadCpuSeconds())
    busiest = std::max(busiest, seconds - (before.count(thread) ? before.at(thread) : 0.0));
  state.counters["busiest_cpu_s"] = busiest / static_cast<double>(state.iterations());
  if (status != 0) state.SkipWithError("the batch failed");
  state.SetItemsProcessed(state.iterations() * kFiles * kSamplesPerFile);
  state.counters["files"] = kFiles;
}

void Threads(benchmark::internal::Benchmark* b) {
  b->Arg(1);
  if (tbb::info::default_concurrency() > 1) b->Arg(tbb::info::default_concurrency());
}
BENCHMARK(BM_SpirometryBatch)
    ->Apply(Threads)
    ->ArgName("threads")
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The extension module lives beside the command line's program.
  setenv("KYMORA_EXTENSIONS", KYMORA_BENCH_EXTENSIONS, 0);
  kymora::cli::LoadHostExtensions();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Folder();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(Folder(), ec);
  return 0;
}
