#include "spirometry/events/sp_vol_enumerator.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpVolDetector>> gSpVolClass;
}  // namespace

bool SpVolAlgorithm(SpVolState& s, SpVolParams& params, SpBreathEvent& out) {
  if (s.mDone) {
    s.mPosition = kRecordEndOffset;
    return false;
  }
  auto& events = params.FlowEvents();
  EEH3::FloatExWrapper& volume = params.Volume();
  for (;;) {
    if (!events.HasEvent()) {
      s.mPosition = events.Position();
      return false;
    }
    const SpFlowEvent e = events.Current();
    const std::int32_t start = e.mPosition.mTickPosition;
    s.mPosition = start;
    if (start >= s.mStepEnd) return false;

    volume.Seek(start);
    if (!volume.HasSample()) {
      // A breath whose start the volume channel cannot supply is passed over once the volume has ended;
      // while the record is being acquired the volume may still come.
      if (!volume.AtEnd()) return false;
      events.Advance();
      s.mPosition = events.Position();
      continue;
    }
    // Missing volume samples are left out: the landmarks come from the breath's own readings, and a
    // breath without any has none (not-a-number, at its start).
    float maxVol = std::numeric_limits<float>::quiet_NaN();
    float minVol = maxVol;
    std::int32_t maxTick = start;
    std::int32_t minTick = start;
    bool measured = false;
    for (std::int32_t t = start; t < e.mEndTick; ++t) {
      if (!volume.HasSample()) {
        if (!volume.AtEnd()) return false;  // measured again from its start when more volume has come
        break;
      }
      const float v = volume.Value();
      volume.Advance();
      if (!std::isfinite(v)) continue;
      if (!measured || v > maxVol) {
        // The minimum is searched only after the maximum.
        maxVol = minVol = v;
        maxTick = minTick = t;
        measured = true;
      } else if (v < minVol) {
        minVol = v;
        minTick = t;
      }
    }
    events.Advance();
    s.mPosition = events.Position();

    std::memset(&out, 0, sizeof out);
    out.mPosition = e.mPosition;
    out.mValue = e.mValue;
    out.mFlowEvent = e;
    out.mMaxVolTick = maxTick;
    out.mMaxVol = maxVol;
    out.mMinVolTick = minTick;
    out.mMinVol = minVol;
    return true;
  }
}

const CalcEnums::FunctionTable& SpVolEnumerator::Table() {
  static const CalcEnums::FunctionTable table{
      L"SPEventEnumVol",
      L"Calculates Spirometry Volume Events",
      EEH3::kEventEnumeratorCategory,
      {L"SPEEVol"},
      {{L"Volume Source", ParamKind::kChannel, 0.0, 0.0, 0}, {L"Flow Event Source", ParamKind::kEvent, 0.0, 0.0, 0}},
      0xA0000000u,
      CalcKind::kEvents};
  return table;
}

}  // namespace Spirometry
