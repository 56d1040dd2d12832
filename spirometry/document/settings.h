#pragma once
// The analysis settings of one spirometry document: the plain record SpConfig and Spirometry::Settings,
// which the host stores as the document's stream in the data file.
#include <cfloat>
#include <cstdint>

#include "host/com/com_object.h"
#include "host/com/ipersist_stream_init.h"

namespace Spirometry {

inline constexpr std::int32_t kChannelNotSet = INT32_MIN;

inline constexpr double kDetectionLevelMin = 0.01, kDetectionLevelMax = 10.0, kDefaultDetectionLevel = 1.0;
inline constexpr double kForcedExpThresMin = 0.1, kForcedExpThresMax = 10.0, kDefaultForcedExpThres = 2.0;
inline constexpr std::int32_t kDefaultFlowUnitsPrefix = 8;
// The stream's reserved text holds the settings a reader of the earlier streams does not know, as entries
// joined by kReservedTextSeparator: the automatic detection level and the standard's report section. It is
// empty when neither is on, so that such a stream is byte for byte what it always was.
inline constexpr const wchar_t* kAutoDetectionLevelText = L"DetectionLevel=Auto";
inline constexpr const wchar_t* kStandardReportText = L"StandardReport=On";
inline constexpr wchar_t kReservedTextSeparator = L';';

// True for the unit prefixes the settings admit: 6 µL/s, 7 mL/s, 8 L/s.
constexpr bool IsAdmittedFlowUnitsPrefix(std::int32_t code) { return code >= 6 && code <= 8; }
// A noise floor is a finite magnitude in L/s (zero when there is none).
constexpr bool IsAdmittedNoiseFloor(double litresPerSecond) {
  return litresPerSecond >= 0.0 && litresPerSecond <= DBL_MAX;
}

struct SpConfig {
  std::int32_t FlowChannel = kChannelNotSet;       // zero-based
  std::int32_t VolumeChannel = kChannelNotSet;     // zero-based
  double DetectionLevel = kDefaultDetectionLevel;  // percent of the flow channel's full range
  double ForcedExpThres = kDefaultForcedExpThres;  // multiple of the average expired volume
  bool IncludeNonForced = false;
  double NoiseFloor = 0.0;  // L/s
  bool ApplyNoiseFloor = false;
  std::int32_t FlowUnitsPrefix = kDefaultFlowUnitsPrefix;
  // The detection height is chosen from the flow signal instead of DetectionLevel, which is kept for when
  // this is turned off. Stored in the stream's reserved text, so that the stream keeps version 3 and a
  // reader that does not know it falls back to DetectionLevel.
  bool AutoDetectionLevel = false;
  // The report also shows the ATS/ERS 2019 measures of the forced expirations. Kept in the reserved text too.
  bool StandardReport = false;

  // Exact comparison of every field; the settings dialog's "changed" test.
  bool operator==(const SpConfig& other) const;
};

class Settings final : public ComObject<IPersistStreamInit>, public SpConfig {
 public:
  static constexpr std::int32_t kVersion = 3;

  SpConfig& Record() { return *this; }
  const SpConfig& Record() const { return *this; }

  bool IsAttached() const { return mAttached; }
  void SetAttached() { mAttached = true; }
  bool WasLoaded() const { return mLoaded; }
  bool Dirty() const { return mDirty; }
  void SetDirty() { mDirty = true; }
  // Version of the stream last loaded; 0 when none was.
  std::int32_t LoadedVersion() const { return mLoadedVersion; }

  // IPersist / IPersistStreamInit
  HRESULT GetClassID(Guid* classId) override;
  HRESULT IsDirty() override;
  // Refuses a newer version with KYM_E_NEWER_VERSION, and a damaged stream (cut inside its fields, with
  // bytes after them, or holding values this version never stores) with E_FAIL; a refused stream changes
  // nothing. Versions 0 and 1 hold only their number and leave the record as it is.
  HRESULT Load(IStream* stream) override;
  // Always writes version 3 and succeeds: a stream that refuses bytes is the host's to report.
  HRESULT Save(IStream* stream, Bool16 clearDirty) override;
  HRESULT GetSizeMax(std::uint64_t* size) override;
  HRESULT InitNew() override;

 private:
  bool mAttached = false;
  bool mLoaded = false;
  bool mDirty = false;
  std::int32_t mLoadedVersion = 0;
};

}  // namespace Spirometry
