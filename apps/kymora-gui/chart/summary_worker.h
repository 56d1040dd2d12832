#pragma once
// Builds trace summaries on a thread of its own, so that opening a long recording never blocks the window:
// the readers are opened on the user-interface thread and read here, one at a time. A new set of jobs
// cancels the running one; each result and progress report carries the generation of its set, so that the
// receiver drops what belongs to an older set. The callbacks run on the worker thread.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "apps/kymora-gui/chart/trace_summary.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_ptr.h"

namespace kymora::chart {

// Reads `length` samples from the reader's position into a summary. Null when cancelled or when the reader
// fails; `progress` (may be empty) hears the samples done so far now and then.
std::shared_ptr<const TraceSummary> BuildSummary(IEnumFloatEx* reader, std::int64_t length,
                                                 const std::atomic<bool>& cancel,
                                                 const std::function<void(std::int64_t done)>& progress);

class SummaryWorker {
 public:
  struct Job {
    std::int32_t channel = 0, block = 0;
    ComPtr<IEnumFloatEx> reader;
    std::int64_t length = 0;
  };
  // A finished summary (null when its reader failed).
  using Done = std::function<void(std::uint64_t generation, const Job& job, std::shared_ptr<const TraceSummary>)>;
  // Samples done over all the jobs of the set; done == total once the set is finished.
  using Progress = std::function<void(std::uint64_t generation, std::int64_t done, std::int64_t total)>;

  SummaryWorker(Done done, Progress progress);
  ~SummaryWorker();
  SummaryWorker(const SummaryWorker&) = delete;
  SummaryWorker& operator=(const SummaryWorker&) = delete;

  // Replaces any running set; returns the new set's generation.
  std::uint64_t Start(std::vector<Job> jobs);
  // Drops the running set and waits until its readers are let go of.
  void Cancel();

 private:
  void Run();

  Done mDone;
  Progress mProgress;
  std::mutex mLock;
  std::condition_variable mWake, mIdle;
  std::vector<Job> mPending;
  std::uint64_t mGeneration = 0;
  bool mHasPending = false, mBusy = false, mStop = false;
  std::atomic<bool> mCancel{false};
  std::thread mThread;
};

}  // namespace kymora::chart
