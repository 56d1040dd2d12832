#pragma once
// The detection cache of one enumerator: per record, snapshots of the detector state taken every
// kChunkTicks ticks, and the working state that consecutive searches continue.
//
// Why searches from any tick give the events of one pass over the record: a detector returns an event only
// if it lies before the step's end, and reports a step complete only when no further event can lie before
// it. A snapshot is taken only when a step that ended at a chunk boundary is complete, so every event
// reported after the snapshot lies at or after the boundary and every event before it was reported
// before. Restoring the latest snapshot at or before a tick and passing over the events before that tick
// therefore yields exactly the one-pass events from the tick on.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "spirometry/events/event_field.h"
#include "spirometry/events/params_base.h"

namespace EEH3 {

constexpr std::int32_t kChunkTicks = 100000;

// The snapshots of one record: mSnapshots[i] is the state as it stood when detection reached chunk
// mFirstChunk + i (the first one is the fresh state at the start of the analysed range).
template <class State>
class RecordCache {
 public:
  bool Empty() const { return mSnapshots.empty(); }
  std::size_t Count() const { return mSnapshots.size(); }
  std::int32_t FirstChunk() const { return mFirstChunk; }

  // The latest snapshot at or before `chunk` (the first one when `chunk` lies before it).
  std::int32_t NearestChunk(std::int32_t chunk) const {
    const auto last = mFirstChunk + static_cast<std::int32_t>(mSnapshots.size()) - 1;
    return std::clamp(chunk, mFirstChunk, last);
  }
  const State& At(std::int32_t chunk) const { return *mSnapshots[static_cast<std::size_t>(chunk - mFirstChunk)]; }

  // Stores the state of `chunk`, replacing an older one (the same state, when detection passes a boundary
  // again); chunks are stored in order from the first.
  void Store(std::int32_t chunk, std::shared_ptr<const State> state) {
    if (mSnapshots.empty()) mFirstChunk = chunk;
    const auto index = static_cast<std::size_t>(chunk - mFirstChunk);
    if (index < mSnapshots.size())
      mSnapshots[index] = std::move(state);
    else if (index == mSnapshots.size())
      mSnapshots.push_back(std::move(state));
  }

 private:
  std::int32_t mFirstChunk = 0;
  // Shared so that clones of an enumerator share the snapshots; a stored snapshot never changes.
  std::vector<std::shared_ptr<const State>> mSnapshots;
};

// Detector provides the types Params (a ParamsBase), State (a StateBase constructible from a start tick)
// and Event (a record beginning with the event head), and
//   static bool FindNext(State&, Params&, Event&);
template <class Detector>
class ChannelCache {
 public:
  using Params = typename Detector::Params;
  using State = typename Detector::State;
  using Event = typename Detector::Event;

  // The working state: a detector state and the chunk it is in.
  struct CurrentState {
    State mState;
    std::int32_t mChunk;
    std::int32_t ChunkBase() const { return mChunk * kChunkTicks; }
  };

  // Forgets the working state; the next search restores one from the snapshots.
  void DiscardWorking() { mCurrent.reset(); }
  // Forgets everything (the detection settings changed).
  void Clear() {
    mCurrent.reset();
    mRecords.clear();
  }
  // Shares the snapshots of another cache (clones of an enumerator); no working state.
  void CopySnapshots(const ChannelCache& other) {
    mRecords = other.mRecords;
    mCurrent.reset();
  }

