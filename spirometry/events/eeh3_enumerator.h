#pragma once
// EEH3Enumerator<Detector, N>: the event enumerator of a detector. Everything the host sees of a detector
// is implemented here, once for all detectors; a detector supplies only its pieces through `Detector`, a
// class deriving from CalcEnums::CalcEnumEventBase and EEH3::EnumeratorBase that names
//   Params, State, Event                    its parameter class, state class and event record,
//   static bool FindNext(State&, Params&, Event&)   its step function,
//   static const CalcEnums::FunctionTable& Table()  its class record and parameter table,
//   static EEH3::EventFields Fields()               the fields of its record beyond the head.
// N is the number of events the enumerator asks an event source for at a time.
//
// Positions. The position is the next tick not yet examined, except right after an event was delivered,
// when it is that event's tick. Next therefore delivers events from the position onwards, and strictly after
// it when it is the tick of the event last delivered. Setting the position, setting sources, or a Next that
// stops at its end tick leave an unexamined position: an event exactly there comes with the following Next.
// A Find that finds an event makes it pending at the position; the next Next delivers it first.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "host/data/ichannel_data.h"
#include "spirometry/events/calc_enum_agg.h"
#include "spirometry/events/channel_cache.h"
#include "spirometry/events/enumerator_base.h"
#include "spirometry/support/function_table.h"

namespace EEH3 {

template <class Detector, int N>
class EEH3Enumerator : public Detector {
 public:
  using Params = typename Detector::Params;
  using State = typename Detector::State;
  using Event = typename Detector::Event;
  static_assert(N > 0);
  static_assert(std::is_base_of_v<CalcEnums::CalcEnumEventBase, Detector>);
  static_assert(std::is_base_of_v<EnumeratorBase, Detector>);
  static_assert(std::is_base_of_v<ParamsBase, Params>);
  static_assert(std::is_base_of_v<StateBase, State>);
  static_assert(std::is_standard_layout_v<Event> && sizeof(Event) >= sizeof(QorEventBase));
  static_assert(std::is_trivially_copyable_v<Event>);

  EEH3Enumerator() = default;

  // For the class objects (CalcEnums::CalcEnumClass2): a plain instance, or an aggregated one when outer is
  // given (then iid must be IUnknown and *out is the inner unknown).
  static const CalcEnums::FunctionTable& Table() { return Detector::Table(); }
  static HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      if (outer) {
        if (iid != IUnknown::kIid) return CLASS_E_NOAGGREGATION;
        *out = (new CalcEnums::CalcEnumAgg<EEH3Enumerator>(outer))->TakeInner();
        return S_OK;
      }
      auto instance = MakeCom<EEH3Enumerator>();
      return instance->QueryInterface(iid, out);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // ICalcEnum
  HRESULT GetOutputKind(std::uint32_t* kind) override {
    if (!kind) return E_POINTER;
    *kind = CalcKind::kEvents;
    return S_OK;
  }
  HRESULT SetHost(IChannelData* host) override {
    mHost = host;
    return S_OK;
  }
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override {
    if (outputKind) *outputKind = 0;
    if (!text) return E_POINTER;
    return Guarded([&] {
      HRESULT hr = EnumeratorBase::ReadSettings(text, mParams);
      if (Failed(hr)) return hr;
      // Snapshots depend on the settings.
      mCache.Clear();
      mPending.reset();
      MoveTo(0);
      if (outputKind) *outputKind = CalcKind::kEvents;
      return S_OK;
    });
  }
  HRESULT GetParameters(std::wstring* text) override {
    if (!text) return E_POINTER;
    return Guarded([&] {
      *text = EnumeratorBase::WriteSettings(mParams);
      return S_OK;
    });
  }
  HRESULT Clone(ICalcEnum** out) override { return CloneAs(out); }
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override {
    return Guarded([&] {
      HRESULT hr = mParams.SetSources(count, sources, N);
      if (Failed(hr)) return hr;
      mParams.mCurrentRecord = record;
      mParams.mSourceWord = count;
      mParams.mFurtherWord = further;
      mParams.mSecsPerTick = secsPerTick;
      mRecord = record;
      mSecsPerTick = secsPerTick;
      mFilling = online < 0;
      mCache.DiscardWorking();
      mPending.reset();
      MoveTo(0);
      mMoreEvents = true;
      return S_OK;
    });
  }
  HRESULT SetPosition(std::int64_t tick) override {
    std::int32_t t = EnumeratorBase::ClampTick(tick);
    if (mParams.mCurrentRecord == mParams.mRangeStartRecord) t = std::max(t, mParams.mRangeStartTick);
    mCache.DiscardWorking();
    mPending.reset();  // an event found before the move belongs to the old position
    MoveTo(t);
    for (std::size_t i = 0; i < mParams.SourceCount(); ++i) mParams.Source(i).Seek(t);
    return S_OK;
  }
  HRESULT ReleaseSources() override {
    mCache.DiscardWorking();
    mParams.ReleaseSources();
    return S_OK;
  }

