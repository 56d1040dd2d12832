#pragma once
// SpTidVolExp (class record "SpTidalVolumeExpiratory"): the expired volume of each breath of a flow signal
// that carries only the expiration, the breaths being marked by the events of a second source. A breath runs
// from one boundary event (exclusive) to the next (inclusive); its event sits at its first boundary (the
// first breath: at the state's start) and carries the expired volume in between.
#include <cstdint>

#include "spirometry/events/calc_enum_event_base.h"
#include "spirometry/events/eeh3_enumerator.h"
#include "spirometry/events/enumerator_base.h"
#include "spirometry/events/params_base.h"
#include "spirometry/events/state_base.h"

namespace Spirometry::Expiratory {

struct DetEx_ExpiratoryEvent : QorEventBase {};
static_assert(sizeof(DetEx_ExpiratoryEvent) == 16);

class DetEx_ExpiratoryEventDetectorParams final : public EEH3::ParamsBase {
 public:
  // Source 0: the flow; source 1: any events, of which only the whole-tick position is read.
  DetEx_ExpiratoryEventDetectorParams() : ParamsBase({EEH3::SourceSlot::Channel(), EEH3::SourceSlot::AnyEvents()}) {}

  EEH3::FloatExWrapper& Flow() const { return FloatSource(0); }
  EEH3::EventWrapper& Boundaries() const { return static_cast<EEH3::EventWrapper&>(Source(1)); }
};

class DetEx_ExpiratoryDetectorState final : public EEH3::StateBase {
 public:
  explicit DetEx_ExpiratoryDetectorState(std::int32_t startTick) : mStartTick(startTick), mPosition(startTick) {}
  std::int32_t Position() const override { return mPosition; }

  double mInspVolume = 0;   // positive flow; accumulated, never reported
  double mExpVolume = 0;    // negative flow since the breath start, as a positive number
  std::int32_t mStartTick;  // the open breath's start
  std::int32_t mPosition;   // the open breath's start, 2147483647 once done
};

// Integrates the flow up to the next boundary (true, the breath in `event`), or returns false at the step
// end or the end of the available data, standing at the start of the open breath.
bool DetEx_ExpiratoryEventAlgorithm(DetEx_ExpiratoryDetectorState& state, DetEx_ExpiratoryEventDetectorParams& params,
                                    DetEx_ExpiratoryEvent& event);

class DetEx_ExpiratoryEnumerator : public CalcEnums::CalcEnumEventBase, public EEH3::EnumeratorBase {
 public:
  using Params = DetEx_ExpiratoryEventDetectorParams;
  using State = DetEx_ExpiratoryDetectorState;
  using Event = DetEx_ExpiratoryEvent;
  static bool FindNext(State& state, Params& params, Event& event) {
    return DetEx_ExpiratoryEventAlgorithm(state, params, event);
  }
  static const CalcEnums::FunctionTable& Table();
  static EEH3::EventFields Fields() { return {}; }
};

using SpTidVolExpDetector = EEH3::EEH3Enumerator<DetEx_ExpiratoryEnumerator, 8>;

}  // namespace Spirometry::Expiratory
