#include "spirometry/events/det_ex_expiratory_enumerator.h"

#include <cmath>

#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry::Expiratory {

namespace {
Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpTidVolExpDetector>> gSpTidVolExpClass;
}  // namespace

bool DetEx_ExpiratoryEventAlgorithm(DetEx_ExpiratoryDetectorState& s, DetEx_ExpiratoryEventDetectorParams& params,
                                    DetEx_ExpiratoryEvent& out) {
  if (s.mDone) {
    s.mPosition = kRecordEndOffset;
    return false;
  }
  EEH3::FloatExWrapper& flow = params.Flow();
  EEH3::EventWrapper& boundaries = params.Boundaries();
  const double secsPerTick = params.mSecsPerTick;
  // While data is missing the position stays at the open breath's start, so that a record still being
  // acquired gives the breath once its boundary has come, as one pass over the whole record does.
  s.mPosition = s.mStartTick;
  if (s.mStartTick >= s.mStepEnd) return false;
  for (;;) {
    if (!boundaries.HasEvent()) {
      if (boundaries.AtEnd()) s.mPosition = kRecordEndOffset;  // no breath can end any more
      return false;
    }
    const std::int32_t boundary = boundaries.CurrentTick();
    // A boundary the flow has passed, or one at the open breath's own start (the state's first tick), ends
    // no breath: taking it would report an empty breath at the tick of the real one, which would be lost.
    if (boundary < flow.Tick() || boundary == s.mStartTick) {
      boundaries.Advance();
      continue;
    }
    while (flow.HasSample()) {
      const float f = flow.Value();
      const std::int32_t t = flow.Tick();
      flow.Advance();
      if (std::isfinite(f)) {
        const double dv = static_cast<double>(f) * secsPerTick;
        if (f >= 0)
          s.mInspVolume += dv;
        else
          s.mExpVolume -= dv;
      }
      if (t == boundary) {
        boundaries.Advance();
        out.mPosition = QorEventPosition{s.mStartTick, 0.0f};
        out.mValue = s.mExpVolume;
        s.mStartTick = s.mPosition = t;
        s.mExpVolume = 0;
        return true;
      }
    }
    // The flow ran out before the boundary: a complete record ends inside this breath.
    if (flow.AtEnd()) s.mPosition = kRecordEndOffset;
    return false;
  }
}

const CalcEnums::FunctionTable& DetEx_ExpiratoryEnumerator::Table() {
  static const CalcEnums::FunctionTable table{
      L"SpTidalVolumeExpiratory",
      L"Measures tidal volume from a expiratory-only respiratory flow signal.",
      EEH3::kEventEnumeratorCategory,
      {L"SpTidVolExp"},
      {{L"Tick Source", ParamKind::kChannel, 0.0, 0.0, 0}, {L"Event Source", ParamKind::kEvent, 0.0, 0.0, 0}},
      0xA0000000u,
      CalcKind::kEvents};
  return table;
}

}  // namespace Spirometry::Expiratory
