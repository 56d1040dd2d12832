#include "spirometry/document/spiro_document.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/data/iunits.h"
#include "host/frame/document_events.h"
#include "spirometry/document/settings_dialog_hook.h"
#include "spirometry/document/settings_message.h"
#include "spirometry/extension/menus.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kSampleFlags = 0x40001000;
constexpr std::uint32_t kBlockInfoFlags = 0xC0000000;
constexpr std::uint32_t kInformationStyle = 0x40;
constexpr int kStringSettingsUpdated = 8, kStringSettingsUpdatedCaption = 15, kStringNoBreaths = 50;
constexpr int kStringSpirometry = 53, kStringSettingsNeeded = 3101;

SettingsDialogRunner gSettingsDialog = nullptr;

// Out-of-range values, and values that are no number at all, come back in range; NaN takes the default.
double Clamped(double value, double low, double high, double fallback) {
  if (std::isnan(value)) return fallback;
  return std::clamp(value, low, high);
}
}  // namespace

SettingsDialogRunner& SettingsDialogSlot() { return gSettingsDialog; }

SpiroDocument::SpiroDocument(IHostDocument* host)
    : mHost(host),
      mSettings(MakeCom<Settings>()),
      mAnalysis(mSettings),
      mResults(mAnalysis, {[this](DataPosition a, DataPosition b) { return TimeBetween(a, b); },
                           [this](DataPosition p, double seconds, double* v) { return VolumeAfter(p, seconds, v); },
                           [this] { return MeasureForcedExpirations(); }}) {
  if (mHost) {
    mHost->GetChannelData(mData.Put());
    if (Failed(mHost->GetNamespaceIndex(kSpiroDocumentGuid, &mNamespace))) mNamespace = 0;
  }
  mAnalysis.SetDetectionSource([this] { return CurrentDetectionSource(); });
  mAnalysis.SetVolumeReader([this](DataPosition p, double seconds, double* v) { return VolumeAfter(p, seconds, v); });
}

SpiroDocument* SpiroDocument::FromUnknown(IUnknown* object) {
  if (!object) return nullptr;
  ComPtr<ISpiroDocInterface> face;
  if (Failed(object->QueryInterface(ISpiroDocInterface::kIid, face.PutVoid())) || !face) return nullptr;
  return dynamic_cast<SpiroDocument*>(face.Get());
}

// ---- Settings ----

bool SpiroDocument::ApplySettings(const SpConfig& v) {
  return ApplySettings(v.ForcedExpThres, v.DetectionLevel, v.IncludeNonForced, v.FlowChannel, v.VolumeChannel,
                       v.FlowUnitsPrefix, v.NoiseFloor, v.ApplyNoiseFloor);
}

bool SpiroDocument::ApplySettings(double forcedExpThres, double detectionLevel, bool includeNonForced,
                                  std::int32_t flowChannel, std::int32_t volumeChannel, std::int32_t flowUnitsPrefix,
                                  double noiseFloor, bool applyNoiseFloor) {
  // Reached from interface slots and messages: nothing may escape, and a failure midway leaves the values
  // already stored in place.
  try {
    const bool inRange = detectionLevel >= kDetectionLevelMin && detectionLevel <= kDetectionLevelMax &&
                         forcedExpThres >= kForcedExpThresMin && forcedExpThres <= kForcedExpThresMax;
    if (!inRange) {
      detectionLevel = Clamped(detectionLevel, kDetectionLevelMin, kDetectionLevelMax, kDefaultDetectionLevel);
      forcedExpThres = Clamped(forcedExpThres, kForcedExpThresMin, kForcedExpThresMax, kDefaultForcedExpThres);
      if (mHost)
        mHost->ShowMessageBox(LoadString(kStringSettingsUpdated).c_str(),
                              LoadString(kStringSettingsUpdatedCaption).c_str(), kInformationStyle);
    }

    const SpConfig before = mSettings->Record();
    SpConfig& s = mSettings->Record();
    // A negative index names no channel; the next refresh chooses one as for any channel not offered.
    s.FlowChannel = flowChannel < 0 ? kChannelNotSet : flowChannel;
    s.VolumeChannel = volumeChannel < 0 ? kChannelNotSet : volumeChannel;
    s.DetectionLevel = detectionLevel;
    s.ForcedExpThres = forcedExpThres;
    s.IncludeNonForced = includeNonForced;
    // A noise floor that is no magnitude keeps the old one, as an unsupported prefix does: neither could
    // be stored and read back.
    if (IsAdmittedNoiseFloor(noiseFloor)) s.NoiseFloor = noiseFloor;
    s.ApplyNoiseFloor = applyNoiseFloor;
    if (IsAdmittedFlowUnitsPrefix(flowUnitsPrefix)) s.FlowUnitsPrefix = flowUnitsPrefix;
    // Settings changed by a script must reach the data file like the dialog's do.
    if (!(before == s)) Attach();
    // New channels: the mirrors were taken from the old ones, and a later push must not copy one
    // channel's calculation onto another's.
    if (before.FlowChannel != s.FlowChannel || before.VolumeChannel != s.VolumeChannel) ReadMirrors();

    PushUnitsToCalculations();
    ResultsChanged();
    if (mHost) {
      mHost->SetModified();
      mHost->NotifyViews(this, kSpiroDocumentGuid, 0);
    }
  } catch (...) {
  }
  return true;
}