  // IEnumEventEx
  HRESULT Next(std::int32_t endTick, void* buffer, std::int32_t bufferBytes, std::int32_t* count,
               std::int32_t* nextTick) override {
    if (count) *count = 0;
    if (nextTick) *nextTick = mPosition;
    if (!count || !nextTick || (bufferBytes > 0 && !buffer)) return E_POINTER;
    if (!mParams.HasSources()) return E_UNEXPECTED;
    return Guarded([&] {
      const std::int32_t end = endTick < 0 ? kRecordEndOffset : endTick;
      const std::int32_t capacity = std::max(0, bufferBytes) / static_cast<std::int32_t>(sizeof(Event));
      auto* out = static_cast<std::byte*>(buffer);
      std::int32_t n = 0;
      while (n < capacity) {
        if (mPosition >= end) break;
        if (mPending) {
          std::memcpy(out + static_cast<std::size_t>(n) * sizeof(Event), mPending.get(), sizeof(Event));
          ++n;
          mPosition = mPending->mPosition.mTickPosition;
          mNextAccept = mPosition + 1;
          mPending.reset();
          continue;
        }
        if (mParams.mCurrentRecord == mParams.mRangeEndRecord && mPosition >= mParams.mRangeEndTick) {
          mPosition = mNextAccept = kRecordEndOffset;
          break;
        }
        Event event;
        Zero(event);
        std::int32_t next = 0;
        if (mCache.Search(mNextAccept, end, event, mParams, mFilling, next)) {
          std::memcpy(out + static_cast<std::size_t>(n) * sizeof(Event), &event, sizeof(Event));
          ++n;
          mPosition = next;
          mNextAccept = next + 1;
        } else {
          mPosition = mNextAccept = next;
          break;
        }
      }
      // A position beyond the end tick is reported as the end tick; what has been delivered stays delivered.
      if (mPosition != kRecordEndOffset && mPosition > end) mPosition = end;
      mMoreEvents = mPosition != kRecordEndOffset;
      *count = n;
      *nextTick = mPosition;
      return mPosition == kRecordEndOffset ? S_FALSE : S_OK;
    });
  }

  HRESULT Find(std::int32_t direction, std::int32_t fromTick, std::int32_t lower, std::int32_t upper) override {
    if (!mParams.HasSources()) return E_UNEXPECTED;
    return Guarded([&] {
      mCache.DiscardWorking();
      mPending.reset();
      if (lower == upper || upper == 0) {
        MoveTo(upper);
        return S_FALSE;
      }
      if (direction != 0 && fromTick == 0) {
        MoveTo(lower);
        return S_FALSE;
      }
      std::int32_t t = std::max(fromTick, lower);
      if (t >= upper) {
        if (upper == std::numeric_limits<std::int32_t>::min()) return S_FALSE;  // no tick lies below it
        t = upper - 1;
      }
      return direction == 0 ? FindForwards(t, lower, upper) : FindBackwards(t, lower, upper);
    });
  }

  HRESULT GetPosition(std::int32_t* tick) override {
    if (!tick) return E_POINTER;
    *tick = mPosition;
    return S_OK;
  }
  HRESULT GetElementSize(std::int32_t* bytes) override {
    if (!bytes) return E_POINTER;
    *bytes = static_cast<std::int32_t>(sizeof(Event));
    return S_OK;
  }
  HRESULT Clone(IEnumEventEx** out) override { return CloneAs(out); }
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT Reserved3() override { return 0; }

  // IEventLayout
  HRESULT GetFieldCount(std::int32_t* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<std::int32_t>(Detector::Fields().size());
    return S_OK;
  }
  HRESULT GetField(std::int32_t index, std::wstring* name, std::int32_t* offset, std::int32_t* type) override {
    const EventFields fields = Detector::Fields();
    if (index < 0 || index >= static_cast<std::int32_t>(fields.size())) return E_INVALIDARG;
    return Guarded([&] {
      const EventField& f = fields[static_cast<std::size_t>(index)];
      if (name) *name = f.name;
      if (offset) *offset = f.offset;
      if (type) *type = f.type;
      return S_OK;
    });
  }

