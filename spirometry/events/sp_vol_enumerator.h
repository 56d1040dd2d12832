#pragma once
// SPEEVol: adds the volume landmarks to each breath found by an SPEEFlow source: the largest volume of the
// breath and the smallest volume after it.
#include <cstdint>

#include "spirometry/events/calc_enum_event_base.h"
#include "spirometry/events/eeh3_enumerator.h"
#include "spirometry/events/enumerator_base.h"
#include "spirometry/events/params_base.h"
#include "spirometry/events/sp_breath_event.h"
#include "spirometry/events/state_base.h"

namespace Spirometry {

class SpVolParams final : public EEH3::ParamsBase {
 public:
  // Source 0: the volume channel; source 1: events whose records begin like SpFlowEvent (SPEEFlow).
  SpVolParams() : ParamsBase({EEH3::SourceSlot::Channel(), EEH3::SourceSlot::Events<SpFlowEvent>()}) {}

  EEH3::FloatExWrapper& Volume() const { return FloatSource(0); }
  EEH3::EventWrapperEx<SpFlowEvent>& FlowEvents() const { return EventSource<SpFlowEvent>(1); }
};

class SpVolState final : public EEH3::StateBase {
 public:
  explicit SpVolState(std::int32_t startTick) : mPosition(startTick) {}
  std::int32_t Position() const override { return mPosition; }

  std::int32_t mPosition;  // position of the flow event source
};

// Takes the next flow event, measures the volume over it and reports the breath (true), or returns false
// when the next flow event lies at or beyond the step end or is not available yet.
bool SpVolAlgorithm(SpVolState& state, SpVolParams& params, SpBreathEvent& event);

class SpVolEnumerator : public CalcEnums::CalcEnumEventBase, public EEH3::EnumeratorBase {
 public:
  using Params = SpVolParams;
  using State = SpVolState;
  using Event = SpBreathEvent;
  static bool FindNext(State& state, Params& params, Event& event) { return SpVolAlgorithm(state, params, event); }
  static const CalcEnums::FunctionTable& Table();
  static EEH3::EventFields Fields() { return kSpBreathEventFields; }
};

using SpVolDetector = EEH3::EEH3Enumerator<SpVolEnumerator, 8>;

}  // namespace Spirometry
