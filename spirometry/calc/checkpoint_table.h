#pragma once
// Checkpoints of a sequential integrator: the integrator state as it stood at every multiple of a fixed
// interval of ticks, so that a seek integrates at most one interval instead of the whole record.
//
// CheckpointTable is shared by an enumerator and its clones, which the host reads on several threads: it is
// written under the writer side of its lock and read under the reader side, and it holds the checkpoints
// of each record apart (an enumerator may be set to another record, and its clones to different ones).
// PrivateCheckpoints is one enumerator's own short list, used while its record is still being acquired.
#include <oneapi/tbb/spin_rw_mutex.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>

namespace IIREnum {

// A deque that grows to any index written.
template <class T>
class DequeAddOnAccess {
 public:
  T& At(std::size_t index) {
    if (index >= mItems.size()) mItems.resize(index + 1);
    return mItems[index];
  }
  const T* Find(std::size_t index) const { return index < mItems.size() ? &mItems[index] : nullptr; }
  std::size_t Size() const { return mItems.size(); }

 private:
  std::deque<T> mItems;
};

template <class State>
class CheckpointTable {
 public:
  // Checkpoint `index` (1 or more) of a record.
  void Store(std::int32_t record, std::int64_t index, const State& state) {
    tbb::spin_rw_mutex::scoped_lock lock(mMutex, /*write=*/true);
    Entry& e = mRecords[record].At(static_cast<std::size_t>(index));
    e.state = state;
    e.valid = true;
  }
  // The highest checkpoint of the record at or below index and at or above lowest (at least 1), with its
  // state; 0 when there is none.
  std::int64_t FindAtOrBelow(std::int32_t record, std::int64_t index, State* state, std::int64_t lowest = 1) const {
    tbb::spin_rw_mutex::scoped_lock lock(mMutex, /*write=*/false);
    auto it = mRecords.find(record);
    if (it == mRecords.end() || it->second.Size() == 0) return 0;
    lowest = std::max<std::int64_t>(lowest, 1);
    for (std::int64_t i = std::min<std::int64_t>(index, static_cast<std::int64_t>(it->second.Size()) - 1); i >= lowest;
         --i) {
      const Entry* e = it->second.Find(static_cast<std::size_t>(i));
      if (e && e->valid) {
        *state = e->state;
        return i;
      }
    }
    return 0;
  }

 private:
  struct Entry {
    State state{};
    bool valid = false;
  };
  mutable tbb::spin_rw_mutex mMutex;
  std::map<std::int32_t, DequeAddOnAccess<Entry>> mRecords;
};

template <class State>
class PrivateCheckpoints {
 public:
  static constexpr std::size_t kCapacity = 256;

  // Keeps the entries in index order; beyond the capacity the lowest go, as a growing record is read near
  // its end.
  void Store(std::int64_t index, const State& state) {
    auto it = std::lower_bound(mEntries.begin(), mEntries.end(), index,
                               [](const Entry& e, std::int64_t i) { return e.index < i; });
    if (it != mEntries.end() && it->index == index)
      it->state = state;
    else
      mEntries.insert(it, Entry{index, state});
    while (mEntries.size() > kCapacity) mEntries.pop_front();
  }
  std::int64_t FindAtOrBelow(std::int64_t index, State* state) const {
    auto it = std::upper_bound(mEntries.begin(), mEntries.end(), index,
                               [](std::int64_t i, const Entry& e) { return i < e.index; });
    if (it == mEntries.begin()) return 0;
    --it;
    *state = it->state;
    return it->index;
  }
  void Clear() { mEntries.clear(); }
  std::size_t Size() const { return mEntries.size(); }

 private:
  struct Entry {
    std::int64_t index;
    State state;
  };
  std::deque<Entry> mEntries;
};

}  // namespace IIREnum