  // Finds the first event at or after `start` and before `end` in the current record of params.
  // Returns true with the event in `out` and its tick in `next`. Otherwise `next` is the next tick not yet
  // examined: 2147483647 when the record holds no further events, at least `end` when the search reached
  // it, and less than `end` when the sources ran out of data for now (a record still being acquired).
  bool Search(std::int32_t start, std::int32_t end, Event& out, Params& params, bool filling, std::int32_t& next) {
    const std::int32_t rangeBegin = params.RangeBegin();
    const std::int32_t rangeEnd = params.RangeEnd();
    if (rangeEnd <= rangeBegin || start >= rangeEnd) {
      next = kRecordEndOffset;
      return false;
    }
    auto& record = mRecords[params.mCurrentRecord];
    if (record.Empty()) record.Store(rangeBegin / kChunkTicks, std::make_shared<const State>(Fresh(params)));
    if (!mCurrent) {
      // Later snapshots stay: each depends only on the data before its boundary, so a restart anywhere
      // costs at most one chunk of detection.
      const std::int32_t chunk = record.NearestChunk(std::max(start, rangeBegin) / kChunkTicks);
      mCurrent.emplace(CurrentState{record.At(chunk), chunk});
    }
    State& state = mCurrent->mState;
    for (;;) {
      const auto chunkLimit = static_cast<std::int32_t>(
          std::min<std::int64_t>((std::int64_t{mCurrent->mChunk} + 1) * kChunkTicks, kRecordEndOffset));
      const std::int32_t stepEnd = std::min({end, chunkLimit, rangeEnd});
      if (RunStep(state, params, stepEnd, filling, out)) {
        const std::int32_t tick = out.mPosition.mTickPosition;
        if (tick >= start && tick >= rangeBegin && tick < rangeEnd && !IsNoValue(out.mValue)) {
          next = tick;
          return true;
        }
        continue;  // before the start of this search, or without a value: passed over
      }
      const std::int32_t position = state.Position();
      if (position == kRecordEndOffset) {
        next = kRecordEndOffset;
        return false;
      }
      if (position < stepEnd) {  // online: the data acquired so far has run out
        next = std::max(position, start);
        return false;
      }
      if (stepEnd == chunkLimit && chunkLimit < kRecordEndOffset) {
        ++mCurrent->mChunk;
        record.Store(mCurrent->mChunk, std::make_shared<const State>(state));
      }
      if (stepEnd == rangeEnd) {
        next = kRecordEndOffset;
        return false;
      }
      if (stepEnd == end) {
        next = std::max({position, end, start});
        return false;
      }
    }
  }

  // Snapshots held for all records, and the bytes they take: the state, its shared holder's control block
  // (a virtual table pointer and two counts) and the holder in the array.
  std::size_t SnapshotCount() const {
    std::size_t n = 0;
    for (const auto& [record, cache] : mRecords) n += cache.Count();
    return n;
  }
  std::size_t SnapshotBytes() const {
    return SnapshotCount() * (sizeof(State) + sizeof(void*) + 2 * sizeof(int) + sizeof(std::shared_ptr<const State>));
  }

 private:
  static State Fresh(const Params& params) {
    const std::int32_t begin = params.RangeBegin();
    State state(begin);
    for (std::size_t i = 0; i < params.SourceCount() && i < kMaxSources; ++i)
      state.mSources[i] = SourcePosition{begin, params.RangeEnd()};
    return state;
  }

  static bool AllAtEnd(const Params& params) {
    for (std::size_t i = 0; i < params.SourceCount(); ++i)
      if (!params.Source(i).AtEnd()) return false;
    return true;
  }

  static std::int32_t DataEnd(const Params& params) {
    std::int32_t end = 0;
    for (std::size_t i = 0; i < params.SourceCount(); ++i) end = std::max(end, params.Source(i).DataEnd());
    return end;
  }

  // One call of the detector over [state position, stepEnd).
  static bool RunStep(State& state, Params& params, std::int32_t stepEnd, bool filling, Event& out) {
    const std::size_t sources = std::min(params.SourceCount(), kMaxSources);
    const std::int32_t readLimit = params.RangeEnd();
    for (std::size_t i = 0; i < sources; ++i) params.Source(i).Restore(state.mSources[i], readLimit);
    state.mStepEnd = stepEnd;
    state.mFilling = filling ? 1 : 0;
    bool found = Detector::FindNext(state, params, out);
    if (!found && !state.mDone) {
      // Nothing more can come in this record, so let the detector finish, when it stopped short of the step
      // end on a complete record (a source it needs has ended: running it again would stop at the same
      // place), or when every source has ended and the detector stopped short or has gone past all the data.
      const std::int32_t position = state.Position();
      const bool stoppedShort = position < stepEnd;
      if (position != kRecordEndOffset &&
          ((stoppedShort && !filling) || (AllAtEnd(params) && (stoppedShort || position >= DataEnd(params))))) {
        state.MarkDone();
        found = Detector::FindNext(state, params, out);
      }
    }
    if (!found && state.Position() == kRecordEndOffset) state.MarkDone();
    for (std::size_t i = 0; i < sources; ++i) state.mSources[i] = params.Source(i).Save();
    return found;
  }

  std::map<std::int32_t, RecordCache<State>> mRecords;
  std::optional<CurrentState> mCurrent;
};

}  // namespace EEH3
