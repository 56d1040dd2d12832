#pragma once
// The volume landmarks of a breath: its highest volume and the lowest volume from there to its end, each
// at the first sample that reaches it. Samples that are missing (NaN) or infinite are left out. The samples
// come in pieces, in order; the answer is that of taking them one at a time: a sample above the highest
// so far becomes both landmarks, one below the lowest since then becomes the lowest.
//
// Each piece is searched sixteen samples at a time: for its highest finite sample, then (when that is no new
// maximum) for its lowest. A piece's first sample at a new extreme is found by comparing for equality.
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
    const float top = Extreme<true>(v, count);
    if (!(top > -kInf)) return;  // nothing finite
    if (measured && !(top > maxVol)) return TakeLow(v, count, tick);
    const std::int32_t i = FirstEqual(v, count, top);
    maxVol = minVol = v[i];
    maxTick = minTick = tick + i;
    measured = true;
    TakeLow(v + i + 1, count - i - 1, tick + i + 1);
  }

  float maxVol = std::numeric_limits<float>::quiet_NaN();
  float minVol = std::numeric_limits<float>::quiet_NaN();
  std::int32_t maxTick;
  std::int32_t minTick;
  bool measured = false;

 private:
  static constexpr float kInf = std::numeric_limits<float>::infinity();

  void TakeLow(const float* v, std::int32_t count, std::int32_t tick) {
    const float bottom = Extreme<false>(v, count);
    if (!(bottom < minVol)) return;
    const std::int32_t i = FirstEqual(v, count, bottom);
    minVol = v[i];
    minTick = tick + i;
  }

  // The highest (or lowest) finite sample; -infinity (or +infinity) when there is none.
  template <bool kHighest>
  static float Extreme(const float* v, std::int32_t count) {
#ifdef __SSE2__
    // Sixteen samples at a time into four running extremes. The instruction gives its second operand when
    // either is NaN, so a missing sample leaves the running extreme as it was, and an infinity on the far
    // side cannot win. One on the near side (+infinity for the highest) would: then the careful search
    // decides.
    constexpr float kNone = kHighest ? -kInf : kInf;
    std::int32_t i = 0;
    __m128 acc[4] = {_mm_set1_ps(kNone), _mm_set1_ps(kNone), _mm_set1_ps(kNone), _mm_set1_ps(kNone)};
    for (; i + 16 <= count; i += 16)
      for (int k = 0; k < 4; ++k) {
        const __m128 x = _mm_loadu_ps(v + i + 4 * k);
        acc[k] = kHighest ? _mm_max_ps(x, acc[k]) : _mm_min_ps(x, acc[k]);
      }
    if (i == 0) return CarefulExtreme<kHighest>(v, count);
    alignas(16) float lanes[16];
    for (int k = 0; k < 4; ++k) _mm_store_ps(lanes + 4 * k, acc[k]);
    float best = kNone;
    for (float x : lanes) best = kHighest ? (x > best ? x : best) : (x < best ? x : best);
    if (best == -kNone) return CarefulExtreme<kHighest>(v, count);
    const float rest = CarefulExtreme<kHighest>(v + i, count - i);
    return kHighest ? (rest > best ? rest : best) : (rest < best ? rest : best);
#else
    return CarefulExtreme<kHighest>(v, count);
#endif
  }

  // The same, with each sample tested for being finite.
  template <bool kHighest>
  static float CarefulExtreme(const float* v, std::int32_t count) {
    float best = kHighest ? -kInf : kInf;
    std::int32_t i = 0;
#ifdef __SSE2__
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 largest = _mm_set1_ps(FLT_MAX);
    const __m128 none = _mm_set1_ps(best);
    __m128 acc = none;
    for (; i + 4 <= count; i += 4) {
      const __m128 x = _mm_loadu_ps(v + i);
      const __m128 finite = _mm_cmple_ps(_mm_and_ps(x, magnitude), largest);  // false for NaN and infinities
      const __m128 kept = _mm_or_ps(_mm_and_ps(finite, x), _mm_andnot_ps(finite, none));
      acc = kHighest ? _mm_max_ps(acc, kept) : _mm_min_ps(acc, kept);
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, acc);
    for (float x : lanes) best = kHighest ? (x > best ? x : best) : (x < best ? x : best);
#endif
    for (; i < count; ++i)
      if (std::isfinite(v[i])) best = kHighest ? (v[i] > best ? v[i] : best) : (v[i] < best ? v[i] : best);
    return best;
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
