// The document's side of the flow and volume calculations of its channels: which channels carry them,
// the mirrors of their parameters that the dialogs edit through ISpiroDocument, and the values the
// document pushes into them.
#include <algorithm>
#include <cmath>

#include "host/calc/ichannel_calc.h"
#include "host/data/iunits.h"
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/calibrate_base.h"
#include "spirometry/calc/flow_head_presets.h"
#include "spirometry/calc/sp_flow_settings.h"
#include "spirometry/calc/sp_vol_settings.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr std::int32_t kNoCalculation = 0, kFlowCalculation = 1, kVolumeCalculation = 2;
constexpr std::uint32_t kUnitsConversionFlags = 0x1001;
constexpr std::uint32_t kCalculatedUnitsFlags = 0x40001000;

// The calculation of a channel with a copy of its settings when they are of the class T, else nothing.
template <class T>
bool CalculationWith(IChannelData* data, std::int32_t channel, ComPtr<IChannelCalc>* calc, ComPtr<T>* settings) {
  if (!data || channel < 0) return false;
  ComPtr<IChannelCalc> c;
  if (data->GetChannelCalc(channel, c.Put()) != S_OK || !c) return false;
  ComPtr<IPersistObject> s;
  if (Failed(c->GetSettings(s.Put())) || !s) return false;
  auto* typed = dynamic_cast<T*>(s.Get());
  if (!typed) return false;
  if (calc) *calc = c;
  *settings = ComPtr<T>(typed);
  return true;
}

// Changes the settings of a channel's calculation of the class T and has the host apply them; a channel
// without that calculation is left alone. Unchanged settings are a no-op for the calculation.
template <class T, class Change>
void ApplyTo(IChannelData* data, std::int32_t channel, Change change) {
  ComPtr<IChannelCalc> calc;
  ComPtr<T> settings;
  if (!CalculationWith(data, channel, &calc, &settings)) return;
  change(*settings);
  calc->ApplySettings(settings.Get(), kFalse16);
}

// What the document's settings decide of a flow calculation.
void WriteFlowUnits(SpFlowSettings& flow, const SpConfig& s) {
  flow.mOutputUnitsPrefix = s.FlowUnitsPrefix;
  flow.mNoiseFloor = s.NoiseFloor;
  flow.mApplyNoiseFloor = s.ApplyNoiseFloor;
}

double PrefixFactorOf(IChannelData* data, std::uint32_t flags, std::int32_t block, std::int32_t channel) {
  ComPtr<IUnits> units;
  std::int32_t code = 8;
  if (data && Succeeded(data->GetUnits(flags, block, channel, units.Put())) && units &&
      Failed(units->GetPrefixCode(&code)))
    code = 8;
  return UnitPrefixFactor(code);
}
}  // namespace

std::int32_t SpiroDocument::CalculationKindOf(std::int32_t channel) const {
  ComPtr<IChannelCalc> calc;
  if (!mData || mData->GetChannelCalc(channel, calc.Put()) != S_OK || !calc) return kNoCalculation;
  ComPtr<IPersistObject> settings;
  Guid id;
  if (Failed(calc->GetSettings(settings.Put())) || !settings || Failed(settings->GetClassId(&id)))
    return kNoCalculation;
  if (id == kSpFlowClassId) return kFlowCalculation;
  if (id == kSpVolClassId) return kVolumeCalculation;
  return kNoCalculation;
}

DetectionSource SpiroDocument::CurrentDetectionSource() const { return DetectionSourceOf(mSettings->FlowChannel); }

DetectionSource SpiroDocument::DetectionSourceOf(std::int32_t flow) const {
  const std::int32_t block = mSelectionStart.block;
  ComPtr<SpFlowSettings> s;
  if (CalculationWith(mData.Get(), flow, nullptr, &s)) {
    // The head scale the flow enumerator really uses: a preset's own unless the custom scale is on.
    const auto table = FlowHeadTable::BuiltIn();
    const double headScale =
        !s->mUseCustomHeadScale && table.Contains(s->mPresetIndex) ? table.HeadScale(s->mPresetIndex) : s->mHeadScale;
    const std::int32_t raw = s->mRawFlowChannel;
    // Full scale of a voltage in mV counts in volts, as the head scale does.
    return {raw, headScale / PrefixFactorOf(mData.Get(), kUnitsConversionFlags, block, raw), kUnitsConversionFlags};
  }
  // A flow channel of its own (recorded or computed otherwise in L/s): its full scale in L/s.
  return {flow, 1.0 / PrefixFactorOf(mData.Get(), kCalculatedUnitsFlags, block, flow), kCalculatedUnitsFlags};
}

