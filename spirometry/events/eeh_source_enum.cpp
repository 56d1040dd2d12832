#include "spirometry/events/eeh_source_enum.h"

#include <algorithm>

namespace EEH3 {

namespace {
constexpr std::int32_t kTickMax = 2147483647;
}

FloatExWrapper::FloatExWrapper(ComPtr<IEnumFloatEx> source) : mSource(std::move(source)) {
  std::int64_t tick = 0;
  if (mSource && Succeeded(mSource->GetPosition(&tick))) mSourceTick = tick;
}

void FloatExWrapper::Seek(std::int32_t tick) {
  if (tick >= mBufferStart && tick <= mBufferStart + mCount) {
    mIndex = tick - mBufferStart;
    return;
  }
  mBufferStart = tick;
  mIndex = 0;
  mCount = 0;
}

void FloatExWrapper::SetReadLimit(std::int32_t limit) {
  mReadLimit = limit;
  // Samples already buffered beyond a lowered limit must not be offered.
  if (mBufferStart + mCount > limit) {
    const std::int32_t tick = Tick();
    mCount = std::max(0, limit - mBufferStart);
    if (mIndex > mCount) {
      mBufferStart = tick;
      mIndex = 0;
      mCount = 0;
    }
  }
}

bool FloatExWrapper::Fill() {
  const std::int32_t tick = Tick();
  if (tick >= mReadLimit || tick >= mEndTick || !mSource) return false;
  const std::int32_t wanted = std::min<std::int32_t>(kBlockSamples, mReadLimit - tick);
  if (mSourceTick != tick) {
    if (Failed(mSource->Seek(tick))) {
      mEndTick = tick;
      return false;
    }
    mSourceTick = tick;
  }
  std::int32_t delivered = 0;
  const HRESULT hr = mSource->Read(wanted, mBuffer.data(), &delivered);
  delivered = std::clamp(delivered, 0, wanted);
  mSourceTick += delivered;
  mBufferStart = tick;
  mIndex = 0;
  mCount = delivered;
  // Fewer samples than asked for mean the end of the record, unless the record is still being acquired.
  // A failing source ends the data where it failed: detection must not wait for it forever.
  if (delivered < wanted && hr != KYM_S_PENDING) mEndTick = tick + delivered;
  return delivered > 0;
}

std::unique_ptr<eeh_SourceEnum> FloatExWrapper::Clone(HRESULT* result) const {
  ComPtr<IEnumFloatEx> source;
  *result = mSource ? mSource->Clone(source.Put()) : E_POINTER;
  if (Failed(*result) || !source) {
    if (Succeeded(*result)) *result = E_FAIL;
    return nullptr;
  }
  auto copy = std::make_unique<FloatExWrapper>(*this);
  copy->mSource = std::move(source);
  return copy;
}

EventWrapper::EventWrapper(ComPtr<IEnumEventEx> source, std::int32_t elementSize, std::int32_t blockEvents)
    : mSource(std::move(source)),
      mElementSize(elementSize),
      mBlockEvents(blockEvents),
      mBuffer(static_cast<std::size_t>(elementSize) * static_cast<std::size_t>(blockEvents)) {
  mSourceCalc = mSource.As<ICalcEnum>();
  std::int32_t tick = 0;
  if (mSource && Succeeded(mSource->GetPosition(&tick))) mAfterBuffer = tick;
}

void EventWrapper::Seek(std::int32_t tick) {
  mIndex = 0;
  mCount = 0;
  mEnded = false;
  mAfterBuffer = tick;
  mSkipBelow = tick;
  // Sources differ in whether an event at their position is still to come; positioning one tick early and
  // passing over what comes before `tick` serves both kinds.
  const std::int32_t before = tick > 0 ? tick - 1 : 0;
  if (mSourceCalc && Succeeded(mSourceCalc->SetPosition(before))) return;
  if (mSource && Succeeded(mSource->Find(0, before, before, kTickMax))) return;
  mEnded = true;  // a source that cannot be positioned gives nothing more
  mAfterBuffer = kTickMax;
}

bool EventWrapper::Fill() {
  mIndex = 0;
  mCount = 0;
  if (mEnded || !mSource) return false;
  if (mAfterBuffer >= mReadLimit) {
    mEnded = true;
    return false;
  }
  std::int32_t count = 0;
  std::int32_t next = 0;
  const HRESULT hr =
      mSource->Next(mReadLimit, mBuffer.data(), static_cast<std::int32_t>(mBuffer.size()), &count, &next);
  if (Failed(hr)) {
    mEnded = true;
    mAfterBuffer = kTickMax;
    return false;
  }
  count = std::clamp(count, 0, mBlockEvents);
  mCount = count;
  while (mIndex < mCount && TickAt(mIndex) < mSkipBelow) ++mIndex;
  const std::int32_t afterLast = count > 0 ? TickAt(count - 1) + 1 : 0;
  if (hr == S_FALSE || next == kRecordEndOffset) {
    mEnded = true;
    mAfterBuffer = kTickMax;
  } else if (count == mBlockEvents) {
    // A full block stops at its last event, which the source reports as its position.
    mAfterBuffer = std::max(afterLast, mSkipBelow);
  } else {
    mAfterBuffer = std::max({next, afterLast, mSkipBelow});
    if (next >= mReadLimit) mEnded = true;
  }
  return mIndex < mCount || (count == mBlockEvents && !mEnded);
}

std::unique_ptr<eeh_SourceEnum> EventWrapper::Clone(HRESULT* result) const {
  ComPtr<IEnumEventEx> source;
  *result = mSource ? mSource->Clone(source.Put()) : E_POINTER;
  if (Failed(*result) || !source) {
    if (Succeeded(*result)) *result = E_FAIL;
    return nullptr;
  }
  auto copy = MakeCopy();
  copy->mSource = std::move(source);
  copy->mSourceCalc = copy->mSource.As<ICalcEnum>();
  return copy;
}

}  // namespace EEH3
