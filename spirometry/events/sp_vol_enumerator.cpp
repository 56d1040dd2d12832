#include "spirometry/events/sp_vol_enumerator.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "spirometry/events/volume_landmarks.h"
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
    VolumeLandmarks landmarks(start);
    for (std::int32_t t = start; t < e.mEndTick;) {
      const std::span<const float> buffered = volume.Buffered();
      if (buffered.empty()) {
        if (!volume.AtEnd()) return false;  // measured again from its start when more volume has come
        break;
      }
      const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(buffered.size(), e.mEndTick - t));
      landmarks.Take(buffered.data(), n, t);
      volume.Advance(n);
      t += n;
    }
    events.Advance();
    s.mPosition = events.Position();

    std::memset(&out, 0, sizeof out);
    out.mPosition = e.mPosition;
    out.mValue = e.mValue;
    out.mFlowEvent = e;
    out.mMaxVolTick = landmarks.maxTick;
    out.mMaxVol = landmarks.maxVol;
    out.mMinVolTick = landmarks.minTick;
    out.mMinVol = landmarks.minVol;
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
