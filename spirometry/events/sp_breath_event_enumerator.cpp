#include "spirometry/events/sp_breath_event_enumerator.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpBreathEventDetector>> gSpBreathEventClass;

constexpr float kLargest = FLT_MAX;

// Reads flow and volume in step. The breath in progress starts at the state position, so a step reads on
// past its end until that breath is complete, and stops once the next breath starts at or after it.
class Samples {
 public:
  Samples(SpBreathEventState& s, SpBreathEventParams& p) : mState(s), mFlow(p.Flow()), mVolume(p.Volume()) {}
  // Whether there is a sample to take. Samples whose flow is missing are passed over: they have no sign
  // and no size, so they cross nothing.
  bool Next() {
    for (;;) {
      if (!(mState.mStartTick < mState.mStepEnd && mFlow.HasSample() && mVolume.HasSample())) return false;
      if (std::isfinite(mFlow.Value())) return true;
      Advance();
    }
  }
  float Flow() const { return mFlow.Value(); }
  float Volume() const { return mVolume.Value(); }
  void Advance() {
    mFlow.Advance();
    mVolume.Advance();
    ++mState.mTick;
  }

 private:
  SpBreathEventState& mState;
  EEH3::FloatExWrapper& mFlow;
  EEH3::FloatExWrapper& mVolume;
};

void StartSearch(SpBreathEventState& s, double h) {
  s.mMaxFlowTick = s.mMinFlowTick = s.mStartTick = s.mExpStartTick = s.mEndTick = s.mTick;
  s.mMaxFlow = static_cast<float>(h - 1.0);
  s.mMinFlow = static_cast<float>(h + 1.0);
  s.mStartFlow = s.mExpStartFlow = s.mEndFlow = kLargest;
  s.mMaxVolTick = s.mMinVolTick = 0;
  s.mMaxVol = -kLargest;
  s.mMinVol = kLargest;
  s.mExpSeen = 0;
  s.mSearchStarted = 1;
}

void Report(SpBreathEventState& s, double h, SpBreathEvent& out) {
  std::memset(&out, 0, sizeof out);
  out.mPosition = EEH3::EventPositionOf(s.mStartTick);
  out.mValue = s.mStartFlow;
  SpFlowEvent& flow = out.mFlowEvent;
  flow.mMaxFlow = s.mMaxFlow;
  flow.mMinFlow = s.mMinFlow;
  flow.mSingleExpiration = s.mSingleExp;
  flow.mStartTick = s.mStartTick;
  flow.mEndTick = s.mEndTick;
  flow.mMaxFlowTick = s.mMaxFlowTick;
  flow.mMinFlowTick = s.mMinFlowTick;
  flow.mExpStartTick = s.mExpStartTick;
  out.mMaxVolTick = s.mMaxVolTick;
  out.mMaxVol = s.mMaxVol;
  out.mMinVolTick = s.mMinVolTick;
  out.mMinVol = s.mMinVol;
  // Ready for the next breath.
  s.mMaxFlow = static_cast<float>(h - 1.0);
  s.mMinFlow = static_cast<float>(h + 1.0);
  s.mStartFlow = s.mExpStartFlow = kLargest;
  s.mStartValid = 0;
  s.mMaxVol = -kLargest;
  s.mMinVol = kLargest;
  s.mSingleExp = 0;
  s.mExpSeen = 0;
}
}  // namespace

