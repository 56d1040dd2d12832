#pragma once
// Source wrappers: how detector algorithms read their sources. A wrapper reads its host source in blocks
// and hands the algorithm one sample (or event) at a time; the framework saves each wrapper's position
// into the detector state after a step and restores it before the next, so that any saved state can
// resume reading exactly where it stopped.
//
// A wrapper offers nothing at or beyond its read limit (the end of the analysed range) or beyond the end
// of the record. It tells those two cases ("at the end": no more data will ever come) from the case of a
// record still being acquired, whose source has delivered all it has for now ("pending": ask again later).
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/ienum_event_ex.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_ptr.h"
#include "spirometry/events/state_base.h"

namespace EEH3 {

class eeh_SourceEnum {
 public:
  virtual ~eeh_SourceEnum() = default;

  // The tick of the sample (or event) the wrapper offers next; for an event source whose buffer is used
  // up, the lowest tick the next event can have.
  virtual std::int32_t Position() const = 0;
  // Makes the wrapper offer data from tick onwards.
  virtual void Seek(std::int32_t tick) = 0;
  // True when no further data will come before the read limit (the record or the range has ended).
  virtual bool AtEnd() const = 0;
  // The tick at which the source's data ends, 2147483647 while that is not known.
  virtual std::int32_t DataEnd() const = 0;
  // An independent wrapper in the same position over a clone of the host source; null when the host
  // source cannot be cloned (*result says why).
  virtual std::unique_ptr<eeh_SourceEnum> Clone(HRESULT* result) const = 0;

  std::int32_t ReadLimit() const { return mReadLimit; }
  virtual void SetReadLimit(std::int32_t limit) { mReadLimit = limit; }

  SourcePosition Save() const { return SourcePosition{Position(), mReadLimit}; }
  // Back to a saved position, reading up to `readLimit` from now on.
  void Restore(const SourcePosition& saved, std::int32_t readLimit) {
    SetReadLimit(readLimit);
    if (saved.mTick != Position()) Seek(saved.mTick);
  }

 protected:
  eeh_SourceEnum() = default;
  eeh_SourceEnum(const eeh_SourceEnum&) = default;
  eeh_SourceEnum& operator=(const eeh_SourceEnum&) = default;

  std::int32_t mReadLimit = 2147483647;
};

// Samples of a channel (IEnumFloatEx), read in blocks of at most kBlockSamples.
class FloatExWrapper final : public eeh_SourceEnum {
 public:
  static constexpr std::int32_t kBlockSamples = 1024;

  // The source is positioned by the wrapper; it must not be read by anyone else meanwhile.
  explicit FloatExWrapper(ComPtr<IEnumFloatEx> source);

  // Is a sample available at the current position? Reads the next block when the buffer is used up.
  bool HasSample() { return mIndex < mCount || Fill(); }
  float Value() const { return mBuffer[static_cast<std::size_t>(mIndex)]; }
  void Advance() { ++mIndex; }
  std::int32_t Tick() const { return mBufferStart + mIndex; }
  // The samples buffered from the current position on, for a loop over many at a time: reads the next
  // block when the buffer is used up, and is empty when HasSample would be false. Advance(n) passes over
  // the first n of them.
  std::span<const float> Buffered() {
    if (!HasSample()) return {};
    return {mBuffer.data() + mIndex, static_cast<std::size_t>(mCount - mIndex)};
  }
  void Advance(std::int32_t n) { mIndex += n; }

  std::int32_t Position() const override { return Tick(); }
  void Seek(std::int32_t tick) override;
  bool AtEnd() const override { return Tick() >= mReadLimit || Tick() >= mEndTick; }
  std::int32_t DataEnd() const override { return mEndTick; }
  std::unique_ptr<eeh_SourceEnum> Clone(HRESULT* result) const override;
  void SetReadLimit(std::int32_t limit) override;

  IEnumFloatEx* Source() const { return mSource.Get(); }

 private:
  bool Fill();

