#pragma once
// The volume landmarks of a breath: its highest volume and the lowest volume from there to its end, each
// at the first sample that reaches it. Samples that are missing (NaN) or infinite are left out. The samples
// come in pieces, in order; the answer is that of taking them one at a time: a sample above the highest
// so far becomes both landmarks, one below the lowest since then becomes the lowest.
//
// Each piece is searched once, sixteen samples at a time, for its highest and its lowest finite sample; after
// a new maximum, the rest of the piece again for its lowest. A piece's first sample at a new extreme is
// found by comparing for equality.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Spirometry {

struct VolumeLandmarks {
  explicit VolumeLandmarks(std::int32_t start) : maxTick(start), minTick(start) {}

  // Samples v[0..count), the first at `tick`.
  void Take(const float* v, std::int32_t count, std::int32_t tick) {
    const Range range = Extremes(v, count);
    if (!(range.highest > -kInf)) return;  // nothing finite
    if (measured && !(range.highest > maxVol)) return TakeLow(v, count, range.lowest, tick);
    const std::int32_t i = FirstEqual(v, count, range.highest);
    maxVol = minVol = v[i];
    maxTick = minTick = tick + i;
    measured = true;
    const std::int32_t rest = count - i - 1;
    TakeLow(v + i + 1, rest, Extremes(v + i + 1, rest).lowest, tick + i + 1);
  }

  float maxVol = std::numeric_limits<float>::quiet_NaN();
  float minVol = std::numeric_limits<float>::quiet_NaN();
  std::int32_t maxTick;
  std::int32_t minTick;
  bool measured = false;

 private:
  static constexpr float kInf = std::numeric_limits<float>::infinity();

  // The highest and lowest finite sample; -infinity and +infinity when there is none.
  struct Range {
    float highest = -kInf;
    float lowest = kInf;
    // Widens the range to take in `high` and `low` (NaN leaves it as it is).
    void Include(float high, float low) {
      highest = high > highest ? high : highest;
      lowest = low < lowest ? low : lowest;
    }
  };

  // Samples whose lowest finite one is `bottom`.
  void TakeLow(const float* v, std::int32_t count, float bottom, std::int32_t tick) {
    if (!(bottom < minVol)) return;
    const std::int32_t i = FirstEqual(v, count, bottom);
    minVol = v[i];
    minTick = tick + i;
  }

  static Range Extremes(const float* v, std::int32_t count) {
#ifdef __SSE2__
    // Sixteen samples at a time into four running extremes of each kind. The instruction gives its second
    // operand when either is NaN, so a missing sample leaves the running extremes as they were, and an
    // infinity on the far side cannot win. One on the near side (+infinity for the highest) would: then
    // the careful search decides.
    std::int32_t i = 0;
    __m128 high[4], low[4];
    for (int k = 0; k < 4; ++k) {
      high[k] = _mm_set1_ps(-kInf);
      low[k] = _mm_set1_ps(kInf);
    }
    for (; i + 16 <= count; i += 16)
#pragma GCC unroll 4
      for (int k = 0; k < 4; ++k) {
        const __m128 x = _mm_loadu_ps(v + i + 4 * k);
        high[k] = _mm_max_ps(x, high[k]);
        low[k] = _mm_min_ps(x, low[k]);
      }
    if (i == 0) return CarefulExtremes(v, count);
    alignas(16) float highs[16], lows[16];
    for (int k = 0; k < 4; ++k) {
      _mm_store_ps(highs + 4 * k, high[k]);
      _mm_store_ps(lows + 4 * k, low[k]);
    }
    Range r;
    for (int k = 0; k < 16; ++k) r.Include(highs[k], lows[k]);
    if (r.highest == kInf || r.lowest == -kInf) return CarefulExtremes(v, count);
    const Range rest = CarefulExtremes(v + i, count - i);
    r.Include(rest.highest, rest.lowest);
    return r;
#else
    return CarefulExtremes(v, count);
#endif
  }

  // The same, with each sample tested for being finite.
  static Range CarefulExtremes(const float* v, std::int32_t count) {
    Range r;
    std::int32_t i = 0;
#ifdef __SSE2__
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 largest = _mm_set1_ps(FLT_MAX);
    const __m128 noHigh = _mm_set1_ps(-kInf), noLow = _mm_set1_ps(kInf);
    __m128 high = noHigh, low = noLow;
    for (; i + 4 <= count; i += 4) {
      const __m128 x = _mm_loadu_ps(v + i);
      const __m128 finite = _mm_cmple_ps(_mm_and_ps(x, magnitude), largest);  // false for NaN and infinities
      high = _mm_max_ps(high, _mm_or_ps(_mm_and_ps(finite, x), _mm_andnot_ps(finite, noHigh)));
      low = _mm_min_ps(low, _mm_or_ps(_mm_and_ps(finite, x), _mm_andnot_ps(finite, noLow)));
    }
    alignas(16) float highs[4], lows[4];
    _mm_store_ps(highs, high);
    _mm_store_ps(lows, low);
    for (int k = 0; k < 4; ++k) r.Include(highs[k], lows[k]);
#endif
    for (; i < count; ++i)
      if (std::isfinite(v[i])) r.Include(v[i], v[i]);
    return r;
  }

  // The first sample equal to x, which one of them is.
  static std::int32_t FirstEqual(const float* v, std::int32_t count, float x) {
    std::int32_t i = 0;
#ifdef __SSE2__
    const __m128 wanted = _mm_set1_ps(x);
    for (; i + 4 <= count; i += 4)
      if (const int hits = _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(v + i), wanted)); hits != 0)
        return i + __builtin_ctz(static_cast<unsigned>(hits));
#endif
    while (!(v[i] == x)) ++i;
    return i;
  }
};

}  // namespace Spirometry
