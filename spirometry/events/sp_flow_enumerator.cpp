#include "spirometry/events/sp_flow_enumerator.h"

#include <cfloat>
#include <cstring>

#include "spirometry/events/sp_flow_scan.h"
#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
constexpr std::int32_t kNoTick = FlowScan::kNoTick;

Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpFlowDetector>> gSpFlowClass;

}  // namespace

SpFlowState::SpFlowState(std::int32_t startTick) : mTick(startTick), mAwaitFirst(startTick == 0) {
  std::memset(&mEvent, 0, sizeof mEvent);
  mEvent.mStartTick = mEvent.mEndTick = mEvent.mMaxFlowTick = mEvent.mMinFlowTick = mEvent.mExpStartTick = kNoTick;
}

bool SpFlowAlgorithm(SpFlowState& s, SpFlowParams& params, SpFlowEvent& out) {
  if (s.mDone) {
    s.mTick = kNoTick;
    s.mCollecting = 0;
    return false;
  }
  EEH3::FloatExWrapper& flow = params.Flow();
  FlowScan scan(s, params.mHeight);
  const bool found = scan.Detect(flow, s.mStepEnd, out) || scan.Finish(flow, s.mStepEnd, out);
  scan.Store(s);
  return found;
}

const CalcEnums::FunctionTable& SpFlowEnumerator::Table() {
  static const CalcEnums::FunctionTable table{
      L"SPEventEnumFlow",
      L"Finds Spirometry Flow Events",
      EEH3::kEventEnumeratorCategory,
      {L"SPEEFlow"},
      {{L"Source", ParamKind::kChannel, 0.0, 0.0, 0}, {L"Height", ParamKind::kNumber, 0.0, DBL_MAX, 0}},
      0xA0000000u,
      CalcKind::kEvents};
  return table;
}

}  // namespace Spirometry
