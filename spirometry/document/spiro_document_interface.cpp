// ISpiroDocument and ISpiroResults of the spirometry document: thin faces over its own operations.
#include <algorithm>
#include <cmath>
#include <new>

#include "spirometry/document/spiro_document.h"
#include "spirometry/document/spiro_parameters.h"

namespace Spirometry {

namespace {
template <class T>
HRESULT Out(T* out, T value) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

HRESULT CopyChannels(const std::vector<std::int32_t>& list, std::int32_t* count, std::int32_t** channels) {
  if (!count) return E_POINTER;
  *count = static_cast<std::int32_t>(list.size());
  if (!channels) return E_FAIL;
  auto* copy = new (std::nothrow) std::int32_t[list.size() + 1];  // never a zero-length allocation
  if (!copy) return E_OUTOFMEMORY;
  std::copy(list.begin(), list.end(), copy);
  delete[] * channels;
  *channels = copy;
  return S_OK;
}

double ClampedOr(double value, double low, double high, double fallback) {
  return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

SpiroBreathRecord ToRecord(const Breath& b) {
  SpiroBreathRecord r{};
  r.PeakInspiratoryFlow = b.PeakInspiratoryFlow;
  r.PeakExpiratoryFlow = b.PeakExpiratoryFlow;
  r.MaxVolume = b.MaxVolume;
  r.MinVolume = b.MinVolume;
  r.IsForced = ToBool16(b.IsForced);
  r.IsSingleExpiration = ToBool16(b.IsSingleExpiration);
  r.Start = b.Start;
  r.End = b.End;
  r.MaxVolumePosition = b.MaxVolumePosition;
  r.MinVolumePosition = b.MinVolumePosition;
  r.PeakInspiratoryFlowPosition = b.PeakInspiratoryFlowPosition;
  r.PeakExpiratoryFlowPosition = b.PeakExpiratoryFlowPosition;
  r.ExpirationStart = b.ExpirationStart;
  return r;
}
}  // namespace

// ---- Flow calculation mirror ----

HRESULT SpiroDocument::SetFlowHeadPreset(std::int32_t preset) {
  mFlowMirror.presetIndex = preset;
  PushFlowMirror();
  return S_OK;
}
HRESULT SpiroDocument::SetCustomHeadScale(double scale) {
  mFlowMirror.customHeadScale = scale;
  PushFlowMirror();
  return S_OK;
}
HRESULT SpiroDocument::SetUseCustomHeadScale(Bool16 on) {
  mFlowMirror.useCustomHeadScale = on != kFalse16;
  PushFlowMirror();
  return S_OK;
}
HRESULT SpiroDocument::SetDriftCorrection(Bool16 on) {
  mFlowMirror.driftCorrection = on != kFalse16;
  PushFlowMirror();
  return S_OK;
}
HRESULT SpiroDocument::SetNonLinearCompensation(Bool16 on) {
  mFlowMirror.nonLinearCompensation = on != kFalse16;
  PushFlowMirror();
  return S_OK;
}
HRESULT SpiroDocument::GetFlowHeadPreset(std::int32_t* preset) { return Out(preset, mFlowMirror.presetIndex); }
HRESULT SpiroDocument::GetCustomHeadScale(double* scale) { return Out(scale, mFlowMirror.customHeadScale); }
HRESULT SpiroDocument::GetUseCustomHeadScale(Bool16* on) { return Out(on, ToBool16(mFlowMirror.useCustomHeadScale)); }
HRESULT SpiroDocument::GetDriftCorrection(Bool16* on) { return Out(on, ToBool16(mFlowMirror.driftCorrection)); }
HRESULT SpiroDocument::GetNonLinearCompensation(Bool16* on) {
  return Out(on, ToBool16(mFlowMirror.nonLinearCompensation));
}

// ---- Volume calculation mirror ----

HRESULT SpiroDocument::SetDeadSpace(double deadSpace) {
  mVolumeMirror.deadSpace = ClampedOr(deadSpace, kMirrorDeadSpaceMin, kMirrorDeadSpaceMax, kMirrorDefaultDeadSpace);
  PushVolumeMirror();
  return S_OK;
}
HRESULT SpiroDocument::SetVolumeCorrection(Bool16 on) {
  mVolumeMirror.volumeCorrection = on != kFalse16;
  PushVolumeMirror();
  return S_OK;
}
HRESULT SpiroDocument::SetVolumeRatio(double ratio) {
  mVolumeMirror.volumeRatio = ClampedOr(ratio, kMirrorVolumeRatioMin, kMirrorVolumeRatioMax, kMirrorDefaultVolumeRatio);
  PushVolumeMirror();
  return S_OK;
}
HRESULT SpiroDocument::GetDeadSpace(double* deadSpace) { return Out(deadSpace, mVolumeMirror.deadSpace); }
HRESULT SpiroDocument::GetVolumeCorrection(Bool16* on) { return Out(on, ToBool16(mVolumeMirror.volumeCorrection)); }
HRESULT SpiroDocument::GetVolumeRatio(double* ratio) { return Out(ratio, mVolumeMirror.volumeRatio); }
HRESULT SpiroDocument::GetCalculatedVolumeRatio(double* ratio) { return Out(ratio, CalculatedVolumeRatio()); }
HRESULT SpiroDocument::GetVolumeRatioRange(double* min, double* max) {
  if (!min || !max) return E_POINTER;
  *min = kMirrorVolumeRatioMin;
  *max = kMirrorVolumeRatioMax;
  return S_OK;
}
HRESULT SpiroDocument::GetDefaultVolumeRatio(double* ratio) { return Out(ratio, kMirrorDefaultVolumeRatio); }
HRESULT SpiroDocument::GetDeadSpaceRange(double* min, double* max) {
  if (!min || !max) return E_POINTER;
  *min = kMirrorDeadSpaceMin;
  *max = kMirrorDeadSpaceMax;
  return S_OK;
}
HRESULT SpiroDocument::GetDefaultDeadSpace(double* deadSpace) { return Out(deadSpace, kMirrorDefaultDeadSpace); }

// ---- Analysis settings ----

HRESULT SpiroDocument::SetDetectionLevel(double level) {
  const SpConfig& s = CurrentSettings();
  ApplySettings(s.ForcedExpThres, level, s.IncludeNonForced, s.FlowChannel, s.VolumeChannel, 8, 0.0, false);
  return S_OK;
}
HRESULT SpiroDocument::SetForcedExpThres(double threshold) {
  const SpConfig& s = CurrentSettings();
  ApplySettings(threshold, s.DetectionLevel, s.IncludeNonForced, s.FlowChannel, s.VolumeChannel, 8, 0.0, false);
  return S_OK;
}
HRESULT SpiroDocument::SetIncludeNonForced(Bool16 on) {
  const SpConfig& s = CurrentSettings();
  ApplySettings(s.ForcedExpThres, s.DetectionLevel, on != kFalse16, s.FlowChannel, s.VolumeChannel, 8, 0.0, false);
  return S_OK;
}
HRESULT SpiroDocument::GetDetectionLevel(double* level) { return Out(level, CurrentSettings().DetectionLevel); }
HRESULT SpiroDocument::GetForcedExpThres(double* threshold) { return Out(threshold, CurrentSettings().ForcedExpThres); }
HRESULT SpiroDocument::GetIncludeNonForced(Bool16* on) { return Out(on, ToBool16(CurrentSettings().IncludeNonForced)); }

HRESULT SpiroDocument::SetRawFlowChannel(std::int32_t channel) {
  mFlowMirror.rawFlowChannel = channel;
  return S_OK;
}
HRESULT SpiroDocument::GetRawFlowChannel(std::int32_t* channel) { return Out(channel, mFlowMirror.rawFlowChannel); }
HRESULT SpiroDocument::SetVolumeFlowChannel(std::int32_t channel) {
  mVolumeMirror.flowChannel = channel;
  return S_OK;
}
HRESULT SpiroDocument::GetVolumeFlowChannel(std::int32_t* channel) { return Out(channel, mVolumeMirror.flowChannel); }

HRESULT SpiroDocument::SetFlowChannel(std::int32_t channel) {
  const SpConfig& s = CurrentSettings();
  ApplySettings(s.ForcedExpThres, s.DetectionLevel, s.IncludeNonForced, channel, s.VolumeChannel, 8, 0.0, false);
  return S_OK;
}
HRESULT SpiroDocument::SetVolumeChannel(std::int32_t channel) {
  const SpConfig& s = CurrentSettings();
  ApplySettings(s.ForcedExpThres, s.DetectionLevel, s.IncludeNonForced, s.FlowChannel, channel, 8, 0.0, false);
  return S_OK;
}
HRESULT SpiroDocument::GetFlowChannel(std::int32_t* channel) { return Out(channel, CurrentSettings().FlowChannel); }
HRESULT SpiroDocument::GetVolumeChannel(std::int32_t* channel) { return Out(channel, CurrentSettings().VolumeChannel); }
HRESULT SpiroDocument::GetFlowChannels(std::int32_t* count, std::int32_t** channels) {
  return CopyChannels(mFlowChannels, count, channels);
}
HRESULT SpiroDocument::GetVolumeChannels(std::int32_t* count, std::int32_t** channels) {
  return CopyChannels(mVolumeChannels, count, channels);
}

// ---- ISpiroResults ----

HRESULT SpiroDocument::EnsureAnalysis(Bool16* ok, std::wstring* message) {
  if (!ok || !message) return E_POINTER;
  try {
    *ok = ToBool16(EnsureAnalysis(message));
    return S_OK;
  } catch (...) {
    *ok = kFalse16;
    return E_FAIL;
  }
}

HRESULT SpiroDocument::GetSettings(SpiroSettingsRecord* settings) {
  if (!settings) return E_POINTER;
  const SpConfig& s = CurrentSettings();
  settings->FlowChannel = s.FlowChannel;
  settings->VolumeChannel = s.VolumeChannel;
  settings->DetectionLevel = s.DetectionLevel;
  settings->ForcedExpThres = s.ForcedExpThres;
  settings->IncludeNonForced = ToBool16(s.IncludeNonForced);
  settings->NoiseFloor = s.NoiseFloor;
  settings->ApplyNoiseFloor = ToBool16(s.ApplyNoiseFloor);
  settings->FlowUnitsPrefix = s.FlowUnitsPrefix;
  return S_OK;
}

HRESULT SpiroDocument::GetRequestedSelection(DataPosition* start, DataPosition* end) {
  if (!start || !end) return E_POINTER;
  *start = mAnalysis.RequestedStart();
  *end = mAnalysis.RequestedEnd();
  return S_OK;
}

HRESULT SpiroDocument::GetValidity(Bool16* dataViewValid, std::wstring* dataViewMessage, Bool16* analysisValid,
                                   std::wstring* analysisMessage) {
  if (!dataViewValid || !dataViewMessage || !analysisValid || !analysisMessage) return E_POINTER;
  try {
    *dataViewValid = ToBool16(mDataViewValid);
    *dataViewMessage = mDataViewMessage;
    *analysisValid = ToBool16(mAnalysisValid);
    *analysisMessage = mAnalysisMessage;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SpiroDocument::GetBreathCount(std::int32_t* count) { return Out(count, mAnalysis.Count()); }

HRESULT SpiroDocument::GetBreath(std::int32_t index, SpiroBreathRecord* breath) {
  if (!breath) return E_POINTER;
  if (index < 0 || index >= mAnalysis.Count()) return E_INVALIDARG;
  *breath = ToRecord(mAnalysis.At(index));
  return S_OK;
}

HRESULT SpiroDocument::GetBreathParameters(std::int32_t index, SpiroBreathParameters* parameters) {
  if (!parameters) return E_POINTER;
  if (index < 0 || index >= mAnalysis.Count()) return E_INVALIDARG;
  try {
    *parameters = mResults.Parameters(index);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroDocument::GetSummary(SpiroSummary* summary) {
  if (!summary) return E_POINTER;
  try {
    *summary = mResults.Summary();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroDocument::GetMissingFlowSamples(DataPosition* start, DataPosition* end, std::int32_t* flowChannel,
                                             std::int64_t* count) {
  if (!start || !end || !flowChannel || !count) return E_POINTER;
  const auto& missing = mAnalysis.MissingFlow();
  if (!missing) return S_FALSE;
  *start = mAnalysis.AnalysedStart();
  *end = mAnalysis.AnalysedEnd();
  *flowChannel = missing->channel;
  *count = missing->count;
  return S_OK;
}

}  // namespace Spirometry
