#include "spirometry/events/sp_flow_enumerator.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
constexpr std::int32_t kNoTick = 2147483647;

Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpFlowDetector>> gSpFlowClass;

void Emit(const SpFlowEvent& breath, SpFlowEvent& out) {
  std::memcpy(&out, &breath, sizeof out);
  out.mPosition = EEH3::EventPositionOf(breath.mStartTick);
  out.mValue = breath.mMaxFlow;
}

// An inspiration beyond +Height (unless it is a single expiration) and an expiration beyond -Height, each
// of at least kMinBreathPhaseSamples samples.
bool Valid(const SpFlowState& s, double height) {
  const SpFlowEvent& breath = s.mEvent;
  const bool single = breath.mSingleExpiration != 0;
  return (breath.mMaxFlow >= height || single) && breath.mMinFlow <= -height &&
         (single || s.mInspSamples >= kMinBreathPhaseSamples) && s.mExpSamples >= kMinBreathPhaseSamples;
}
}  // namespace

SpFlowState::SpFlowState(std::int32_t startTick) : mTick(startTick), mAwaitFirst(startTick == 0) {
  std::memset(&mEvent, 0, sizeof mEvent);
  mEvent.mStartTick = mEvent.mEndTick = mEvent.mMaxFlowTick = mEvent.mMinFlowTick = mEvent.mExpStartTick = kNoTick;
}

bool SpFlowAlgorithm(SpFlowState& s, SpFlowParams& params, SpFlowEvent& out) {
  if (s.mDone) {
    s.mTick = kNoTick;
    s.mCollecting = 0;
    return false;
  }
  EEH3::FloatExWrapper& flow = params.Flow();
  const double h = params.mHeight;
  SpFlowEvent& breath = s.mEvent;
  // While a breath is collected (or the first one awaited) the position is its start, so the step reads on
  // past its end until the breath is complete: a breath that starts in a step is reported by that step.
  while (s.Position() < s.mStepEnd && flow.HasSample()) {
    const float f = flow.Value();
    if (!std::isfinite(f)) {
      // A missing sample has no sign and no size: it crosses nothing and is no peak.
      flow.Advance();
      ++s.mTick;
      continue;
    }
    s.mFlow = f;
    if (s.mAwaitFirst) s.mPrevPositive = f > 0;
    s.mAwaitFirst = 0;
    s.mPositive = f > 0;
    if (s.mPhase == 1 && s.mPositive != s.mPrevPositive) s.mPhase = 2;
    if (s.mPositive != s.mPrevPositive) s.mSignChangeTick = s.mTick;
    s.mPrevPositive = s.mPositive;

    // A rise above +Height ends a breath only once its expiration has lasted: a spike within the expiration
    // belongs to the breath instead of cutting it short. A record that began with an expiration ends that
    // breath at the first inspiration, as a single expiration: its inspiration belongs to the next breath.
    const bool nextInspiration = f > h && s.mPhase == 5 && s.mNegSeen && s.mExpSamples >= kMinBreathPhaseSamples;
    if (nextInspiration || (s.mPhase == 2 && (f < -h || f > h)) || (s.mPhase == 4 && f > h)) {
      bool valid = false;
      std::int32_t completedStart = kNoTick;
      if (s.mCollecting) {
        if (s.mPhase == 4) breath.mSingleExpiration = 1;
        breath.mEndTick = s.mSignChangeTick;
        valid = Valid(s, h);
        completedStart = breath.mStartTick;
        if (valid) Emit(breath, out);
      }
      s.mPhase = 3;
      s.mNegSeen = 0;
      breath.mMaxFlow = breath.mMinFlow = 0;
      breath.mSingleExpiration = 0;
      breath.mEndTick = breath.mMaxFlowTick = breath.mMinFlowTick = breath.mExpStartTick = kNoTick;
      breath.mStartTick = s.mSignChangeTick;
      s.mInspSamples = s.mTick - s.mSignChangeTick;  // the rise since the sign change, all positive
      s.mExpSamples = 0;
      s.mCollecting = 1;
      if (valid && completedStart < s.mStepEnd) {
        // Not advanced: the next call takes this sample again as the first of the new breath.
        ++s.mEventCount;
        return true;
      }
    }

    if (s.mPhase == 3) {
      if (f > h || (f < -h && s.mEventCount > 0))
        s.mPhase = 5;
      else if (f < -h)
        s.mPhase = 4;
    }

    if (s.mCollecting) {
      // An expiration that began the record has no inspiration, so no inspiratory peak.
      if (f > 0 && f > breath.mMaxFlow && s.mPhase != 4) {
        breath.mMaxFlow = f;
        breath.mMaxFlowTick = s.mTick;
      }
      if (f < 0 && f < breath.mMinFlow) {
        breath.mMinFlow = f;
        breath.mMinFlowTick = s.mTick;
      }
      const float magnitude = std::fabs(f);
      if (magnitude > h) s.mOverHeight = 1;
      // The first sample after the inspiration falls back below Height, replaced by each later sample of
      // smaller magnitude up to the first negative one: the inspiration-to-expiration crossing.
      if (!s.mNegSeen && ((magnitude < h && magnitude < std::fabs(s.mCrossFlow)) || (s.mOverHeight && f < h))) {
        breath.mExpStartTick = s.mTick;
        s.mCrossFlow = f;
        s.mOverHeight = 0;
      }
      if (f < 0) s.mNegSeen = 1;
      if (f > 0) ++s.mInspSamples;
      if (f < 0) ++s.mExpSamples;
    }
    flow.Advance();
    ++s.mTick;
  }

  if (s.Position() >= s.mStepEnd) return false;
  // A record still being acquired has only run out of data for now: the breath in progress stays open
  // and is completed when more data arrives, exactly as it would be in one pass over the whole record.
  if (!flow.AtEnd()) return false;
  if (s.mCollecting) {
    bool report = true;
    if (s.mPhase == 4)
      breath.mSingleExpiration = 1;  // the record ended inside an expiration that started it
    else if (std::fabs(s.mFlow) >= h)
      report = false;  // cut off while the flow is still beyond Height, the first breath as any other
    if (report) {
      breath.mEndTick = s.mTick;
      if (Valid(s, h)) {
        ++s.mEventCount;
        Emit(breath, out);
        s.mCollecting = 0;
        return true;
      }
    }
  }
  s.mTick = s.mStepEnd;
  s.mCollecting = 0;
  return false;
}

const CalcEnums::FunctionTable& SpFlowEnumerator::Table() {
  static const CalcEnums::FunctionTable table{
      L"SPEventEnumFlow",
      L"Finds Spirometry Flow Events",
      EEH3::kEventEnumeratorCategory,
      {L"SPEEFlow"},
      {{L"Source", ParamKind::kChannel, 0.0, 0.0, 0}, {L"Height", ParamKind::kNumber, 0.0, DBL_MAX, 0}},
      0xA0000000u,
      CalcKind::kEvents};
  return table;
}

}  // namespace Spirometry
