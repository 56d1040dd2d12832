#pragma once
// SpBreathEvent (also called SpBreathEventEx): finds breaths and their flow and volume landmarks in one pass
// over a flow and a volume channel. A breath is reported when the flow of the next inspiration rises above
// +Height; a breath whose first excursion goes below -Height is flagged as a single expiration.
#include <cstdint>

#include "spirometry/events/calc_enum_event_base.h"
#include "spirometry/events/eeh3_enumerator.h"
#include "spirometry/events/enumerator_base.h"
#include "spirometry/events/height_params.h"
#include "spirometry/events/sp_breath_event.h"
#include "spirometry/events/state_base.h"

namespace Spirometry {

class SpBreathEventParams final : public HeightParams {
 public:
  SpBreathEventParams() : HeightParams({EEH3::SourceSlot::Channel(), EEH3::SourceSlot::Channel()}) {}

  EEH3::FloatExWrapper& Flow() const { return FloatSource(0); }
  EEH3::FloatExWrapper& Volume() const { return FloatSource(1); }
};

class SpBreathEventState final : public EEH3::StateBase {
 public:
  explicit SpBreathEventState(std::int32_t startTick) : mTick(startTick) {}

  std::int32_t Position() const override { return mDone ? 2147483647 : mStartTick; }

  std::int32_t mTick;  // tick of the current sample
  std::int32_t mMaxFlowTick = 0;
  std::int32_t mMinFlowTick = 0;
  float mMaxFlow = 0;
  float mMinFlow = 0;
  std::int32_t mPhase = 1;      // 1 searching, 2 flow above +Height, 3 flow below +Height
  std::int32_t mStartTick = 0;  // the current breath start
  float mStartFlow = 0;
  std::int32_t mExpStartTick = 0;  // first negative sample of the expiration
  float mExpStartFlow = 0;
  std::int32_t mEndTick = 0;  // candidate start of the next breath
  float mEndFlow = 0;
  std::uint8_t mStartValid = 0;  // mStartTick holds a breath start
  std::int32_t mMaxVolTick = 0;
  std::int32_t mMinVolTick = 0;
  float mMaxVol = 0;
  float mMinVol = 0;
  std::uint8_t mSingleExp = 0;      // the breath began with an expiration
  std::uint8_t mExpSeen = 0;        // the breath has reached negative flow
  std::uint8_t mSearchStarted = 0;  // the search fields of phase 1 are set for the current search
};

// Advances the state until one breath is complete (true, breath in `event`), or returns false when the
// step end or the end of the available data is reached.
bool SpBreathEventAlgorithm(SpBreathEventState& state, SpBreathEventParams& params, SpBreathEvent& event);

class SpBreathEventEnumerator : public CalcEnums::CalcEnumEventBase, public EEH3::EnumeratorBase {
 public:
  using Params = SpBreathEventParams;
  using State = SpBreathEventState;
  using Event = SpBreathEvent;
  static bool FindNext(State& state, Params& params, Event& event) {
    return SpBreathEventAlgorithm(state, params, event);
  }
  static const CalcEnums::FunctionTable& Table();
  static EEH3::EventFields Fields() { return kSpBreathEventFields; }
};

using SpBreathEventDetector = EEH3::EEH3Enumerator<SpBreathEventEnumerator, 8>;

}  // namespace Spirometry