  // For benchmarks and tests: the snapshot cache.
  std::size_t SnapshotCount() const { return mCache.SnapshotCount(); }
  std::size_t SnapshotBytes() const { return mCache.SnapshotBytes(); }
  const Params& Parameters() const { return mParams; }
  bool MoreEvents() const { return mMoreEvents; }

 private:
  template <class F>
  static HRESULT Guarded(F&& f) {
    try {
      return f();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const SourceCloneError& e) {
      return e.result;
    } catch (...) {
      return E_FAIL;
    }
  }

  // Records travel as bytes. A member-wise copy leaves the padding between fields undefined, and the host
  // receives every byte of a record, so a record is filled in a zeroed holder and copied whole.
  static void Zero(Event& e) { std::memset(static_cast<void*>(&e), 0, sizeof(Event)); }
  static std::shared_ptr<Event> Hold(const Event& e) {
    auto held = std::make_shared<Event>();
    std::memcpy(static_cast<void*>(held.get()), &e, sizeof(Event));
    return held;
  }

  void MoveTo(std::int32_t tick) {
    mPosition = mNextAccept = tick;
    mMoreEvents = tick != kRecordEndOffset;
  }
  bool Accepted(const Event& e, std::int32_t lower, std::int32_t upper) const {
    const std::int32_t tick = e.mPosition.mTickPosition;
    return tick >= 1 && tick >= lower && tick < upper;
  }

  HRESULT FindForwards(std::int32_t t, std::int32_t lower, std::int32_t upper) {
    Event event;
    Zero(event);
    std::int32_t next = 0;
    // The first event from t is the answer, and one at tick 0 is not reported by Find: it answers S_FALSE
    // rather than pass over that event to a later one (the next Next from 0 delivers it).
    if (mCache.Search(t, upper, event, mParams, mFilling, next) && Accepted(event, lower, upper)) {
      // The working state now stands right after the event, so the Next that takes it continues from there.
      mPending = Hold(event);
      MoveTo(event.mPosition.mTickPosition);
      return S_OK;
    }
    // Nothing found: the position moves to t only when that is forwards.
    mCache.DiscardWorking();
    if (t > mPosition) MoveTo(t);
    return S_FALSE;
  }

  // The last event at or before t, searched chunk by chunk backwards so that the work of each try is
  // bounded by one chunk.
  HRESULT FindBackwards(std::int32_t t, std::int32_t lower, std::int32_t upper) {
    const std::int32_t floor = std::max(lower, std::int32_t{1});
    for (std::int32_t high = t; high >= floor;) {
      const std::int32_t chunkBase = high / kChunkTicks * kChunkTicks;
      const std::int32_t low = std::max(floor, chunkBase);
      Event event, last;
      Zero(event);
      Zero(last);
      bool found = false;
      std::int32_t next = 0;
      mCache.DiscardWorking();
      for (std::int32_t from = low; from <= high && mCache.Search(from, high + 1, event, mParams, mFilling, next);) {
        if (Accepted(event, lower, upper)) {
          std::memcpy(&last, &event, sizeof(Event));
          found = true;
        }
        from = event.mPosition.mTickPosition + 1;
      }
      mCache.DiscardWorking();
      if (found) {
        mPending = Hold(last);
        MoveTo(last.mPosition.mTickPosition);
        return S_OK;
      }
      high = chunkBase - 1;
    }
    // Nothing found: the position moves to t only when that is backwards.
    if (t < mPosition) MoveTo(t);
    return S_FALSE;
  }

  template <class I>
  HRESULT CloneAs(I** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
      auto copy = MakeCom<EEH3Enumerator>();
      copy->mParams = mParams;
      copy->mPosition = mPosition;
      copy->mNextAccept = mNextAccept;
      copy->mMoreEvents = mMoreEvents;
      copy->mFilling = mFilling;
      copy->mSecsPerTick = mSecsPerTick;
      copy->mRecord = mRecord;
      copy->mHost = mHost;
      if (mPending) copy->mPending = Hold(*mPending);
      copy->mCache.CopySnapshots(mCache);
      *out = static_cast<I*>(copy.Detach());
      return S_OK;
    });
  }

  Params mParams;
  std::int32_t mPosition = 0;
  std::int32_t mNextAccept = 0;  // the first tick at which an event can still be delivered
  bool mMoreEvents = false;
  bool mFilling = false;
  double mSecsPerTick = 0;
  std::int32_t mRecord = 0;
  std::shared_ptr<Event> mPending;  // found by Find, delivered by the next Next
  ChannelCache<Detector> mCache;
  ComPtr<IChannelData> mHost;
};

}  // namespace EEH3
