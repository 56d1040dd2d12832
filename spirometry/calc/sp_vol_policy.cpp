#include "spirometry/calc/sp_vol_policy.h"

#include <cwchar>
#include <limits>

#include "spirometry/calc/parameter_text.h"
#include "spirometry/calc/units_check.h"

namespace Spirometry {

namespace {
constexpr std::size_t kShortestSettings = 5;
constexpr double kRatioMin = 0.01, kRatioMax = 10.0;
}  // namespace

bool SpVolPolicy::Parse(const std::wstring& text) {
  SpVolPolicy next = *this;
  if (!next.ParseInto(text)) return false;
  *this = next;
  return true;
}

bool SpVolPolicy::ParseInto(const std::wstring& text) {
  mLegacy = false;
  std::int32_t correctionValue = 0, resetValue = 0;
  if (std::wcslen(text.c_str()) < kShortestSettings) {
    mDeadSpace = 0.0;
    mVolumeRatio = 1.0;
    mLegacy = true;
  } else {
    ParameterTextReader in(text);
    std::int32_t first = 0;
    in.Field(first);
    if (first == kParameterMarker) {
      in.Field(correctionValue);
    } else {
      correctionValue = first;
      mLegacy = true;
    }
    in.Field(mDeadSpace).Field(mVolumeRatio).Field(resetValue);
    if (in.Malformed()) return false;
  }
  mVolumeCorrection = correctionValue == 1;
  mReset = resetValue == 1;
  if (mVolumeRatio < kRatioMin || mVolumeRatio > kRatioMax) {
    mVolumeCorrection = false;
    mVolumeRatio = 1.0;
  }
  return true;
}

void SpVolPolicy::OnSources(double secsPerTick, const std::wstring& sourceUnits) {
  mMultiplier = mLegacy || IsAcceptedFlowUnits(sourceUnits) ? secsPerTick : std::numeric_limits<double>::quiet_NaN();
  mLitreFactor = FlowLitreFactor(sourceUnits);
}

}  // namespace Spirometry
