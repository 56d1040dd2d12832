#pragma once
// The breath detector of SPEEFlow at work (sp_flow_enumerator.cpp): the state's fields held in locals while
// it runs over a block of samples, the samples inside a breath in a loop of their own, four at a time where
// they change nothing but the peaks and the counts.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The loops inside a breath are also compiled in the three-operand (VEX) form of the same instructions, which
// processors with AVX run with fewer register copies; chosen when the program runs.
#define KYMORA_VEX_SCAN 1
#endif

#include "spirometry/events/sp_flow_enumerator.h"

namespace Spirometry {

// The number of bits set in each 4-bit mask (the baseline x86-64 has no population count instruction).
inline constexpr std::int32_t kBitsSet[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// The largest float at or below x: for a float f, f > x exactly when f > FloatAtOrBelow(x).
inline float FloatAtOrBelow(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}

// The smallest float at or above x: for a float f, f < x exactly when f < FloatAtOrAbove(x).
inline float FloatAtOrAbove(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// The detector at work: the state's fields in locals while it runs over a block of samples, so that the
// per-sample loop keeps them in registers; loaded from the state when a step begins and stored back
// whenever it stops.
class FlowScan {
 public:
  static constexpr std::int32_t kNoTick = 2147483647;  // no breath, no landmark

  FlowScan(const SpFlowState& s, double height)
      : mH(height),
        mHeightBelow(FloatAtOrBelow(height)),
        mHeightAbove(FloatAtOrAbove(height)),
        mFlow(s.mFlow),
        mTick(s.mTick),
        mAwaitFirst(s.mAwaitFirst != 0),
        mPhase(s.mPhase),
        mOverHeight(s.mOverHeight != 0),
        mNegSeen(s.mNegSeen != 0),
        mPrevPositive(s.mPrevPositive != 0),
        mSignChangeTick(s.mSignChangeTick),
        mPositive(s.mPositive != 0),
        mEventCount(s.mEventCount),
        mCollecting(s.mCollecting != 0),
        mCrossFlow(s.mCrossFlow),
        mInspSamples(s.mInspSamples),
        mExpSamples(s.mExpSamples),
        mMaxFlow(s.mEvent.mMaxFlow),
        mMinFlow(s.mEvent.mMinFlow),
        mSingleExpiration(s.mEvent.mSingleExpiration != 0),
        mStartTick(s.mEvent.mStartTick),
        mEndTick(s.mEvent.mEndTick),
        mMaxFlowTick(s.mEvent.mMaxFlowTick),
        mMinFlowTick(s.mEvent.mMinFlowTick),
        mExpStartTick(s.mEvent.mExpStartTick) {}

  void Store(SpFlowState& s) const {
    s.mFlow = mFlow;
    s.mTick = mTick;
    s.mAwaitFirst = mAwaitFirst;
    s.mPhase = mPhase;
    s.mOverHeight = mOverHeight;
    s.mNegSeen = mNegSeen;
    s.mPrevPositive = mPrevPositive;
    s.mSignChangeTick = mSignChangeTick;
    s.mPositive = mPositive;
    s.mEventCount = mEventCount;
    s.mCollecting = mCollecting;
    s.mCrossFlow = mCrossFlow;
    s.mInspSamples = mInspSamples;
    s.mExpSamples = mExpSamples;
    SpFlowEvent& breath = s.mEvent;
    breath.mMaxFlow = mMaxFlow;
    breath.mMinFlow = mMinFlow;
    breath.mSingleExpiration = mSingleExpiration;
    breath.mStartTick = mStartTick;
    breath.mEndTick = mEndTick;
    breath.mMaxFlowTick = mMaxFlowTick;
    breath.mMinFlowTick = mMinFlowTick;
    breath.mExpStartTick = mExpStartTick;
  }

  // SpFlowState::Position of a state that is not done.
  std::int32_t Position() const {
    if (mCollecting) return mStartTick;
    return mPhase == 2 ? mSignChangeTick : mTick;
  }

  // Runs over the flow until a breath is complete (true) or the step end or the end of the available data
  // is reached.
  bool Detect(EEH3::FloatExWrapper& flow, std::int32_t stepEnd, SpFlowEvent& out) {
    // While a breath is collected (or the first one awaited) the position is its start, so the step reads
    // on past its end until the breath is complete: a breath that starts in a step is reported by that step.
    while (Position() < stepEnd) {
      const std::span<const float> block = flow.Buffered();
      if (block.empty()) return false;
      std::int32_t used = 0;
      const bool found = Run(block, stepEnd, out, used);
      flow.Advance(used);
      if (found) return true;
    }
    return false;
  }

  // Where the flow has ended before the step end: the breath in progress, when it counts.
  bool Finish(const EEH3::FloatExWrapper& flow, std::int32_t stepEnd, SpFlowEvent& out) {
    if (Position() >= stepEnd) return false;
    // A record still being acquired has only run out of data for now: the breath in progress stays open
    // and is completed when more data arrives, exactly as it would be in one pass over the whole record.
    if (!flow.AtEnd()) return false;
    if (mCollecting) {
      bool report = true;
      if (mPhase == 4)
        mSingleExpiration = true;  // the record ended inside an expiration that started it
      else if (std::fabs(mFlow) >= mH)
        report = false;  // cut off while the flow is still beyond Height, the first breath as any other
      if (report) {
        mEndTick = mTick;
        if (Valid()) {
          ++mEventCount;
          Emit(out);
          mCollecting = false;
          return true;
        }
      }
    }
    mTick = stepEnd;
    mCollecting = false;
    return false;
  }

 private:
  // The samples of one block from the current tick on; `used` of them are taken. A sample that completes
  // a breath (true) is not taken: the next call takes it again as the first of the new breath.
  bool Run(std::span<const float> samples, std::int32_t stepEnd, SpFlowEvent& out, std::int32_t& used) {
    const auto n = static_cast<std::int32_t>(samples.size());
    const float* data = samples.data();
    std::int32_t i = 0;
    bool found = false;
    while (i < n && Position() < stepEnd) {
      if (mCollecting && mPhase == 5) {
        const std::int32_t taken = TakeInBreath(data + i, n - i);
        i += taken;
        if (taken > 0) continue;
      }
      const float f = data[i];
      // A missing sample has no sign and no size: it crosses nothing and is no peak.
      if (std::isfinite(f) && Sample(f, stepEnd, out)) {
        found = true;
        break;
      }
      ++i;
      ++mTick;
    }
    used = i;
    return found;
  }

  std::int32_t TakeInBreath(const float* samples, std::int32_t n) {
#ifdef KYMORA_VEX_SCAN
    static const bool vex = __builtin_cpu_supports("avx");
    if (vex) return mNegSeen ? InBreathVex<false>(samples, n) : InBreathVex<true>(samples, n);
#endif
    return mNegSeen ? InBreath<false>(samples, n) : InBreath<true>(samples, n);
  }

#ifdef KYMORA_VEX_SCAN
  template <bool kBeforeExpiration>
  [[gnu::target("avx")]] std::int32_t InBreathVex(const float* samples, std::int32_t n) {
    return InBreath<kBeforeExpiration>(samples, n);
  }
#endif

  // Samples well inside a breath (phase 5), most of a record, in a loop of their own that keeps only what
  // they change in registers; the same steps as Sample and Collect. Before the breath's first negative
  // sample the loop also follows the inspiration-to-expiration crossing and stops after that sample; after
  // it, the loop stops before a sample that may start the next breath. Returns the samples taken.
  template <bool kBeforeExpiration>
  [[gnu::always_inline]] std::int32_t InBreath(const float* samples, std::int32_t n) {
    const double h = mH;
    float flow = mFlow, maxFlow = mMaxFlow, minFlow = mMinFlow, crossFlow = mCrossFlow;
    bool positive = mPositive, prevPositive = mPrevPositive, overHeight = mOverHeight, negSeen = false;
    std::int32_t signChangeTick = mSignChangeTick, maxFlowTick = mMaxFlowTick, minFlowTick = mMinFlowTick;
    std::int32_t expStartTick = mExpStartTick, inspSamples = mInspSamples, expSamples = mExpSamples;
    std::int32_t i = 0;
    for (; i < n; ++i) {
      // Sixteen samples at a time where four runs of four would all be taken (below), with what those runs
      // would leave: most of each expiration and of each inspiration's rise and plateau.
      while (i + 16 <= n) {
        const SixteenSamples q = Sixteen(samples + i);
        if (!q.finite) break;
        if constexpr (kBeforeExpiration) {
          // All inspiration, and either none within Height or none over it while nothing was over it.
          if (q.positive != 0xFFFF || !prevPositive || (q.below && (overHeight || q.over))) break;
          // The runs of four would move the crossing to each smaller sample in turn: it ends at the first
          // of the smallest, when that is small enough.
          if (q.lowest < mHeightAbove && q.lowest < std::fabs(crossFlow)) {
            crossFlow = q.lowest;
            expStartTick = mTick + i + FirstOfSixteen(samples + i, q.lowest);
          }
        } else {
          if (q.rising) break;
          if (const int at = LastSignChange(q.positive, prevPositive, 16); at >= 0) signChangeTick = mTick + i + at;
          prevPositive = (q.positive & 0x8000) != 0;
        }
        if (q.highest > maxFlow) {
          maxFlow = q.highest;
          maxFlowTick = mTick + i + FirstOfSixteen(samples + i, q.highest);
        }
        if (q.lowest < minFlow) {
          minFlow = q.lowest;
          minFlowTick = mTick + i + FirstOfSixteen(samples + i, q.lowest);
        }
        overHeight = overHeight || q.over;
        inspSamples += q.positives;
        expSamples += q.negatives;
        flow = samples[i + 15];
        positive = prevPositive;
        i += 16;
      }
      // Four samples at a time while they change nothing but the peaks, the counts, the over-height mark,
      // the crossing mark (falling inspiration) and the sign (after the expiration has begun).
      while (i + 4 <= n) {
        const FourSamples q = Four(samples + i, crossFlow);
        if (!q.finite) break;
        if constexpr (kBeforeExpiration) {
          // All inspiration: all at or beyond Height, or some within it while nothing is over Height.
          if (q.positive != 0xF || !prevPositive || (q.below != 0 && (overHeight || q.over != 0))) break;
          // Those smaller than the crossing flow move the crossing, one after the other, each to the
          // smaller: it ends at the first of the smallest (all four are positive).
          if (q.small != 0) {
            crossFlow = q.lowest;
            expStartTick = mTick + i + q.lowestAt;
          }
        } else {
          if (q.rising != 0) break;  // the next inspiration may begin
          // The flow may change sign among the four (a pause at the end of expiration): the last change
          // is where the next breath would start.
          if (const int at = LastSignChange(q.positive, prevPositive, 4); at >= 0) signChangeTick = mTick + i + at;
          prevPositive = (q.positive & 0x8) != 0;
        }
        if (q.highest > maxFlow) {
          maxFlow = q.highest;
          maxFlowTick = mTick + i + q.highestAt;
        }
        if (q.lowest < minFlow) {
          minFlow = q.lowest;
          minFlowTick = mTick + i + q.lowestAt;
        }
        overHeight = overHeight || q.over != 0;
        inspSamples += kBitsSet[q.positive];
        expSamples += q.negatives;
        flow = samples[i + 3];
        positive = prevPositive;
        i += 4;
      }
      if (i == n) break;
      const float f = samples[i];
      if (!std::isfinite(f)) continue;
      if (!kBeforeExpiration && f > h && expSamples >= kMinBreathPhaseSamples) break;
      const std::int32_t tick = mTick + i;
      flow = f;
      positive = f > 0;
      if (positive != prevPositive) signChangeTick = tick;
      prevPositive = positive;
      // The peaks start at zero with each breath, so a new peak is of the right sign.
      maxFlowTick = f > maxFlow ? tick : maxFlowTick;
      maxFlow = f > maxFlow ? f : maxFlow;
      minFlowTick = f < minFlow ? tick : minFlowTick;
      minFlow = f < minFlow ? f : minFlow;
      const float magnitude = std::fabs(f);
      overHeight = overHeight || magnitude > h;
      inspSamples += f > 0 ? 1 : 0;
      expSamples += f < 0 ? 1 : 0;
      if constexpr (kBeforeExpiration) {
        if ((magnitude < h && magnitude < std::fabs(crossFlow)) || (overHeight && f < h)) {
          expStartTick = tick;
          crossFlow = f;
          overHeight = false;
        }
        if (f < 0) {
          negSeen = true;
          ++i;
          break;
        }
      }
    }
    mTick += i;
    mFlow = flow;
    mPositive = positive;
    mPrevPositive = prevPositive;
    mSignChangeTick = signChangeTick;
    mMaxFlow = maxFlow;
    mMaxFlowTick = maxFlowTick;
    mMinFlow = minFlow;
    mMinFlowTick = minFlowTick;
    mOverHeight = overHeight;
    mCrossFlow = crossFlow;
    mExpStartTick = expStartTick;
    mInspSamples = inspSamples;
    mExpSamples = expSamples;
    if (negSeen) mNegSeen = true;
    return i;
  }

  // One finite sample; true when it completes a breath that belongs to this step.
  bool Sample(float f, std::int32_t stepEnd, SpFlowEvent& out) {
    const double h = mH;
    mFlow = f;
    if (mAwaitFirst) mPrevPositive = f > 0;
    mAwaitFirst = false;
    mPositive = f > 0;
    if (mPhase == 1 && mPositive != mPrevPositive) mPhase = 2;
    if (mPositive != mPrevPositive) mSignChangeTick = mTick;
    mPrevPositive = mPositive;

    // A rise above +Height ends a breath only once its expiration has lasted: a spike within the expiration
    // belongs to the breath instead of cutting it short. A record that began with an expiration ends that
    // breath at the first inspiration, as a single expiration: its inspiration belongs to the next breath.
    const bool nextInspiration = f > h && mPhase == 5 && mNegSeen && mExpSamples >= kMinBreathPhaseSamples;
    if (nextInspiration || (mPhase == 2 && (f < -h || f > h)) || (mPhase == 4 && f > h)) {
      if (StartBreath(stepEnd, out)) return true;
    }

    if (mPhase == 3) {
      if (f > h || (f < -h && mEventCount > 0))
        mPhase = 5;
      else if (f < -h)
        mPhase = 4;
    }

    if (mCollecting) Collect(f);
    return false;
  }

  // Ends the breath in progress at the last sign change, which starts the next; true when the ended breath
  // is valid and belongs to this step (then in `out`).
  bool StartBreath(std::int32_t stepEnd, SpFlowEvent& out) {
    bool valid = false;
    std::int32_t completedStart = kNoTick;
    if (mCollecting) {
      if (mPhase == 4) mSingleExpiration = true;
      mEndTick = mSignChangeTick;
      valid = Valid();
      completedStart = mStartTick;
      if (valid) Emit(out);
    }
    mPhase = 3;
    mNegSeen = false;
    mMaxFlow = mMinFlow = 0;
    mSingleExpiration = false;
    mEndTick = mMaxFlowTick = mMinFlowTick = mExpStartTick = kNoTick;
    mStartTick = mSignChangeTick;
    mInspSamples = mTick - mSignChangeTick;  // the rise since the sign change, all positive
    mExpSamples = 0;
    mCollecting = true;
    if (valid && completedStart < stepEnd) {
      ++mEventCount;
      return true;
    }
    return false;
  }

  // A sample of the breath in progress: its peaks, its inspiration-to-expiration crossing, its phases.
  void Collect(float f) {
    const double h = mH;
    // An expiration that began the record has no inspiration, so no inspiratory peak.
    if (f > 0 && f > mMaxFlow && mPhase != 4) {
      mMaxFlow = f;
      mMaxFlowTick = mTick;
    }
    if (f < 0 && f < mMinFlow) {
      mMinFlow = f;
      mMinFlowTick = mTick;
    }
    const float magnitude = std::fabs(f);
    if (magnitude > h) mOverHeight = true;
    // The first sample after the inspiration falls back below Height, replaced by each later sample of
    // smaller magnitude up to the first negative one: the inspiration-to-expiration crossing.
    if (!mNegSeen && ((magnitude < h && magnitude < std::fabs(mCrossFlow)) || (mOverHeight && f < h))) {
      mExpStartTick = mTick;
      mCrossFlow = f;
      mOverHeight = false;
    }
    if (f < 0) mNegSeen = true;
    if (f > 0) ++mInspSamples;
    if (f < 0) ++mExpSamples;
  }

  // Four samples, summarised for the loop above. Masks have bit j for sample j. The first of equal
  // highest (lowest) samples is the one a loop over one sample at a time would mark.
  struct FourSamples {
    bool finite = false;
    int positive = 0;  // f > 0
    int rising = 0;    // f > Height
    int over = 0;      // |f| > Height
    int below = 0;     // f < Height
    int small = 0;     // |f| < Height and |f| < |the crossing flow|
    int negatives = 0;
    float highest = 0, lowest = 0;
    int highestAt = 0, lowestAt = 0;
  };

  [[gnu::always_inline]] FourSamples Four(const float* samples, float crossFlow) const {
    FourSamples q;
#ifdef __SSE2__
    const __m128 v = _mm_loadu_ps(samples);
    const __m128 zero = _mm_setzero_ps();
    const __m128 atOrBelow = _mm_set1_ps(mHeightBelow), atOrAbove = _mm_set1_ps(mHeightAbove);
    const __m128 magnitude = _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    q.finite = _mm_movemask_ps(_mm_cmpnle_ps(magnitude, _mm_set1_ps(FLT_MAX))) == 0;  // neither NaN nor infinite
    if (!q.finite) return q;
    q.positive = _mm_movemask_ps(_mm_cmpgt_ps(v, zero));
    q.rising = _mm_movemask_ps(_mm_cmpgt_ps(v, atOrBelow));
    q.over = _mm_movemask_ps(_mm_cmpgt_ps(magnitude, atOrBelow));
    q.below = _mm_movemask_ps(_mm_cmplt_ps(v, atOrAbove));
    const float crossMagnitude = std::fabs(crossFlow);
    q.small = _mm_movemask_ps(
        _mm_and_ps(_mm_cmplt_ps(magnitude, atOrAbove), _mm_cmplt_ps(magnitude, _mm_set1_ps(crossMagnitude))));
    q.negatives = kBitsSet[_mm_movemask_ps(_mm_cmplt_ps(v, zero))];
    __m128 high = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    high = _mm_max_ps(high, _mm_shuffle_ps(high, high, _MM_SHUFFLE(1, 0, 3, 2)));
    __m128 low = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    low = _mm_min_ps(low, _mm_shuffle_ps(low, low, _MM_SHUFFLE(1, 0, 3, 2)));
    q.highest = _mm_cvtss_f32(high);
    q.lowest = _mm_cvtss_f32(low);
    q.highestAt = __builtin_ctz(static_cast<unsigned>(_mm_movemask_ps(_mm_cmpeq_ps(v, high))));
    q.lowestAt = __builtin_ctz(static_cast<unsigned>(_mm_movemask_ps(_mm_cmpeq_ps(v, low))));
#endif
    return q;
  }

  // The last of `width` samples whose sign differs from the one before it (the first from prevPositive);
  // -1 when none does. Bit j of `positive` is sample j's sign.
  static int LastSignChange(int positive, bool prevPositive, int width) {
    const int before = ((positive << 1) | (prevPositive ? 1 : 0)) & ((1 << width) - 1);
    const int changes = positive ^ before;
    return changes != 0 ? 31 - __builtin_clz(static_cast<unsigned>(changes)) : -1;
  }

  // Sixteen samples, summarised for the loop above: which are positive (bit j for sample j), how many are
  // positive and negative, whether any is beyond or within Height, and the extremes.
  struct SixteenSamples {
    bool finite = false;
    int positive = 0;  // f > 0
    std::int32_t positives = 0, negatives = 0;
    bool rising = false;  // some f > Height
    bool over = false;    // some |f| > Height
    bool below = false;   // some f < Height
    float highest = 0, lowest = 0;
  };

  [[gnu::always_inline]] SixteenSamples Sixteen(const float* samples) const {
    SixteenSamples q;
#ifdef __SSE2__
    const __m128 zero = _mm_setzero_ps(), largest = _mm_set1_ps(FLT_MAX);
    const __m128 atOrBelow = _mm_set1_ps(mHeightBelow), atOrAbove = _mm_set1_ps(mHeightAbove);
    const __m128 magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 v[4], notFinite = zero, rising = zero, over = zero, below = zero;
    __m128i positive[4], negative[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      v[k] = _mm_loadu_ps(samples + 4 * k);
      const __m128 magnitude = _mm_and_ps(v[k], magnitudeBits);
      notFinite = _mm_or_ps(notFinite, _mm_cmpnle_ps(magnitude, largest));
      rising = _mm_or_ps(rising, _mm_cmpgt_ps(v[k], atOrBelow));
      over = _mm_or_ps(over, _mm_cmpgt_ps(magnitude, atOrBelow));
      below = _mm_or_ps(below, _mm_cmplt_ps(v[k], atOrAbove));
      positive[k] = _mm_castps_si128(_mm_cmpgt_ps(v[k], zero));
      negative[k] = _mm_castps_si128(_mm_cmplt_ps(v[k], zero));
    }
    q.finite = _mm_movemask_ps(notFinite) == 0;
    if (!q.finite) return q;
    q.rising = _mm_movemask_ps(rising) != 0;
    q.over = _mm_movemask_ps(over) != 0;
    q.below = _mm_movemask_ps(below) != 0;
    // The sixteen lane masks as sixteen bytes, in sample order.
    const auto bytes = [](const __m128i* m) {
      return _mm_packs_epi16(_mm_packs_epi32(m[0], m[1]), _mm_packs_epi32(m[2], m[3]));
    };
    const __m128i positiveBytes = bytes(positive), negativeBytes = bytes(negative);
    q.positive = _mm_movemask_epi8(positiveBytes);
    q.positives = BytesSet(positiveBytes);
    q.negatives = BytesSet(negativeBytes);
    __m128 high = _mm_max_ps(_mm_max_ps(v[0], v[1]), _mm_max_ps(v[2], v[3]));
    __m128 low = _mm_min_ps(_mm_min_ps(v[0], v[1]), _mm_min_ps(v[2], v[3]));
    high = _mm_max_ps(high, _mm_shuffle_ps(high, high, _MM_SHUFFLE(2, 3, 0, 1)));
    high = _mm_max_ps(high, _mm_shuffle_ps(high, high, _MM_SHUFFLE(1, 0, 3, 2)));
    low = _mm_min_ps(low, _mm_shuffle_ps(low, low, _MM_SHUFFLE(2, 3, 0, 1)));
    low = _mm_min_ps(low, _mm_shuffle_ps(low, low, _MM_SHUFFLE(1, 0, 3, 2)));
    q.highest = _mm_cvtss_f32(high);
    q.lowest = _mm_cvtss_f32(low);
#endif
    return q;
  }

#ifdef __SSE2__
  // How many of sixteen bytes, each 0 or 0xFF, are set.
  static std::int32_t BytesSet(__m128i bytes) {
    const __m128i sums = _mm_sad_epu8(_mm_and_si128(bytes, _mm_set1_epi8(1)), _mm_setzero_si128());
    return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
  }
#endif

  // The first of sixteen samples equal to x, which one of them is.
  [[gnu::always_inline]] static std::int32_t FirstOfSixteen(const float* samples, float x) {
#ifdef __SSE2__
    const __m128 wanted = _mm_set1_ps(x);
    int hits = 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) hits |= _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(samples + 4 * k), wanted)) << (4 * k);
    return __builtin_ctz(static_cast<unsigned>(hits));
#else
    std::int32_t i = 0;
    while (!(samples[i] == x)) ++i;
    return i;
#endif
  }

