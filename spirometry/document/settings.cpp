#include "spirometry/document/settings.h"

#include <string>

#include "host/com/binary_stream.h"
#include "host/com/text.h"
#include "spirometry/document/ispiro_document.h"

namespace Spirometry {

bool SpConfig::operator==(const SpConfig& o) const {
  return FlowChannel == o.FlowChannel && VolumeChannel == o.VolumeChannel && DetectionLevel == o.DetectionLevel &&
         ForcedExpThres == o.ForcedExpThres && IncludeNonForced == o.IncludeNonForced &&
         ApplyNoiseFloor == o.ApplyNoiseFloor && NoiseFloor == o.NoiseFloor && FlowUnitsPrefix == o.FlowUnitsPrefix &&
         AutoDetectionLevel == o.AutoDetectionLevel;
}

HRESULT Settings::GetClassID(Guid* classId) {
  if (!classId) return E_POINTER;
  *classId = kSpiroDocumentGuid;
  return S_OK;
}

HRESULT Settings::IsDirty() { return mDirty ? S_OK : S_FALSE; }

HRESULT Settings::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  try {
    BinaryStream in(stream);
    // The stream may end anywhere: every field starts from its current value and keeps it when its read
    // fails (the binary stream leaves the target untouched and skips every later read).
    std::int32_t version = 0;
    in.ReadInt32(version);
    if (version > kVersion) return KYM_E_NEWER_VERSION;

    SpConfig next = *this;
    if (version >= 2) {
      std::int32_t includeNonForced = next.IncludeNonForced ? 1 : 0;
      in.ReadInt32(next.FlowChannel)
          .ReadInt32(next.VolumeChannel)
          .ReadDouble(next.DetectionLevel)
          .ReadDouble(next.ForcedExpThres)
          .ReadInt32(includeNonForced);
      next.IncludeNonForced = includeNonForced != 0;
    }
    if (version >= 3) {
      std::uint8_t applyNoiseFloor = next.ApplyNoiseFloor ? 1 : 0;
      in.ReadByte(applyNoiseFloor).ReadDouble(next.NoiseFloor);
      next.ApplyNoiseFloor = applyNoiseFloor != 0;
      std::int32_t prefix = 0;
      if (in.ReadInt32(prefix).Ok())
        next.FlowUnitsPrefix = prefix;
      else
        next.FlowUnitsPrefix = kDefaultFlowUnitsPrefix;
      std::wstring reserved;
      if (in.ReadString(reserved).Ok()) next.AutoDetectionLevel = EqualsNoCase(reserved, kAutoDetectionLevelText);
    }
    Record() = next;
    mAttached = true;
    mLoaded = true;
    mDirty = false;
    mLoadedVersion = version;
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT Settings::Save(IStream* stream, Bool16 clearDirty) {
  if (!stream) return E_POINTER;
  try {
    BinaryStream out(stream);
    out.WriteInt32(kVersion)
        .WriteInt32(FlowChannel)
        .WriteInt32(VolumeChannel)
        .WriteDouble(DetectionLevel)
        .WriteDouble(ForcedExpThres)
        .WriteInt32(IncludeNonForced ? 1 : 0)
        .WriteByte(ApplyNoiseFloor ? 1 : 0)
        .WriteDouble(NoiseFloor)
        .WriteInt32(FlowUnitsPrefix)
        .WriteString(AutoDetectionLevel ? std::wstring(kAutoDetectionLevelText) : std::wstring());
    if (clearDirty) mDirty = false;
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT Settings::GetSizeMax(std::uint64_t* size) {
  if (size) *size = 0;
  return E_NOTIMPL;
}

HRESULT Settings::InitNew() { return S_OK; }

}  // namespace Spirometry
