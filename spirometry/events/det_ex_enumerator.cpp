#include "spirometry/events/det_ex_enumerator.h"

#include <cfloat>
#include <cmath>

#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpTidVolDetector>> gSpTidVolClass;
}  // namespace

bool DetEx_EventAlgorithm(DetEx_DetectorState& s, DetEx_EventDetectorParams& params, DetEx_Event& out) {
  if (s.mDone) {
    s.mPosition = kRecordEndOffset;
    return false;
  }
  EEH3::FloatExWrapper& flow = params.Flow();
  const double secsPerTick = params.mSecsPerTick;
  // The step reads on past its end until the open breath ends: an event belongs to the step it starts in.
  while (s.mStartTick < s.mStepEnd && flow.HasSample()) {
    const float f = flow.Value();
    const std::int32_t t = flow.Tick();
    flow.Advance();
    // A missing sample adds no volume and changes no half: one gap must not stop detection for the record.
    if (!std::isfinite(f)) continue;
    const double dv = static_cast<double>(f) * secsPerTick;
    if (s.mPolarity == 0) s.mPolarity = f >= 0 ? 1 : 2;
    if (f >= 0)
      s.mInspVolume += dv;
    else
      s.mExpVolume -= dv;
    // The 10 % rules are hysteresis: brief reversals of the flow neither end a breath nor start its expiration.
    if (s.mPolarity == 2 && dv >= 0 && s.mExpVolume > 0.1 * s.mInspVolume) {
      out.mPosition = QorEventPosition{s.mStartTick, 0.0f};
      out.mValue = s.mExpVolume;
      s.mPolarity = 1;
      s.mInspVolume = dv;
      s.mStartTick = s.mPosition = t;
      s.mPrevExpVolume = s.mExpVolume;
      s.mExpVolume = 0;
      return true;
    }
    if (s.mPolarity == 1 && dv < 0 && s.mInspVolume > 0.1 * s.mPrevExpVolume) s.mPolarity = 2;
  }
  // Out of data: a complete record ends inside this breath, which is not reported.
  s.mPosition = !flow.HasSample() && flow.AtEnd() && s.mStartTick < s.mStepEnd ? kRecordEndOffset : s.mStartTick;
  return false;
}

const CalcEnums::FunctionTable& DetEx_Enumerator::Table() {
  static const CalcEnums::FunctionTable table{
      L"SpTidalVolume",
      L"Measures tidal volume from a respiratory flow signal.",
      EEH3::kEventEnumeratorCategory,
      {L"SpTidVol"},
      {{L"Tick Source", ParamKind::kChannel, 0.0, 0.0, 0}, {L"Height", ParamKind::kNumber, 0.0, DBL_MAX, 0}},
      0xA0000000u,
      CalcKind::kEvents};
  return table;
}

}  // namespace Spirometry