void SpiroDocument::ReadMirrors() {
  ReadMirrorsFrom(mSettings->FlowChannel);
  ReadMirrorsFrom(mSettings->VolumeChannel);
}

void SpiroDocument::ReadMirrorsFrom(std::int32_t channel) {
  mVolumeMirror.deadSpace = kMirrorDefaultDeadSpace;
  mCalculatedVolumeRatio = 1.0;
  mPendingVolumeRatio.reset();
  ComPtr<SpFlowSettings> flow;
  if (CalculationWith(mData.Get(), channel, nullptr, &flow)) {
    mFlowMirror.presetIndex = flow->mPresetIndex;
    mFlowMirror.customHeadScale = flow->mHeadScale;
    mFlowMirror.useCustomHeadScale = flow->mUseCustomHeadScale;
    mFlowMirror.driftCorrection = flow->mDriftCorrection;
    mFlowMirror.nonLinearCompensation = flow->mApplyNonLinear;
    mFlowMirror.rawFlowChannel = flow->mRawFlowChannel;
    return;
  }
  ComPtr<SpVolSettings> volume;
  if (!CalculationWith(mData.Get(), channel, nullptr, &volume)) return;
  mVolumeMirror.deadSpace = volume->mDeadSpace;
  mVolumeMirror.volumeCorrection = volume->mVolumeCorrection;
  mVolumeMirror.resetAtEndOfExpiration = volume->mResetAtEndOfExpiration;
  mVolumeMirror.volumeRatio = volume->mVolumeRatio;
  mVolumeMirror.flowChannel = volume->mFlowChannel;
  mVolumeMirror.correctionType = volume->mCorrectionType;
  mPendingVolumeRatio = VolumeRatioRequest{mSelectionStart, mSelectionEnd, mSettings->FlowChannel,
                                           mVolumeMirror.correctionType, mVolumeMirror.deadSpace};
}

double SpiroDocument::CalculatedVolumeRatio() const {
  if (mPendingVolumeRatio) {
    const VolumeRatioRequest r = *mPendingVolumeRatio;
    mPendingVolumeRatio.reset();
    CalibrateBase ratio(mData.Get(), mData.Get());
    mCalculatedVolumeRatio =
        ratio.VolumeRatio(mData.Get(), r.start, r.end, r.flowChannel, r.correctionType, r.deadSpaceMl);
  }
  return mCalculatedVolumeRatio;
}

void SpiroDocument::PushUnitsToCalculations() {
  const SpConfig& s = mSettings->Record();
  ApplyTo<SpFlowSettings>(mData.Get(), s.FlowChannel, [&](SpFlowSettings& flow) { WriteFlowUnits(flow, s); });
  ApplyTo<SpVolSettings>(mData.Get(), s.VolumeChannel,
                         [&](SpVolSettings& volume) { volume.mOutputUnitsPrefix = s.FlowUnitsPrefix; });
}

void SpiroDocument::PushFlowMirror() try {
  const SpConfig& s = mSettings->Record();
  ApplyTo<SpFlowSettings>(mData.Get(), s.FlowChannel, [&](SpFlowSettings& flow) {
    flow.mPresetIndex = mFlowMirror.presetIndex;
    flow.mHeadScale = mFlowMirror.customHeadScale;
    flow.mUseCustomHeadScale = mFlowMirror.useCustomHeadScale;
    flow.mDriftCorrection = mFlowMirror.driftCorrection;
    flow.mApplyNonLinear = mFlowMirror.nonLinearCompensation;
    flow.mRawFlowChannel = mFlowMirror.rawFlowChannel;
    WriteFlowUnits(flow, s);
  });
  MarkResultsStale();
} catch (...) {
  // Called from interface slots: the calculation keeps its settings.
}

void SpiroDocument::PushVolumeMirror() try {
  const SpConfig& s = mSettings->Record();
  ApplyTo<SpVolSettings>(mData.Get(), s.VolumeChannel, [&](SpVolSettings& volume) {
    volume.mDeadSpace = mVolumeMirror.deadSpace;
    volume.mVolumeCorrection = mVolumeMirror.volumeCorrection;
    volume.mResetAtEndOfExpiration = mVolumeMirror.resetAtEndOfExpiration;
    volume.mVolumeRatio = mVolumeMirror.volumeRatio;
    volume.mFlowChannel = mVolumeMirror.flowChannel;
    volume.mCorrectionType = mVolumeMirror.correctionType;
    volume.mOutputUnitsPrefix = s.FlowUnitsPrefix;
  });
  MarkResultsStale();
} catch (...) {
}

}  // namespace Spirometry
