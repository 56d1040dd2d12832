#pragma once
// The spirometry document: the extension's document on a host data file. It owns the analysis settings
// and the breath analysis, finds the channels that can serve as flow and volume, copies and validates the
// host's selection, decides when the analysis runs, and is the one place through which views, dialogs and
// scripts read and change the settings. It also mirrors the parameters of the flow and volume
// calculations of its channels so that dialogs can edit them through it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/ichannel_data.h"
#include "host/frame/icustom_document.h"
#include "host/frame/ihost_document.h"
#include "spirometry/document/analysis_results.h"
#include "spirometry/document/breath_analysis.h"
#include "spirometry/document/forced_test_quality.h"
#include "spirometry/document/ispiro_document.h"
#include "spirometry/document/ispiro_measures.h"
#include "spirometry/document/ispiro_results3.h"
#include "spirometry/document/settings.h"

namespace Spirometry {

// What the document mirrors of the SpFlow calculation of its flow channel.
struct FlowCalculationMirror {
  std::int32_t presetIndex = 0;
  double customHeadScale = 1.0;  // the calculation's head scale, L/s per V
  bool useCustomHeadScale = false;
  bool driftCorrection = false;
  bool nonLinearCompensation = false;
  std::int32_t rawFlowChannel = 0;
};

// What the document mirrors of the SpVol calculation of its volume channel.
inline constexpr double kMirrorDeadSpaceMin = 0.0, kMirrorDeadSpaceMax = 10000.0, kMirrorDefaultDeadSpace = 400.0;
inline constexpr double kMirrorVolumeRatioMin = 0.01, kMirrorVolumeRatioMax = 10.0, kMirrorDefaultVolumeRatio = 1.0;
struct VolumeCalculationMirror {
  double deadSpace = kMirrorDefaultDeadSpace;  // mL
  bool volumeCorrection = false;
  bool resetAtEndOfExpiration = false;
  double volumeRatio = kMirrorDefaultVolumeRatio;
  std::int32_t flowChannel = 0;
  std::int32_t correctionType = 0;
};

class SpiroDocument final
    : public ComObject<ICustomDocument, ISpiroDocInterface, ISpiroDocument, ISpiroResults3, ISpiroMeasures> {
 public:
  explicit SpiroDocument(IHostDocument* host);

  // The document behind an interface pointer of this module, or null.
  static SpiroDocument* FromUnknown(IUnknown* object);

  // ---- For the views, the dialogs and the export (user-interface thread) ----
  // Brings the analysis up to date for the copied selection. False, with *message (may be null) saying
  // why, when the selection cannot be analysed or no breath was found.
  bool EnsureAnalysis(std::wstring* message);
  // Runs a pending analysis now (forced) when a view is being set up while it is out of date.
  void RunAnalysisIfOutOfDate();
  // The volume (L) of the volume channel a number of seconds after a position; false when that point lies
  // at or beyond the end of the block or of the analysed selection, or cannot be read.
  bool VolumeAfter(DataPosition position, double seconds, double* volume);
  // Clamps and stores the eight values (an unsupported unit prefix keeps the old one), pushes the prefix
  // and the noise floor into the channels' calculations, re-analyses for open views and tells the host
  // and the views. Always true.
  bool ApplySettings(double forcedExpThres, double detectionLevel, bool includeNonForced, std::int32_t flowChannel,
                     std::int32_t volumeChannel, std::int32_t flowUnitsPrefix, double noiseFloor, bool applyNoiseFloor);
  bool ApplySettings(const SpConfig& values);

  const SpConfig& CurrentSettings() const { return mSettings->Record(); }
  const Settings& SettingsObject() const { return *mSettings; }
  const BreathAnalysis& Analysis() const { return mAnalysis; }
  DataPosition SelectionStart() const { return mSelectionStart; }
  DataPosition SelectionEnd() const { return mSelectionEnd; }
  bool DataViewValid() const { return mDataViewValid; }
  const std::wstring& DataViewMessage() const { return mDataViewMessage; }
  bool AnalysisValid() const { return mAnalysisValid; }
  const std::wstring& AnalysisMessage() const { return mAnalysisMessage; }
  bool AnalysisOutOfDate() const { return mAnalysisOutOfDate; }
  const std::vector<std::int32_t>& FlowChannels() const { return mFlowChannels; }
  const std::vector<std::int32_t>& VolumeChannels() const { return mVolumeChannels; }
  const FlowCalculationMirror& FlowMirror() const { return mFlowMirror; }
  const VolumeCalculationMirror& VolumeMirror() const { return mVolumeMirror; }
  // Worked out from the selection and settings of the last refresh when first asked for.
  double CalculatedVolumeRatio() const;
  // Null once the host has closed the document.
  IHostDocument* Host() const { return mHost.Get(); }
  IChannelData* Data() const { return mData.Get(); }
  // What the detection level of the current flow channel is a percentage of (also for the preview).
  DetectionSource CurrentDetectionSource() const;
  // The same for another flow channel (the settings dialog's edited one).
  DetectionSource DetectionSourceOf(std::int32_t flowChannel) const;
  // Seconds between two positions, as the host times them.
  double TimeBetween(DataPosition from, DataPosition to) const;

  // ---- The automatic detection level and the clinical standard's measures (spiro_document_standard.cpp) ----
  // Turns the automatic detection level on or off as a settings change: stored, analysed again, announced.
  void UseAutomaticDetectionLevel(bool on);
  // Turns the standard's section of the report on or off as a settings change: stored and announced.
  void UseStandardReport(bool on);
  // Every forced expiration of the current analysis measured on the volume channel (call EnsureAnalysis
  // first); a curve that cannot be read gives a manoeuvre that is not measured. Measured once per analysis.
  std::shared_ptr<const ForcedTestResults> ForcedExpirations() { return mResults.Forced(); }
  // What is worked out from the current analysis (call EnsureAnalysis first).
  AnalysisResults& Results() { return mResults; }
  // Whether the report adds the section of those measures.
  bool StandardReport() const { return mSettings->StandardReport; }

  // Copies the host selection, rebuilds the channel lists, validates, marks the analysis out of date,
  // updates open views and re-reads the calculation mirrors.
  void Refresh();
  // The selection test of the views; *message (may be null) says why it fails, empty when it passes.
  bool ValidateSelection(bool severalBlocks, std::wstring* message);

  // ---- ICustomDocument ----
  HRESULT GetDocumentType(Guid* type) override;
  HRESULT OnEvent(const Guid& eventSet, std::int32_t code) override;
  HRESULT ExecuteCommand(std::uint32_t commandId) override;
  HRESULT UpdateCommand(std::uint32_t commandId, Bool16* enabled) override;
  HRESULT HandleMessage(const void* record, std::int32_t size) override;
  HRESULT GetPersistentObject(std::int32_t kind, IPersist** object) override;
  HRESULT Close() override;

  // ---- ISpiroDocument ----
  HRESULT SetFlowHeadPreset(std::int32_t preset) override;
  HRESULT SetCustomHeadScale(double scale) override;
  HRESULT SetUseCustomHeadScale(Bool16 on) override;
  HRESULT SetDriftCorrection(Bool16 on) override;
  HRESULT SetNonLinearCompensation(Bool16 on) override;
  HRESULT GetFlowHeadPreset(std::int32_t* preset) override;
  HRESULT GetCustomHeadScale(double* scale) override;
  HRESULT GetUseCustomHeadScale(Bool16* on) override;
  HRESULT GetDriftCorrection(Bool16* on) override;
  HRESULT GetNonLinearCompensation(Bool16* on) override;
  HRESULT SetDeadSpace(double deadSpace) override;
  HRESULT SetVolumeCorrection(Bool16 on) override;
  HRESULT SetVolumeRatio(double ratio) override;
  HRESULT GetDeadSpace(double* deadSpace) override;
  HRESULT GetVolumeCorrection(Bool16* on) override;
  HRESULT GetVolumeRatio(double* ratio) override;
  HRESULT GetCalculatedVolumeRatio(double* ratio) override;
  HRESULT GetVolumeRatioRange(double* min, double* max) override;
  HRESULT GetDefaultVolumeRatio(double* ratio) override;
  HRESULT GetDeadSpaceRange(double* min, double* max) override;
  HRESULT GetDefaultDeadSpace(double* deadSpace) override;
  HRESULT SetDetectionLevel(double percentOfFullRange) override;
  HRESULT SetForcedExpThres(double timesAverage) override;
  HRESULT SetIncludeNonForced(Bool16 on) override;
  HRESULT GetDetectionLevel(double* level) override;
  HRESULT GetForcedExpThres(double* threshold) override;
  HRESULT GetIncludeNonForced(Bool16* on) override;
  HRESULT SetRawFlowChannel(std::int32_t channel) override;
  HRESULT GetRawFlowChannel(std::int32_t* channel) override;
  HRESULT SetVolumeFlowChannel(std::int32_t channel) override;
  HRESULT GetVolumeFlowChannel(std::int32_t* channel) override;
  HRESULT SetFlowChannel(std::int32_t channel) override;
  HRESULT SetVolumeChannel(std::int32_t channel) override;
  HRESULT GetFlowChannel(std::int32_t* channel) override;
  HRESULT GetVolumeChannel(std::int32_t* channel) override;
  HRESULT GetFlowChannels(std::int32_t* count, std::int32_t** channels) override;
  HRESULT GetVolumeChannels(std::int32_t* count, std::int32_t** channels) override;

  // ---- ISpiroResults ----
  HRESULT EnsureAnalysis(Bool16* ok, std::wstring* message) override;
  HRESULT GetSettings(SpiroSettingsRecord* settings) override;
  HRESULT GetRequestedSelection(DataPosition* start, DataPosition* end) override;
  HRESULT GetValidity(Bool16* dataViewValid, std::wstring* dataViewMessage, Bool16* analysisValid,
                      std::wstring* analysisMessage) override;
  HRESULT GetBreathCount(std::int32_t* count) override;
  HRESULT GetBreath(std::int32_t index, SpiroBreathRecord* breath) override;
  HRESULT GetBreathParameters(std::int32_t index, SpiroBreathParameters* parameters) override;
  HRESULT GetSummary(SpiroSummary* summary) override;

  // ---- ISpiroResults2 ----
  HRESULT GetDetection(SpiroDetectionRecord* detection) override;
  HRESULT SetAutomaticDetectionLevel(Bool16 on) override;
  HRESULT GetForcedManoeuvres(std::vector<SpiroManoeuvreRecord>* manoeuvres, SpiroForcedTestRecord* test) override;
  HRESULT SetStandardReport(Bool16 on) override;

  // ---- ISpiroResults3 ----
  HRESULT GetMissingFlowSamples(DataPosition* start, DataPosition* end, std::int32_t* flowChannel,
                                std::int64_t* count) override;

  // ---- ISpiroMeasures ----
  HRESULT GetMeasureCount(std::int32_t kind, std::int32_t* count) override;
  HRESULT GetMeasureInfo(std::int32_t kind, std::int32_t index, SpiroMeasureInfo* info) override;
  HRESULT GetItemCount(std::int32_t kind, std::int32_t* count) override;
  HRESULT GetMeasureValue(std::int32_t kind, std::int32_t index, std::int32_t item, SpiroMeasureValue* value) override;

 private:
  ~SpiroDocument() override = default;

  void OnInitial();
  void RunSettingsDialogCommand();
  void HandleSettingsCommand();
  void UpdateViews(bool force);
  // After a change of the settings or of the channels' calculations: validates the selection again and
  // marks the analysis out of date; ResultsChanged also re-analyses for open views.
  void MarkResultsStale();
  void ResultsChanged();
  void Attach();
  // The forced expirations of the current analysis, read from the volume channel.
  ForcedTestResults MeasureForcedExpirations();
  bool AnyViewOpen();
  std::uint32_t FullId(std::uint32_t local) const { return (static_cast<std::uint32_t>(mNamespace) << 16) | local; }
  // The local id of a command of this document (menu ids included), or nothing.
  bool LocalCommand(std::uint32_t commandId, std::uint32_t* local) const;

  // Channel lists and validation (spiro_document_selection.cpp).
  void RebuildChannelLists();
  void CopySelection();

  // Calculation mirrors (spiro_document_calculations.cpp).
  void ReadMirrors();
  void ReadMirrorsFrom(std::int32_t channel);
  void PushFlowMirror();
  void PushVolumeMirror();
  void PushUnitsToCalculations();
  std::int32_t CalculationKindOf(std::int32_t channel) const;

  ComPtr<IHostDocument> mHost;
  ComPtr<IChannelData> mData;
  std::uint16_t mNamespace = 0;
  ComPtr<Settings> mSettings;
  BreathAnalysis mAnalysis;
  AnalysisResults mResults;
  std::vector<std::int32_t> mFlowChannels;
  std::vector<std::int32_t> mVolumeChannels;
  DataPosition mSelectionStart, mSelectionEnd;
  bool mDataViewValid = false;
  std::wstring mDataViewMessage;
  bool mAnalysisValid = false;
  std::wstring mAnalysisMessage;
  bool mAnalysisOutOfDate = true;
  FlowCalculationMirror mFlowMirror;
  VolumeCalculationMirror mVolumeMirror;
  // The calculated volume ratio reads the whole selection, so a refresh only notes what it is to be of.
  struct VolumeRatioRequest {
    DataPosition start, end;
    std::int32_t flowChannel = 0, correctionType = 0;
    double deadSpaceMl = 0.0;
  };
  mutable std::optional<VolumeRatioRequest> mPendingVolumeRatio;
  // The volume channel's reader that VolumeAfter reads on from: the breaths are asked for in order, and a
  // calculated volume opened afresh for each sample integrates from its nearest checkpoint every time.
  // Dropped whenever the settings, the channels or the data may have changed, and with each analysis.
  struct VolumeReader {
    ComPtr<IEnumFloatEx> reader;
    std::int32_t channel = 0, block = 0;
    std::int64_t length = 0;
  };
  VolumeReader mVolumeReader;
  // The data, the settings or the analysis may have changed: what was read from the channels is read again.
  void ForgetReadings() {
    mVolumeReader = VolumeReader{};
    mResults.Forget();
  }
  bool ReadVolumeSample(std::int32_t channel, std::int32_t block, std::int64_t length, std::int64_t tick,
                        float* sample);
  mutable double mCalculatedVolumeRatio = 1.0;
  std::uintptr_t mHostWindow = 0;
  bool mHostWindowFetched = false;
};

}  // namespace Spirometry
