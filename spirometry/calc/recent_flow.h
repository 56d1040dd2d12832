#pragma once
// The flow that a family of flow readers (clones of one enumerator, so one set of parameters) computed
// last. Readers that follow one another through the same stretch of a record copy it from here instead of
// computing it again: the breath detector reads the flow first, the volume's integrator and the count of
// missing samples a few breaths behind it.
//
// The flow is held for one source at a time, named by a Key: where the recorded samples lie (the address
// of their tick 0) and what else the flow depends on besides the parameters. The reader that lent those
// samples is kept alive while their flow is held, so that their memory cannot pass to other samples
// meanwhile. Readers may be on different threads.
#include <cstdint>
#include <mutex>
#include <vector>

#include "host/com/com_ptr.h"
#include "host/com/iunknown.h"

namespace Spirometry {

class RecentFlow {
 public:
  // How many ticks are held at most: a few breaths, and a few hundred kilobytes that stay in the cache.
  static constexpr std::int64_t kCapacity = std::int64_t{1} << 16;

  struct Key {
    std::uintptr_t origin = 0;  // where the source's tick 0 lies
    std::int32_t record = 0;
    double driftIntercept = 0.0;
    double driftSlope = 0.0;
    double sourceUnitScale = 1.0;
    bool operator==(const Key&) const = default;
  };

  // Copies into out the flow held for ticks first, first + 1, … (at most count of them); returns how many.
  std::int32_t Take(const Key& key, std::int64_t first, std::int32_t count, float* out) const;

  // Keeps the flow of ticks [first, first + count), computed from the samples that `lender` lent. A stretch
  // that goes on from what is held is added to it; one that starts further on replaces it (its reader has
  // moved on); one that lies within or before what is held changes nothing.
  void Keep(const Key& key, IUnknown* lender, std::int64_t first, const float* flow, std::int32_t count);

 private:
  void Append(const float* flow, std::int64_t count);

  mutable std::mutex mMutex;
  Key mKey;
  ComPtr<IUnknown> mLender;
  std::int64_t mFirst = 0, mEnd = 0;  // the ticks held: [mFirst, mEnd)
  std::vector<float> mRing;           // tick t at t % kCapacity
};

}  // namespace Spirometry
