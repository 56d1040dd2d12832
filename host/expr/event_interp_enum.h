#pragma once
// EventInterp(events, mode) (also Eventinterp; mode may be left out, meaning 0): a sample channel made from
// an event source over the record.
//   mode 0  steps: from each event's tick until the next event's, the event's value;
//   mode 1  straight lines: between two events the value runs linearly from the one's value at its tick to
//           the other's at its; after the last event it holds the last value.
// Before the first event the channel is not-a-number. The record's length comes from the host.
#include <vector>

#include "host/calc/ienum_event_ex.h"
#include "host/expr/sample_function.h"

namespace kymora::expr {

class EventInterpEnum final : public SampleFunction {
 public:
  EventInterpEnum() = default;
  EventInterpEnum(const EventInterpEnum& other);

  HRESULT GetPosition(std::int64_t* tick) override;
  // Forwards the events are taken up on the way; backwards the event source starts again at the record's
  // start.
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;

 protected:
  HRESULT TakeNumbers(const std::vector<double>& numbers) override;
  HRESULT TakeSources(std::int32_t count, IUnknown* const* sources) override;
  void DropSources() override;
  ComPtr<SampleFunction> Copy() const override { return MakeCom<EventInterpEnum>(*this); }

 private:
  static constexpr std::int32_t kBlockEvents = 16;

  HRESULT Restart();
  // Takes up every event at or before `tick`; in mode 1 also finds the first event after it, unless none
  // will come. KYM_S_PENDING when the events for the tick have not been found yet.
  HRESULT TakeUpTo(std::int64_t tick);
  float ValueAt(std::int64_t tick) const;
  std::int32_t TickAt(std::int32_t index) const;
  double ValueOf(std::int32_t index) const;
  HRESULT RefreshLength();

  std::int32_t mMode = 0;
  ComPtr<IEnumEventEx> mEvents;
  ComPtr<ICalcEnum> mEventsCalc;  // the same source, when it can be positioned directly
  std::int32_t mElementSize = 16;
  std::vector<std::byte> mBuffer;  // kBlockEvents records, allocated once
  std::int32_t mIndex = 0;         // first buffered event not yet taken up
  std::int32_t mCount = 0;
  std::int64_t mCovered = 0;  // every event before this tick has been fetched
  bool mEnded = false;        // no event after those fetched
  bool mHaveCurrent = false;  // an event at or before the position has been taken up
  std::int64_t mCurrentTick = 0;
  double mCurrentValue = 0;
  std::int64_t mPosition = 0;
  std::int64_t mLength = 0;
};

}  // namespace kymora::expr
