#pragma once
// Samples of one channel-block that stay in their file until someone reads them. A command that reads one
// channel of a long recording then holds that channel only, not every channel of every block.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/com/expected.h"

namespace kymora {

using Samples = std::vector<float>;

// Reads the samples the first time they are asked for and keeps them, or keeps the failure: every later
// call gets the same answer. Copies of a data file share one of these, so the samples are read once;
// several threads may ask at the same time, and the file is read under a lock.
class DeferredSamples {
 public:
  // Reads the samples from their file, checked as a load checks them; a failure names the file and the
  // place. Called once, unless it throws (then the next call tries again); it should catch what it can.
  using ReadFn = std::function<Expected<Samples>()>;

  // count: the number of samples the file was found to hold for the channel-block when it was opened.
  DeferredSamples(std::int64_t count, ReadFn read) : mCount(count), mRead(std::move(read)) {}
  DeferredSamples(const DeferredSamples&) = delete;
  DeferredSamples& operator=(const DeferredSamples&) = delete;

  std::int64_t Count() const { return mCount; }
  Expected<std::shared_ptr<const Samples>> Get();
  // Whether the file was read already (successfully or not).
  bool Read() const;
  // What reads the samples, while they are unread (empty once read): the storage that made it recognises
  // samples that a save can leave where they are.
  ReadFn Unread() const;
  // Why the read failed; nothing when it succeeded or has not happened.
  std::optional<std::string> Failure() const;

 private:
  const std::int64_t mCount;
  mutable std::mutex mMutex;
  ReadFn mRead;  // released once called
  std::shared_ptr<const Samples> mSamples;
  std::optional<Error> mFailure;
};

}  // namespace kymora
