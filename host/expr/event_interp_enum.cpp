#include "host/expr/event_interp_enum.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace kymora::expr {

namespace {
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
}  // namespace

EventInterpEnum::EventInterpEnum(const EventInterpEnum& other)
    : SampleFunction(other),
      mMode(other.mMode),
      mElementSize(other.mElementSize),
      mBuffer(other.mBuffer),
      mIndex(other.mIndex),
      mCount(other.mCount),
      mCovered(other.mCovered),
      mEnded(other.mEnded),
      mHaveCurrent(other.mHaveCurrent),
      mCurrentTick(other.mCurrentTick),
      mCurrentValue(other.mCurrentValue),
      mPosition(other.mPosition),
      mLength(other.mLength) {
  if (other.mEvents) {
    if (Failed(other.mEvents->Clone(mEvents.Put())) || !mEvents) throw std::runtime_error("events cannot be cloned");
    mEventsCalc = mEvents.As<ICalcEnum>();
  }
}

HRESULT EventInterpEnum::TakeNumbers(const std::vector<double>& numbers) {
  if (numbers.size() > 1) return E_INVALIDARG;
  const double mode = numbers.empty() ? 0.0 : numbers[0];
  if (mode != 0.0 && mode != 1.0) return E_INVALIDARG;
  mMode = static_cast<std::int32_t>(mode);
  return S_OK;
}

HRESULT EventInterpEnum::TakeSources(std::int32_t count, IUnknown* const* sources) {
  if (count < 1 || !sources[0] || !mHost) return E_INVALIDARG;
  ComPtr<IEnumEventEx> events;
  if (Failed(sources[0]->QueryInterface(IEnumEventEx::kIid, events.PutVoid())) || !events) return E_INVALIDARG;
  std::int32_t size = 0;
  if (Failed(events->GetElementSize(&size)) || size < static_cast<std::int32_t>(sizeof(QorEventBase)))
    return E_INVALIDARG;
  mEvents = events;
  mEventsCalc = events.As<ICalcEnum>();
  mElementSize = size;
  mBuffer.assign(static_cast<std::size_t>(size) * kBlockEvents, std::byte{0});
  mLength = 0;
  HRESULT hr = RefreshLength();
  if (Failed(hr)) return hr;
  mPosition = 0;
  return Restart();
}

void EventInterpEnum::DropSources() {
  mEvents.Reset();
  mEventsCalc.Reset();
}

HRESULT EventInterpEnum::RefreshLength() {
  std::int64_t length = 0;
  HRESULT hr = mHost->GetBlockLength(kBlockInfoFlags, mRecord, 0, &length);
  if (Failed(hr)) return hr;
  mLength = length;
  return S_OK;
}

HRESULT EventInterpEnum::Restart() {
  mIndex = mCount = 0;
  mCovered = 0;
  mEnded = false;
  mHaveCurrent = false;
  if (mEventsCalc) return mEventsCalc->SetPosition(0);
  // A source that cannot be positioned directly: its events from the first tick on.
  mEvents->Find(0, 0, 0, kRecordEndOffset);
  return S_OK;
}

std::int32_t EventInterpEnum::TickAt(std::int32_t index) const {
  std::int32_t tick;
  std::memcpy(&tick, mBuffer.data() + static_cast<std::size_t>(index) * static_cast<std::size_t>(mElementSize),
              sizeof tick);
  return tick;
}

double EventInterpEnum::ValueOf(std::int32_t index) const {
  double value;
  std::memcpy(&value,
              mBuffer.data() + static_cast<std::size_t>(index) * static_cast<std::size_t>(mElementSize) +
                  offsetof(QorEventBase, mValue),
              sizeof value);
  return value;
}

HRESULT EventInterpEnum::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPosition;
  return S_OK;
}

HRESULT EventInterpEnum::Seek(std::int64_t tick) {
  if (!mEvents) return E_UNEXPECTED;
  if (tick < 0) return E_INVALIDARG;
  if (tick < mPosition || (mHaveCurrent && tick < mCurrentTick)) {
    HRESULT hr = Restart();
    if (Failed(hr)) return hr;
  }
  mPosition = tick;
  return S_OK;
}

HRESULT EventInterpEnum::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  if (!mEvents) return E_UNEXPECTED;
  HRESULT hr = RefreshLength();
  *length = mLength;
  return hr;
}

HRESULT EventInterpEnum::TakeUpTo(std::int64_t tick) {
  for (;;) {
    while (mIndex < mCount && TickAt(mIndex) <= tick) {
      mHaveCurrent = true;
      mCurrentTick = TickAt(mIndex);
      mCurrentValue = ValueOf(mIndex);
      ++mIndex;
    }
    if (mIndex < mCount || mEnded) return S_OK;
    if (mMode == 0 && mCovered > tick) return S_OK;
    // Asked without an end tick, a source stops after a full buffer at its last event, or where its data
    // ends: no event can lie at a position the next request starts from. Lines need the event after the
    // tick, however far it lies, in any case.
    std::int32_t count = 0, next = 0;
    const HRESULT hr = mEvents->Next(-1, mBuffer.data(), static_cast<std::int32_t>(mBuffer.size()), &count, &next);
    if (Failed(hr)) return hr;
    mIndex = 0;
    mCount = std::clamp(count, 0, kBlockEvents);
    if (hr == S_FALSE || next == kRecordEndOffset) mEnded = true;
    // A full buffer stops at its last event; otherwise the source has examined everything before `next`.
    mCovered = mCount == kBlockEvents ? TickAt(mCount - 1) + std::int64_t{1} : std::max<std::int64_t>(next, mCovered);
    if (mCount == 0 && !mEnded && mCovered <= tick) return KYM_S_PENDING;
  }
}

float EventInterpEnum::ValueAt(std::int64_t tick) const {
  if (!mHaveCurrent) return kNaN;
  if (mMode == 0 || mIndex >= mCount) return static_cast<float>(mCurrentValue);
  const double nextTick = TickAt(mIndex), nextValue = ValueOf(mIndex);
  const double share = static_cast<double>(tick - mCurrentTick) / (nextTick - static_cast<double>(mCurrentTick));
  return static_cast<float>(mCurrentValue + (nextValue - mCurrentValue) * share);
}

HRESULT EventInterpEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  std::int32_t ignored = 0;
  if (!delivered) delivered = &ignored;
  *delivered = 0;
  if (!mEvents) return E_UNEXPECTED;
  if (count < 0 || (count > 0 && !buffer)) return E_INVALIDARG;
  return Guarded([&] {
    if (mPosition + count > mLength) {
      HRESULT hr = RefreshLength();
      if (Failed(hr)) return hr;
    }
    const auto n = static_cast<std::int32_t>(std::clamp<std::int64_t>(mLength - mPosition, 0, count));
    for (std::int32_t i = 0; i < n; ++i) {
      const HRESULT hr = TakeUpTo(mPosition);
      if (hr != S_OK) {
        *delivered = i;
        return hr;
      }
      buffer[i] = ValueAt(mPosition);
      ++mPosition;
    }
    *delivered = n;
    return n < count ? S_FALSE : S_OK;
  });
}

}  // namespace kymora::expr