void SpiroDocument::MarkResultsStale() {
  // "No breaths found" belongs to the settings it was found with: the new ones get the selection's own
  // test, and the next analysis detects again and says whether it finds breaths.
  mDataViewValid = ValidateSelection(true, &mDataViewMessage);
  mAnalysisValid = ValidateSelection(false, &mAnalysisMessage);
  mAnalysisOutOfDate = true;
  ForgetReadings();
}

void SpiroDocument::ResultsChanged() {
  MarkResultsStale();
  UpdateViews(true);
}

void SpiroDocument::Attach() {
  if (mSettings->WasLoaded() || mSettings->IsAttached() || !mHost) return;
  if (Succeeded(mHost->AttachPersistentObject(this, mSettings.Get()))) mSettings->SetAttached();
}

// ---- Analysis ----

bool SpiroDocument::AnyViewOpen() {
  if (!mHost) return false;
  for (const Guid& viewClass : {kReportViewClassId, kDataViewClassId, kFlowVolumeViewClassId})
    if (mHost->IsViewOpen(viewClass, this) == S_OK) return true;
  return false;
}

void SpiroDocument::UpdateViews(bool force) {
  if (!AnyViewOpen()) return;
  if (mAnalysisOutOfDate) {
    ForgetReadings();
    mAnalysis.Update(mHost.Get(), force, mSelectionStart, mSelectionEnd);
    mAnalysisOutOfDate = false;
  }
}

void SpiroDocument::RunAnalysisIfOutOfDate() {
  if (!mAnalysisOutOfDate || !mHost) return;
  ForgetReadings();
  mAnalysis.Update(mHost.Get(), true, mSelectionStart, mSelectionEnd);
  mAnalysisOutOfDate = false;
}

bool SpiroDocument::EnsureAnalysis(std::wstring* message) {
  if (message) *message = mAnalysisMessage;
  if (!mAnalysisValid || !mHost) return false;
  // An analysis marked out of date (settings or channels changed while no view was open) must detect
  // again: the cache only knows the selection and the levels, not the channels.
  const bool force = mAnalysisOutOfDate;
  mAnalysisOutOfDate = false;
  ForgetReadings();
  if (mAnalysis.Update(mHost.Get(), force, mSelectionStart, mSelectionEnd) > 0) return true;
  mAnalysisMessage = LoadString(kStringNoBreaths);
  if (message) *message = mAnalysisMessage;
  mAnalysisValid = false;
  mDataViewValid = false;
  return false;
}

