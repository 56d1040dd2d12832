#pragma once
// SPEEFlow: finds breaths in a flow signal. A breath runs from the zero crossing before an inspiration that
// exceeds +Height to the zero crossing before the next such inspiration, and counts when its expiration
// falls below -Height; positive flow is inspiration.
#include <cstdint>

#include "spirometry/events/calc_enum_event_base.h"
#include "spirometry/events/eeh3_enumerator.h"
#include "spirometry/events/enumerator_base.h"
#include "spirometry/events/height_params.h"
#include "spirometry/events/sp_flow_event.h"
#include "spirometry/events/state_base.h"

namespace Spirometry {

class SpFlowParams final : public HeightParams {
 public:
  SpFlowParams() : HeightParams({EEH3::SourceSlot::Channel()}) {}

  EEH3::FloatExWrapper& Flow() const { return FloatSource(0); }
};

class SpFlowState final : public EEH3::StateBase {
 public:
  explicit SpFlowState(std::int32_t startTick);

  // The start of the breath being built; while armed for the first breath, the sign change that breath
  // will start at once the flow passes Height (a step may end before that happens); else the current tick.
  std::int32_t Position() const override {
    if (mCollecting) return mEvent.mStartTick;
    return mPhase == 2 && !mDone ? mSignChangeTick : mTick;
  }

  float mFlow = 0;               // the latest finite flow sample
  std::int32_t mTick;            // tick of the current sample
  std::uint8_t mAwaitFirst;      // the record's first finite sample is still to come: it sets mPrevPositive
  std::int32_t mPhase = 1;       // 1 wait for a sign change, 2 armed, 3 breath started, 4 began expiring, 5 in breath
  std::uint8_t mOverHeight = 1;  // |flow| has exceeded Height since the last crossing mark
  std::uint8_t mNegSeen = 1;     // a negative sample in the current breath
  std::uint8_t mPrevPositive = 0;
  std::int32_t mSignChangeTick = 0;
  std::uint8_t mPositive = 0;
  std::int32_t mEventCount = 0;   // breaths returned in this record
  std::uint8_t mCollecting = 0;   // a breath is being built in mEvent
  float mCrossFlow = 0;           // flow at the current mExpStartTick candidate
  std::int32_t mInspSamples = 0;  // samples of positive flow in the breath, from its start
  std::int32_t mExpSamples = 0;   // samples of negative flow in the breath
  SpFlowEvent mEvent;             // the breath under construction
};

// Advances the state over the flow until one breath is complete (true, breath in `event`) or the step end
// or the end of the available data is reached (false).
bool SpFlowAlgorithm(SpFlowState& state, SpFlowParams& params, SpFlowEvent& event);

class SpFlowEnumerator : public CalcEnums::CalcEnumEventBase, public EEH3::EnumeratorBase {
 public:
  using Params = SpFlowParams;
  using State = SpFlowState;
  using Event = SpFlowEvent;
  static bool FindNext(State& state, Params& params, Event& event) { return SpFlowAlgorithm(state, params, event); }
  static const CalcEnums::FunctionTable& Table();
  static EEH3::EventFields Fields() { return kSpFlowEventFields<0>; }
};

using SpFlowDetector = EEH3::EEH3Enumerator<SpFlowEnumerator, 8>;

}  // namespace Spirometry
