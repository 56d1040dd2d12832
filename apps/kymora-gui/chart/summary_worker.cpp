#include "apps/kymora-gui/chart/summary_worker.h"

#include <algorithm>

namespace kymora::chart {

namespace {
constexpr std::int32_t kChunk = 1 << 16;
}

std::shared_ptr<const TraceSummary> BuildSummary(IEnumFloatEx* reader, std::int64_t length,
                                                 const std::atomic<bool>& cancel,
                                                 const std::function<void(std::int64_t done)>& progress) {
  if (!reader) return nullptr;
  auto summary = std::make_shared<TraceSummary>();
  summary->Reserve(length);
  std::vector<float> buffer(kChunk);
  std::int64_t done = 0;
  while (done < length) {
    if (cancel.load(std::memory_order_relaxed)) return nullptr;
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kChunk, length - done));
    std::int32_t got = 0;
    const HRESULT hr = reader->Read(want, buffer.data(), &got);
    if (Failed(hr) || got <= 0) return nullptr;
    summary->Append(buffer.data(), got);
    done += got;
    if (progress) progress(done);
    if (hr != S_OK) break;  // the record ends (or waits for more) before the length it reported
  }
  summary->Finish();
  return summary;
}

SummaryWorker::SummaryWorker(Done done, Progress progress)
    : mDone(std::move(done)), mProgress(std::move(progress)), mThread([this] { Run(); }) {}

SummaryWorker::~SummaryWorker() {
  {
    std::lock_guard g(mLock);
    mStop = true;
    mCancel = true;
  }
  mWake.notify_all();
  mThread.join();
}

std::uint64_t SummaryWorker::Start(std::vector<Job> jobs) {
  std::lock_guard g(mLock);
  mPending = std::move(jobs);
  mHasPending = true;
  mCancel = true;  // the running set stops at its next chunk
  mWake.notify_all();
  return ++mGeneration;
}

void SummaryWorker::Cancel() {
  std::unique_lock g(mLock);
  mPending.clear();
  mHasPending = false;
  ++mGeneration;
  mCancel = true;
  mIdle.wait(g, [this] { return !mBusy; });
}

void SummaryWorker::Run() {
  std::unique_lock g(mLock);
  for (;;) {
    mWake.wait(g, [this] { return mStop || mHasPending; });
    if (mStop) return;
    auto jobs = std::move(mPending);
    mPending.clear();
    mHasPending = false;
    mCancel = false;
    mBusy = true;
    const std::uint64_t generation = mGeneration;
    g.unlock();

    std::int64_t total = 0, before = 0;
    for (const auto& j : jobs) total += j.length;
    for (auto& job : jobs) {
      if (mCancel) break;
      auto summary = BuildSummary(job.reader.Get(), job.length, mCancel, [&](std::int64_t done) {
        if (mProgress) mProgress(generation, before + done, total);
      });
      if (mCancel) break;
      before += job.length;
      if (mDone) mDone(generation, job, std::move(summary));
      job.reader.Reset();
    }
    if (!mCancel && mProgress) mProgress(generation, total, total);
    jobs.clear();  // readers are let go of on this thread, before Cancel returns

    g.lock();
    mBusy = false;
    mIdle.notify_all();
  }
}

}  // namespace kymora::chart