bool SpiroDocument::VolumeAfter(DataPosition position, double seconds, double* volume) {
  if (!volume) return false;
  *volume = 0.0;
  if (!mData || position.offset == DataPosition::kNotSet || position.block == DataPosition::kNotSet) return false;
  const std::int32_t channel = mSettings->VolumeChannel;
  double secsPerTick = 0.0;
  std::int64_t length = 0;
  if (Failed(mData->GetSecsPerTick(kBlockInfoFlags, position.block, channel, &secsPerTick)) || !(secsPerTick > 0.0) ||
      Failed(mData->GetBlockLength(kBlockInfoFlags, position.block, channel, &length)))
    return false;
  const double ticksPerSecond = std::trunc(1.0 / secsPerTick + 0.5);
  const double step = std::trunc(ticksPerSecond * seconds);
  // A step longer than the block cannot land in it; tested before the conversion to an integer, which an
  // absurd sample interval or time (or no number at all) would not survive.
  if (!(std::fabs(step) <= static_cast<double>(length))) return false;
  const std::int64_t target = position.offset + static_cast<std::int64_t>(step);
  const std::int64_t blockLength = length;
  // Nothing after the selection counts: the user may have left it out for a reason.
  const DataPosition selectionEnd = mAnalysis.RequestedEnd();
  if (selectionEnd.block == position.block && selectionEnd.offset != DataPosition::kNotSet)
    length = std::min<std::int64_t>(length, selectionEnd.offset);
  if (target < 0 || target >= length) return false;
  float sample = 0.0f;
  if (!ReadVolumeSample(channel, position.block, blockLength, target, &sample) || !std::isfinite(sample)) return false;
  // The breaths' volumes are in litres whatever prefix the channel shows (an SpVol in mL, a recorded
  // "mL" channel): the reading must be too, or FEV1 would subtract millilitres from litres.
  std::int32_t prefix = 8;
  ComPtr<IUnits> units;
  if (Succeeded(mData->GetUnits(kSampleFlags, position.block, channel, units.Put())) && units)
    if (Failed(units->GetPrefixCode(&prefix))) prefix = 8;
  *volume = static_cast<double>(sample) / UnitPrefixFactor(prefix);
  return true;
}

bool SpiroDocument::ReadVolumeSample(std::int32_t channel, std::int32_t block, std::int64_t length, std::int64_t tick,
                                     float* sample) {
  VolumeReader& r = mVolumeReader;
  if (tick < 0 || tick >= length || length > DataPosition::kNotSet) return false;
  if (!r.reader || r.channel != channel || r.block != block || r.length != length) {
    r = VolumeReader{};
    const DataPosition start{0, block}, end{static_cast<std::int32_t>(length), block};
    if (Failed(mData->OpenReader(kSampleFlags, channel, start, end, r.reader.Put())) || !r.reader) {
      r.reader.Reset();
      return false;
    }
    r.channel = channel;
    r.block = block;
    r.length = length;
  }
  std::int32_t got = 0;
  if (r.reader->Seek(tick) != S_OK || Failed(r.reader->Read(1, sample, &got)) || got != 1) {
    r.reader.Reset();
    return false;
  }
  return true;
}

double SpiroDocument::TimeBetween(DataPosition from, DataPosition to) const {
  double a = 0.0, b = 0.0;
  if (!mData || Failed(mData->GetTimeOfPosition(0, from, &a)) || Failed(mData->GetTimeOfPosition(0, to, &b)))
    return 0.0;
  return b - a;
}

// ---- Host document events, commands and messages ----

HRESULT SpiroDocument::GetDocumentType(Guid* type) {
  if (!type) return E_POINTER;
  *type = kSpiroDocumentGuid;
  return S_OK;
}