bool SpBreathEventAlgorithm(SpBreathEventState& s, SpBreathEventParams& params, SpBreathEvent& out) {
  if (s.mDone) return false;
  const double h = params.mHeight;
  Samples samples(s, params);
  std::memset(&out, 0, sizeof out);

  if (s.mPhase == 1) {
    // Set once per search, not on every call: a search resumed in a later step goes on tracking the start
    // crossing it had, so the result does not depend on where steps end.
    if (!s.mSearchStarted) StartSearch(s, h);
    while (s.mPhase == 1) {
      if (!samples.Next()) return false;
      const float f = samples.Flow();
      if (f > h) s.mPhase = 2;
      // The end candidate moves with the start: an end equal to the start means none has been found yet,
      // and the next inspiration then ends the breath (an end before its start would be no breath).
      if (std::fabs(s.mStartFlow) > f) {
        s.mStartTick = s.mEndTick = s.mTick;
        s.mStartFlow = f;
        s.mStartValid = 1;
      }
      samples.Advance();
      if (f < -h) {
        s.mSingleExp = 1;
        s.mPhase = 3;
        s.mStartTick = s.mEndTick = s.mTick;
        s.mStartFlow = f;
        s.mStartValid = 1;
      }
    }
  }

  if (!s.mStartValid) {
    // The previous breath's end is this breath's start.
    s.mStartTick = s.mEndTick;
    s.mStartFlow = s.mEndFlow;
    s.mStartValid = 1;
    s.mEndFlow = kLargest;
  }

  // The breath is complete when the flow leaves phase 3 after an expiration has been seen (or after a single
  // expiration has ended); the test is made right after the sample that leaves phase 3, so that a call
  // resumed in phase 2 continues the same breath.
  for (;;) {
    while (s.mPhase == 2) {
      if (!samples.Next()) return false;
      const float f = samples.Flow();
      s.mSingleExp = 0;
      if (f > s.mMaxFlow) {
        s.mMaxFlowTick = s.mTick;
        s.mMaxFlow = f;
      }
      if (f < h) s.mPhase = 3;
      samples.Advance();
    }
    while (s.mPhase == 3) {
      if (!samples.Next()) return false;
      const float f = samples.Flow();
      const float v = samples.Volume();
      if (f < s.mMinFlow && f < 0) {
        s.mMinFlowTick = s.mTick;
        s.mMinFlow = f;
        s.mEndFlow = f;
      }
      if (f > h) {
        s.mPhase = 2;
        if (s.mEndTick == s.mStartTick) s.mEndTick = s.mTick;
      }
      if (std::fabs(s.mExpStartFlow) > std::fabs(f) && s.mTick == s.mMinFlowTick) {
        s.mExpStartTick = s.mTick;
        s.mExpStartFlow = f;
        s.mExpSeen = 1;
      }
      if (std::fabs(s.mEndFlow) > f && s.mTick > s.mMinFlowTick) {
        s.mEndTick = s.mTick;
        s.mEndFlow = f;
      }
      if (f > -h && s.mSingleExp) {
        s.mPhase = 1;
        s.mSearchStarted = 0;
      }
      if (std::isfinite(v) && v > s.mMaxVol) {
        s.mMaxVolTick = s.mMinVolTick = s.mTick;
        s.mMaxVol = s.mMinVol = v;
      }
      if (std::isfinite(v) && v < s.mMinVol) {
        s.mMinVolTick = s.mTick;
        s.mMinVol = v;
      }
      samples.Advance();
    }
    if (s.mExpSeen || s.mSingleExp) break;
    if (s.mPhase != 2) return false;  // only a single expiration leaves phase 3 for phase 1
  }
  Report(s, h, out);
  return true;
}

const CalcEnums::FunctionTable& SpBreathEventEnumerator::Table() {
  static const CalcEnums::FunctionTable table{L"SpBreathEventEnum3",
                                              L"Finds Spirometry Flow Events",
                                              EEH3::kEventEnumeratorCategory,
                                              {L"SpBreathEvent", L"SpBreathEventEx"},
                                              {{L"Flow Source", ParamKind::kChannel, 0.0, 0.0, 0},
                                               {L"Vol Source", ParamKind::kChannel, 0.0, 0.0, 0},
                                               {L"mHeight", ParamKind::kNumber, 0.0, DBL_MAX, 0}},
                                              0xA0000000u,
                                              CalcKind::kEvents};
  return table;
}

}  // namespace Spirometry
