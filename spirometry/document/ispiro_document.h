#pragma once
// The spirometry document as other components see it: the identity of the document type and the two
// interfaces it answers besides the host's custom-document interface.
//
// Implemented by the extension (Spirometry::SpiroDocument); called on the host's user-interface thread by
// the extension's views and dialogs and by front ends that drive the document. Booleans are 16-bit
// (kTrue16 / kFalse16). Every operation returns S_OK unless stated otherwise.
#include <cstdint>

#include "host/com/iunknown.h"

namespace Spirometry {

// SpiroDocumentGUID: the document type, the namespace of the document's commands and messages, and the
// persistence class id of its settings stream.
inline constexpr Guid kSpiroDocumentGuid = Guid::Parse("{F346E2BC-9D05-4E49-9B14-70B768A43E92}");

// Local ids in that namespace (full id: (namespace index << 16) | local id).
inline constexpr std::uint32_t kLocalCommandSettings = 1;
inline constexpr std::uint32_t kLocalCommandFlowVolumeView = 2;
inline constexpr std::uint32_t kLocalCommandDataView = 3;
inline constexpr std::uint32_t kLocalCommandReportView = 4;
inline constexpr std::uint32_t kLocalMessageSettingsDialog = 0;
inline constexpr std::uint32_t kLocalMessageFiveValueSettings = 1;
inline constexpr std::uint32_t kLocalMessageSpirometrySettings = 2;

// The classes of the document's views (registered by the views' own files).
inline constexpr Guid kDataViewClassId = Guid::Parse("{F0583045-9581-11D3-A6F0-005004D0F872}");
inline constexpr Guid kFlowVolumeViewClassId = Guid::Parse("{E053ECE5-9572-11D3-A6F0-005004D0F872}");
inline constexpr Guid kReportViewClassId = Guid::Parse("{987ECA74-9593-11D3-A6F0-005004D0F872}");

}  // namespace Spirometry

// Recognises the spirometry document: only the reference-counting operations. A query for it succeeding
// means the object is a Spirometry::SpiroDocument of this module.
struct ISpiroDocInterface : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{219B460E-D651-4606-AAFD-9F8441117D7F}");
};

// The document's settings and the parameters of its flow and volume calculations, for the settings and
// setup dialogs. "Pushing" means: the document copies what it mirrors of the calculation into the
// settings of the SpFlow calculation of its flow channel (or the SpVol calculation of its volume channel)
// together with the unit prefix (and, for flow, the noise floor and its switch) and has the host apply
// them; a channel without that calculation is left alone.
struct ISpiroDocument : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{5C217DB9-4561-4D48-9C69-FD83D06F6D52}");

  // Flow calculation mirror. in: the value; sets the mirror and pushes it to the flow calculation.
  virtual HRESULT SetFlowHeadPreset(std::int32_t preset) = 0;  // slot 3: row of the flow-head table
  virtual HRESULT SetCustomHeadScale(double scale) = 0;        // slot 4: L/s per V
  virtual HRESULT SetUseCustomHeadScale(Bool16 on) = 0;        // slot 5
  virtual HRESULT SetDriftCorrection(Bool16 on) = 0;           // slot 6
  virtual HRESULT SetNonLinearCompensation(Bool16 on) = 0;     // slot 7
  // out: the mirrored values (E_POINTER when the out-pointer is null).
  virtual HRESULT GetFlowHeadPreset(std::int32_t* preset) = 0;  // slot 8
  virtual HRESULT GetCustomHeadScale(double* scale) = 0;        // slot 9
  virtual HRESULT GetUseCustomHeadScale(Bool16* on) = 0;        // slot 10
  virtual HRESULT GetDriftCorrection(Bool16* on) = 0;           // slot 11
  virtual HRESULT GetNonLinearCompensation(Bool16* on) = 0;     // slot 12

  // Volume calculation mirror. in: the value (dead space in mL, clamped to 0..10000; ratio clamped to
  // 0.01..10); sets the mirror and pushes it to the volume calculation.
  virtual HRESULT SetDeadSpace(double deadSpace) = 0;   // slot 13
  virtual HRESULT SetVolumeCorrection(Bool16 on) = 0;   // slot 14
  virtual HRESULT SetVolumeRatio(double ratio) = 0;     // slot 15
  virtual HRESULT GetDeadSpace(double* deadSpace) = 0;  // slot 16
  virtual HRESULT GetVolumeCorrection(Bool16* on) = 0;  // slot 17
  virtual HRESULT GetVolumeRatio(double* ratio) = 0;    // slot 18
  // out: the volume ratio computed from the current selection at the last refresh (1.0 when none).
  virtual HRESULT GetCalculatedVolumeRatio(double* ratio) = 0;        // slot 19
  virtual HRESULT GetVolumeRatioRange(double* min, double* max) = 0;  // slot 20: 0.01, 10.0
  virtual HRESULT GetDefaultVolumeRatio(double* ratio) = 0;           // slot 21: 1.0
  virtual HRESULT GetDeadSpaceRange(double* min, double* max) = 0;    // slot 22: 0.0, 10000.0
  virtual HRESULT GetDefaultDeadSpace(double* deadSpace) = 0;         // slot 23: 400.0

  // Analysis settings. Each applies the value with the other settings' current values, but with the unit
  // prefix 8 (L/s), noise floor 0.0 and noise-floor switch off, so it also resets those three. Out-of-range
  // levels are clamped and announced to the user through the host's message box.
  virtual HRESULT SetDetectionLevel(double percentOfFullRange) = 0;  // slot 24
  virtual HRESULT SetForcedExpThres(double timesAverage) = 0;        // slot 25
  virtual HRESULT SetIncludeNonForced(Bool16 on) = 0;                // slot 26
  virtual HRESULT GetDetectionLevel(double* level) = 0;              // slot 27
  virtual HRESULT GetForcedExpThres(double* threshold) = 0;          // slot 28
  virtual HRESULT GetIncludeNonForced(Bool16* on) = 0;               // slot 29

  // Mirror only: nothing is pushed.
  virtual HRESULT SetRawFlowChannel(std::int32_t channel) = 0;      // slot 30
  virtual HRESULT GetRawFlowChannel(std::int32_t* channel) = 0;     // slot 31
  virtual HRESULT SetVolumeFlowChannel(std::int32_t channel) = 0;   // slot 32
  virtual HRESULT GetVolumeFlowChannel(std::int32_t* channel) = 0;  // slot 33

  // Applies the channel (zero-based) like slots 24 to 26.
  virtual HRESULT SetFlowChannel(std::int32_t channel) = 0;     // slot 34
  virtual HRESULT SetVolumeChannel(std::int32_t channel) = 0;   // slot 35
  virtual HRESULT GetFlowChannel(std::int32_t* channel) = 0;    // slot 36
  virtual HRESULT GetVolumeChannel(std::int32_t* channel) = 0;  // slot 37
  // out: *count, the number of channels that can serve as flow (volume); *channels, a new array of
  // *count zero-based channel indices allocated with new[] (the caller frees it with delete[]). An array
  // the caller passes in is freed with delete[] and replaced. E_FAIL when channels is null (the count is
  // set all the same).
  virtual HRESULT GetFlowChannels(std::int32_t* count, std::int32_t** channels) = 0;    // slot 38
  virtual HRESULT GetVolumeChannels(std::int32_t* count, std::int32_t** channels) = 0;  // slot 39
};