  // An inspiration beyond +Height (unless it is a single expiration) and an expiration beyond -Height, each
  // of at least kMinBreathPhaseSamples samples.
  bool Valid() const {
    const double height = mH;
    return (mMaxFlow >= height || mSingleExpiration) && mMinFlow <= -height &&
           (mSingleExpiration || mInspSamples >= kMinBreathPhaseSamples) && mExpSamples >= kMinBreathPhaseSamples;
  }

  // The breath in progress as a record (every byte set: the record travels as bytes).
  void Emit(SpFlowEvent& out) const {
    std::memset(&out, 0, sizeof out);
    out.mPosition = EEH3::EventPositionOf(mStartTick);
    out.mValue = mMaxFlow;
    out.mMaxFlow = mMaxFlow;
    out.mMinFlow = mMinFlow;
    out.mSingleExpiration = mSingleExpiration;
    out.mStartTick = mStartTick;
    out.mEndTick = mEndTick;
    out.mMaxFlowTick = mMaxFlowTick;
    out.mMinFlowTick = mMinFlowTick;
    out.mExpStartTick = mExpStartTick;
  }

  double mH;  // Height
  // The largest float at or below Height: a float sample is beyond Height exactly when it is beyond this.
  float mHeightBelow;
  // The smallest float at or above Height: a float sample is within Height exactly when it is below this.
  float mHeightAbove;
  float mFlow;
  std::int32_t mTick;
  bool mAwaitFirst;
  std::int32_t mPhase;
  bool mOverHeight;
  bool mNegSeen;
  bool mPrevPositive;
  std::int32_t mSignChangeTick;
  bool mPositive;
  std::int32_t mEventCount;
  bool mCollecting;
  float mCrossFlow;
  std::int32_t mInspSamples;
  std::int32_t mExpSamples;
  float mMaxFlow;
  float mMinFlow;
  bool mSingleExpiration;
  std::int32_t mStartTick;
  std::int32_t mEndTick;
  std::int32_t mMaxFlowTick;
  std::int32_t mMinFlowTick;
  std::int32_t mExpStartTick;
};

}  // namespace Spirometry
