#pragma once
// The part of every detector state that the framework owns. A detector state derives from StateBase, adds
// its own fields and stays a plain copyable object: the framework copies whole states as snapshots and
// resumes detection from any copy.
#include <array>
#include <cstdint>

namespace EEH3 {

// Where one source wrapper stood when a step ended: the tick it delivers next and how far it may read.
struct SourcePosition {
  std::int32_t mTick = 0;
  std::int32_t mReadLimit = 0;
};

// The most sources a detector may have. The saved positions live inside the state so that a snapshot is
// a single copy without allocation.
constexpr std::size_t kMaxSources = 8;

class StateBase {
 public:
  virtual ~StateBase() = default;

  // A lower bound of the tick of every event the state has still to report: the tick detection would
  // resume from. 2147483647 once the state is done with its record.
  virtual std::int32_t Position() const = 0;
  // Called by the framework when no more data will come in the record; the detector then reports nothing
  // further and moves its position to 2147483647.
  virtual void MarkDone() { mDone = 1; }

  std::array<SourcePosition, kMaxSources> mSources{};
  std::int32_t mStepEnd = 0;  // events found in this step lie before this tick
  std::uint8_t mDone = 0;
  std::int32_t mReserved = -1;
  std::uint8_t mFilling = 0;  // the record is still being acquired

 protected:
  StateBase() = default;
  StateBase(const StateBase&) = default;
  StateBase& operator=(const StateBase&) = default;
};

}  // namespace EEH3
