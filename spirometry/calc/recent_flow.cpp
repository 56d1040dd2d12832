#include "spirometry/calc/recent_flow.h"

#include <algorithm>
#include <cstring>

namespace Spirometry {

namespace {
// Calls piece(ring index, offset, n) for the pieces of ticks [tick, tick + count) that lie in one run of
// the ring, in order.
template <class Piece>
void ForEachRingPiece(std::int64_t tick, std::int64_t count, Piece&& piece) {
  std::int64_t offset = 0;
  while (offset < count) {
    const std::int64_t at = (tick + offset) % RecentFlow::kCapacity;
    const std::int64_t n = std::min(count - offset, RecentFlow::kCapacity - at);
    piece(at, offset, n);
    offset += n;
  }
}

std::size_t Bytes(std::int64_t n) { return static_cast<std::size_t>(n) * sizeof(float); }
}  // namespace

std::int32_t RecentFlow::Take(const Key& key, std::int64_t first, std::int32_t count, float* out) const {
  std::lock_guard lock(mMutex);
  if (count <= 0 || !(key == mKey) || first < mFirst || first >= mEnd) return 0;
  const std::int64_t n = std::min<std::int64_t>(count, mEnd - first);
  ForEachRingPiece(first, n, [&](std::int64_t at, std::int64_t offset, std::int64_t pieceCount) {
    std::memcpy(out + offset, mRing.data() + at, Bytes(pieceCount));
  });
  return static_cast<std::int32_t>(n);
}

void RecentFlow::Keep(const Key& key, IUnknown* lender, std::int64_t first, const float* flow, std::int32_t count) {
  if (count <= 0 || first < 0) return;
  std::lock_guard lock(mMutex);
  if (!(key == mKey) || !mLender || first > mEnd) {
    mKey = key;
    mLender = ComPtr<IUnknown>(lender);
    mFirst = mEnd = first;
  }
  // Only what goes on from the end of what is held is new.
  const std::int64_t skip = mEnd - first;
  if (skip < 0 || skip >= count) return;
  Append(flow + skip, count - skip);
}

void RecentFlow::Append(const float* flow, std::int64_t count) {
  if (mRing.empty()) mRing.resize(static_cast<std::size_t>(kCapacity));
  // Of a stretch longer than the ring, only its last ticks stay.
  if (count > kCapacity) {
    flow += count - kCapacity;
    mEnd += count - kCapacity;
    count = kCapacity;
  }
  ForEachRingPiece(mEnd, count, [&](std::int64_t at, std::int64_t offset, std::int64_t pieceCount) {
    std::memcpy(mRing.data() + at, flow + offset, Bytes(pieceCount));
  });
  mEnd += count;
  mFirst = std::max(mFirst, mEnd - kCapacity);
}

}  // namespace Spirometry