HRESULT SpiroDocument::OnEvent(const Guid& eventSet, std::int32_t code) {
  if (eventSet != HostEvents::kDocumentEventSet) return S_FALSE;
  try {
    switch (code) {
      case HostEvents::kInitial:
        OnInitial();
        break;
      case HostEvents::kChanged:
        Refresh();
        break;
      case HostEvents::kRecalculate:
        mAnalysis.InvalidateDetection();
        Refresh();
        break;
      default:
        return S_FALSE;
    }
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

void SpiroDocument::OnInitial() {
  if (mSettings->WasLoaded() && mSettings->LoadedVersion() >= 2)
    ApplySettings(mSettings->Record());  // clamps and announces what earlier versions let through
  else
    ExecuteCommand(FullId(kLocalCommandSettings));
  Refresh();
}

bool SpiroDocument::LocalCommand(std::uint32_t commandId, std::uint32_t* local) const {
  switch (commandId) {
    case kCommandSettings:
      *local = kLocalCommandSettings;
      return true;
    case kCommandDataView:
      *local = kLocalCommandDataView;
      return true;
    case kCommandFlowVolumeView:
      *local = kLocalCommandFlowVolumeView;
      return true;
    case kCommandReportView:
      *local = kLocalCommandReportView;
      return true;
    default:
      break;
  }
  if (mNamespace == 0 || (commandId >> 16) != mNamespace) return false;
  *local = commandId & 0xFFFF;
  return *local >= kLocalCommandSettings && *local <= kLocalCommandReportView;
}

HRESULT SpiroDocument::ExecuteCommand(std::uint32_t commandId) {
  std::uint32_t local = 0;
  if (!LocalCommand(commandId, &local)) return S_FALSE;
  if (!mHost) return E_FAIL;
  try {
    switch (local) {
      case kLocalCommandSettings: {
        // Queued rather than run here, so that the dialog opens after the command (or the set-up) is done.
        const std::uint32_t record[3] = {FullId(kLocalMessageSettingsDialog), 0, 0};
        mHost->PostMessage(this, record, static_cast<std::int32_t>(sizeof record), 0);
        break;
      }
      case kLocalCommandFlowVolumeView:
        mHost->OpenView(kFlowVolumeViewClassId, this);
        break;
      case kLocalCommandDataView:
        mHost->OpenView(kDataViewClassId, this);
        break;
      case kLocalCommandReportView:
        mHost->OpenView(kReportViewClassId, this);
        break;
      default:
        return S_FALSE;
    }
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroDocument::UpdateCommand(std::uint32_t commandId, Bool16* enabled) {
  std::uint32_t local = 0;
  if (!LocalCommand(commandId, &local)) return S_FALSE;
  if (!enabled) return E_POINTER;
  *enabled = kTrue16;
  return S_OK;
}

HRESULT SpiroDocument::HandleMessage(const void* record, std::int32_t size) {
  if (!record || size < 4) return E_INVALIDARG;
  std::uint32_t id = 0;
  std::memcpy(&id, record, sizeof id);
  if (mNamespace == 0 || (id >> 16) != mNamespace) return S_FALSE;
  try {
    switch (id & 0xFFFF) {
      case kLocalMessageSettingsDialog:
        RunSettingsDialogCommand();
        return S_OK;
      case kLocalMessageFiveValueSettings: {
        auto values = DecodeFiveValueMessage(record, size);
        if (!values) return E_INVALIDARG;
        ApplySettings(*values);
        return S_OK;
      }
      case kLocalMessageSpirometrySettings: {
        auto values = DecodeSettingsMessage(record, size);
        if (!values) return E_INVALIDARG;
        if (const auto automatic = DecodeAutomaticLevel(record, size)) UseAutomaticDetectionLevel(*automatic);
        ApplySettings(*values);
        return S_OK;
      }
      default:
        return S_FALSE;
    }
  } catch (...) {
    return E_FAIL;
  }
}

void SpiroDocument::RunSettingsDialogCommand() {
  if (!mHost) return;
  SpConfig edited = mSettings->Record();
  SettingsDialogRunner run = SettingsDialogSlot();
  if (!run) {
    mHost->ShowMessageBox(LoadString(kStringSettingsNeeded).c_str(), LoadString(kStringSpirometry).c_str(),
                          kInformationStyle);
    return;
  }
  if (!mHostWindowFetched) {
    mHostWindowFetched = Succeeded(mHost->GetHostWindow(&mHostWindow));
    if (!mHostWindowFetched) mHostWindow = 0;
  }
  SettingsDialogRequest request;
  request.document = this;
  request.settings = &edited;
  request.flowChannels = &mFlowChannels;
  request.volumeChannels = &mVolumeChannels;
  request.hostWindow = mHostWindow;
  if (!run(request) || edited == mSettings->Record()) return;
  Attach();
  mSettings->SetDirty();
  // The automatic level travels in the message only where it is used, so that the record stays as it
  // always was for a document that never uses it.
  const bool carryAutomatic = edited.AutoDetectionLevel || mSettings->AutoDetectionLevel;
  UseAutomaticDetectionLevel(edited.AutoDetectionLevel);
  UseStandardReport(edited.StandardReport);
  Refresh();
  // Sent as the scripting message, so that a recorded macro repeats exactly this change.
  const auto message = EncodeSettingsMessage(FullId(kLocalMessageSpirometrySettings), edited, carryAutomatic);
  if (mHost) mHost->PostMessage(this, message.data(), static_cast<std::int32_t>(message.size()), kSendImmediately);
}

HRESULT SpiroDocument::GetPersistentObject(std::int32_t kind, IPersist** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (kind != kPersistKindStream) return S_FALSE;
  return mSettings->QueryInterface(IPersist::kIid, reinterpret_cast<void**>(object));
}

HRESULT SpiroDocument::Close() {
  ForgetReadings();
  mAnalysis.ReleaseHost();
  mData.Reset();
  mHost.Reset();
  return S_OK;
}

}  // namespace Spirometry