  ComPtr<IEnumFloatEx> mSource;
  std::int64_t mSourceTick = -1;  // where the source's next Read starts; -1 when unknown
  std::int32_t mBufferStart = 0;  // tick of mBuffer[0]
  std::int32_t mIndex = 0;
  std::int32_t mCount = 0;
  std::int32_t mEndTick = 2147483647;  // the record ends here (or the source failed here)
  std::array<float, kBlockSamples> mBuffer{};
};

// Events of an event source (IEnumEventEx), asked for in blocks of a fixed number of events.
class EventWrapper : public eeh_SourceEnum {
 public:
  EventWrapper(ComPtr<IEnumEventEx> source, std::int32_t elementSize, std::int32_t blockEvents);

  // Is an event available at the current position? Asks the source for the next block when needed.
  bool HasEvent() {
    while (mIndex >= mCount) {
      if (!Fill()) return false;
    }
    return true;
  }
  const std::byte* CurrentRecord() const {
    return mBuffer.data() + static_cast<std::size_t>(mIndex) * static_cast<std::size_t>(mElementSize);
  }
  std::int32_t CurrentTick() const { return TickAt(mIndex); }
  void Advance() { ++mIndex; }
  std::int32_t ElementSize() const { return mElementSize; }

  std::int32_t Position() const override { return mIndex < mCount ? CurrentTick() : mAfterBuffer; }
  void Seek(std::int32_t tick) override;
  bool AtEnd() const override { return mIndex >= mCount && mEnded; }
  std::int32_t DataEnd() const override { return 2147483647; }
  std::unique_ptr<eeh_SourceEnum> Clone(HRESULT* result) const override;

 protected:
  EventWrapper(const EventWrapper&) = default;
  virtual std::unique_ptr<EventWrapper> MakeCopy() const {
    return std::unique_ptr<EventWrapper>(new EventWrapper(*this));
  }

 private:
  bool Fill();
  std::int32_t TickAt(std::int32_t index) const {
    std::int32_t tick;
    std::memcpy(&tick, mBuffer.data() + static_cast<std::size_t>(index) * static_cast<std::size_t>(mElementSize),
                sizeof tick);
    return tick;
  }

  ComPtr<IEnumEventEx> mSource;
  ComPtr<ICalcEnum> mSourceCalc;  // the same object, when it can be positioned directly
  std::int32_t mElementSize;
  std::int32_t mBlockEvents;
  std::vector<std::byte> mBuffer;
  std::int32_t mIndex = 0;
  std::int32_t mCount = 0;
  std::int32_t mAfterBuffer = 0;  // lowest tick of an event after those buffered
  std::int32_t mSkipBelow = 0;    // events before this tick were passed over when the wrapper was positioned
  bool mEnded = false;            // the source has no events after those buffered
};

// An event source whose records are of type E (E begins with the event head and is no larger than the
// source's element size).
template <class E>
class EventWrapperEx final : public EventWrapper {
 public:
  using EventWrapper::EventWrapper;

  // The current event, copied out of the buffer (records of other sources need not be aligned).
  E Current() const {
    E event;
    std::memcpy(&event, CurrentRecord(), sizeof event);
    return event;
  }

  // Wraps a source whose records are at least as large as E; null with E_INVALIDARG otherwise.
  static std::unique_ptr<EventWrapper> Make(ComPtr<IEnumEventEx> source, std::int32_t elementSize,
                                            std::int32_t blockEvents, HRESULT* result) {
    if (elementSize < static_cast<std::int32_t>(sizeof(E))) {
      *result = E_INVALIDARG;
      return nullptr;
    }
    *result = S_OK;
    return std::make_unique<EventWrapperEx>(std::move(source), elementSize, blockEvents);
  }

 private:
  EventWrapperEx(const EventWrapperEx&) = default;
  std::unique_ptr<EventWrapper> MakeCopy() const override {
    return std::unique_ptr<EventWrapper>(new EventWrapperEx(*this));
  }
};

}  // namespace EEH3
