#include "host/data/deferred_samples.h"

namespace kymora {

Expected<std::shared_ptr<const Samples>> DeferredSamples::Get() {
  std::lock_guard lock(mMutex);
  if (mRead) {
    auto samples = mRead();
    mRead = nullptr;
    if (!samples)
      mFailure = Error{samples.ErrorMessage()};
    else if (static_cast<std::int64_t>(samples->size()) != mCount)  // never served shorter than promised
      mFailure = Error{"the samples read back differ in number from those the file held when it was opened"};
    else
      mSamples = std::make_shared<const Samples>(std::move(*samples));
  }
  if (mFailure) return *mFailure;
  return mSamples;
}

DeferredSamples::ReadFn DeferredSamples::Unread() const {
  std::lock_guard lock(mMutex);
  return mRead;
}

bool DeferredSamples::Read() const {
  std::lock_guard lock(mMutex);
  return !mRead;
}

std::optional<std::string> DeferredSamples::Failure() const {
  std::lock_guard lock(mMutex);
  if (!mFailure) return std::nullopt;
  return mFailure->message;
}

}  // namespace kymora
