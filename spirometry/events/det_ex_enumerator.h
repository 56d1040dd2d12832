#pragma once
// SpTidVol (class record "SpTidalVolume"): the expired volume of each breath, integrated from a flow signal.
// A breath starts at the first non-negative sample after an expiration; its event sits at that start and
// carries the whole expired volume of the breath (flow units × seconds). Positive flow is inspiration.
#include <cstdint>

#include "spirometry/events/calc_enum_event_base.h"
#include "spirometry/events/eeh3_enumerator.h"
#include "spirometry/events/enumerator_base.h"
#include "spirometry/events/height_params.h"
#include "spirometry/events/state_base.h"

namespace Spirometry {

// The bare event head: position (fraction always 0) and the expired volume.
struct DetEx_Event : QorEventBase {};
static_assert(sizeof(DetEx_Event) == 16);

// Height is kept and written back with the settings; detection does not use it.
class DetEx_EventDetectorParams final : public HeightParams {
 public:
  DetEx_EventDetectorParams() : HeightParams({EEH3::SourceSlot::Channel()}) {}

  EEH3::FloatExWrapper& Flow() const { return FloatSource(0); }
};

class DetEx_DetectorState final : public EEH3::StateBase {
 public:
  explicit DetEx_DetectorState(std::int32_t startTick) : mStartTick(startTick), mPosition(startTick) {}
  std::int32_t Position() const override { return mPosition; }

  std::int32_t mPolarity = 0;  // 0 not yet known, 1 inspiratory half, 2 expiratory half
  double mInspVolume = 0;      // positive flow since the breath start
  double mExpVolume = 0;       // negative flow since the breath start, as a positive number
  std::int32_t mStartTick;     // the current breath's start (the first breath: the state's start)
  double mPrevExpVolume = 0;   // expired volume of the previous breath
  std::int32_t mPosition;      // the current breath's start, 2147483647 once done
};

// Integrates the flow until a breath ends (true, the breath in `event`), or returns false at the step end or
// the end of the available data, standing at the start of the open breath.
bool DetEx_EventAlgorithm(DetEx_DetectorState& state, DetEx_EventDetectorParams& params, DetEx_Event& event);

class DetEx_Enumerator : public CalcEnums::CalcEnumEventBase, public EEH3::EnumeratorBase {
 public:
  using Params = DetEx_EventDetectorParams;
  using State = DetEx_DetectorState;
  using Event = DetEx_Event;
  static bool FindNext(State& state, Params& params, Event& event) {
    return DetEx_EventAlgorithm(state, params, event);
  }
  static const CalcEnums::FunctionTable& Table();
  static EEH3::EventFields Fields() { return {}; }
};

using SpTidVolDetector = EEH3::EEH3Enumerator<DetEx_Enumerator, 8>;

}  // namespace Spirometry
