#pragma once
// The results of the spirometry document's breath analysis for front ends that do not link the extension
// (the command line, scripts): plain records only.
//
// Implemented by the extension's spirometry document; obtained by QueryInterface on the document the host
// frame holds for the type Spirometry::kSpiroDocumentGuid. Called on the host's user-interface thread.
// Volumes are in litres and flows in litres per second whatever the channels' unit prefixes; a front end
// shows them multiplied by the factor of the FlowUnitsPrefix setting. Times are in seconds. Channel and
// block indices are zero-based. Every out-pointer must be non-null (E_POINTER otherwise).
#include <cstdint>
#include <string>

#include "host/data/data_position.h"
#include "spirometry/document/ispiro_document.h"

namespace Spirometry {

// The eight analysis settings.
struct SpiroSettingsRecord {
  std::int32_t FlowChannel;    // INT32_MIN when not set
  std::int32_t VolumeChannel;  // INT32_MIN when not set
  double DetectionLevel;       // percent of the flow channel's full range
  double ForcedExpThres;       // multiple of the average expired volume
  Bool16 IncludeNonForced;
  double NoiseFloor;  // L/s
  Bool16 ApplyNoiseFloor;
  std::int32_t FlowUnitsPrefix;  // unit prefix code: 6 µL/s, 7 mL/s, 8 L/s
};

// One detected breath, field for field.
struct SpiroBreathRecord {
  double PeakInspiratoryFlow;  // L/s, positive
  double PeakExpiratoryFlow;   // L/s, negative (PEF is its magnitude)
  double MaxVolume;            // L, at the start of expiration
  double MinVolume;            // L, at the end of expiration
  Bool16 IsForced;
  Bool16 IsSingleExpiration;
  DataPosition Start;
  DataPosition End;
  DataPosition MaxVolumePosition;
  DataPosition MinVolumePosition;
  DataPosition PeakInspiratoryFlowPosition;
  DataPosition PeakExpiratoryFlowPosition;
  DataPosition ExpirationStart;
};

// The parameters derived from one breath.
struct SpiroBreathParameters {
  double Ti;             // Start to MaxVolumePosition
  double Te;             // MaxVolumePosition to End
  double Duration;       // Start to End
  double VolumeVtOrFvc;  // MaxVolume - MinVolume: VT of a non-forced breath, FVC of a forced or single one
  double Pif;            // PeakInspiratoryFlow
  double Pef;            // -PeakExpiratoryFlow
  // FEV1 is the volume expired in the first second: from 0 to FVC, and FVC when the expiration ended
  // (MinVolumePosition) sooner. Not available when the second ends beyond the data and the expiration is
  // not known to have ended before it.
  Bool16 Fev1Available;
  double Fev1;         // L; 0 when not available
  double Fev1OverFvc;  // percent; 0 when FEV1 is not available or FVC is 0
};

// Sums over the analysis. The non-forced breaths are those neither forced nor single expirations; they
// alone give VE, the average VT and f, whether or not the report lists them.
struct SpiroSummary {
  double TotalDuration;
  double NonForcedDuration;
  std::int32_t BreathCount;
  std::int32_t NonForcedCount;
  std::int32_t ForcedCount;  // forced and single-expiration breaths
  // VE and the average VT leave out the breaths whose volume is not a finite number; both are NaN when no
  // non-forced breath has one.
  double MinuteVentilation;   // VE, L/s (× 60 for L/min); 0 without non-forced duration
  double AverageTidalVolume;  // L; 0 without non-forced breaths
  double BreathingFrequency;  // f, Hz (× 60 per minute); 0 without non-forced duration
};

}  // namespace Spirometry

struct ISpiroResults : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{A41C7E52-3B90-4D6E-8F21-6C0D9E4B7A15}");

  // Brings the analysis up to date for the document's current selection and settings (detecting again
  // only when something changed). out: *ok kTrue16 when it holds at least one breath; *message the
  // document's analysis message (why there is no analysis), empty on success.
  virtual HRESULT EnsureAnalysis(Bool16* ok, std::wstring* message) = 0;  // slot 3
  // out: the document's current settings.
  virtual HRESULT GetSettings(Spirometry::SpiroSettingsRecord* settings) = 0;  // slot 4
  // out: the selection the analysis was last asked for (kNotSet members before the first analysis).
  virtual HRESULT GetRequestedSelection(DataPosition* start, DataPosition* end) = 0;  // slot 5
  // out: whether the copied selection suits the data window (several blocks allowed) and an analysis
  // (one block), each with the message why not (empty when valid).
  virtual HRESULT GetValidity(Bool16* dataViewValid, std::wstring* dataViewMessage, Bool16* analysisValid,
                              std::wstring* analysisMessage) = 0;  // slot 6
  // out: number of breaths of the current analysis.
  virtual HRESULT GetBreathCount(std::int32_t* count) = 0;  // slot 7
  // in: 0-based index in time order; out: the breath. E_INVALIDARG beyond the list.
  virtual HRESULT GetBreath(std::int32_t index, Spirometry::SpiroBreathRecord* breath) = 0;  // slot 8
  // in: index; out: its derived parameters (reads one volume sample for FEV1). E_INVALIDARG beyond the list.
  virtual HRESULT GetBreathParameters(std::int32_t index, Spirometry::SpiroBreathParameters* parameters) = 0;  // slot 9
  // out: the sums over all breaths of the current analysis.
  virtual HRESULT GetSummary(Spirometry::SpiroSummary* summary) = 0;  // slot 10
};
