#include "spirometry/document/settings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/com/binary_stream.h"
#include "host/com/memory_stream.h"
#include "host/com/text.h"
#include "spirometry/document/ispiro_document.h"

namespace Spirometry {

bool SpConfig::operator==(const SpConfig& o) const {
  return FlowChannel == o.FlowChannel && VolumeChannel == o.VolumeChannel && DetectionLevel == o.DetectionLevel &&
         ForcedExpThres == o.ForcedExpThres && IncludeNonForced == o.IncludeNonForced &&
         ApplyNoiseFloor == o.ApplyNoiseFloor && NoiseFloor == o.NoiseFloor && FlowUnitsPrefix == o.FlowUnitsPrefix &&
         AutoDetectionLevel == o.AutoDetectionLevel && StandardReport == o.StandardReport;
}

HRESULT Settings::GetClassID(Guid* classId) {
  if (!classId) return E_POINTER;
  *classId = kSpiroDocumentGuid;
  return S_OK;
}

HRESULT Settings::IsDirty() { return mDirty ? S_OK : S_FALSE; }

namespace {
// Longest stream read: the layout takes under a hundred bytes with the reserved text this program writes.
constexpr std::size_t kMaxStreamBytes = 1 << 20;
// Bytes of a version 2 stream, and of a version 3 stream up to its noise floor and up to its unit prefix.
constexpr std::uint64_t kVersion2Bytes = 32, kUpToNoiseFloorBytes = 41, kUpToPrefixBytes = 45;

// The rest of the stream, or nothing when it is longer than any settings stream.
std::optional<std::vector<std::uint8_t>> ReadAll(IStream* stream) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[512];
  for (;;) {
    std::uint32_t got = 0;
    const HRESULT hr = stream->Read(chunk, sizeof chunk, &got);
    bytes.insert(bytes.end(), chunk, chunk + (got <= sizeof chunk ? got : 0));
    if (bytes.size() > kMaxStreamBytes) return std::nullopt;
    if (Failed(hr) || got < sizeof chunk) return bytes;
  }
}

bool IsChannel(std::int32_t channel) { return channel == kChannelNotSet || channel >= 0; }

// What a stream of that version can hold. This program writes version 3 and never stores a value outside
// its range there. Version 2 came from earlier programs, whose levels the document brings into range (and
// says so) when it opens; only values that are no level at all are damage in it.
bool HoldsSoundValues(const SpConfig& c, std::int32_t version) {
  if (!IsChannel(c.FlowChannel) || !IsChannel(c.VolumeChannel)) return false;
  if (version == 2) {
    constexpr double kPercentMax = 100.0;
    return c.DetectionLevel > 0.0 && c.DetectionLevel <= kPercentMax && c.ForcedExpThres > 0.0 &&
           std::isfinite(c.ForcedExpThres);
  }
  return c.DetectionLevel >= kDetectionLevelMin && c.DetectionLevel <= kDetectionLevelMax &&
         c.ForcedExpThres >= kForcedExpThresMin && c.ForcedExpThres <= kForcedExpThresMax &&
         IsAdmittedNoiseFloor(c.NoiseFloor) && IsAdmittedFlowUnitsPrefix(c.FlowUnitsPrefix);
}

std::wstring ReservedText(const SpConfig& c) {
  std::wstring text;
  for (const auto& [on, entry] :
       {std::pair{c.AutoDetectionLevel, kAutoDetectionLevelText}, std::pair{c.StandardReport, kStandardReportText}}) {
    if (!on) continue;
    if (!text.empty()) text += kReservedTextSeparator;
    text += entry;
  }
  return text;
}

// Entries this version does not know are passed over.
void ReadReservedText(const std::wstring& text, SpConfig& c) {
  c.AutoDetectionLevel = c.StandardReport = false;
  for (std::size_t from = 0; from <= text.size();) {
    const std::size_t end = std::min(text.find(kReservedTextSeparator, from), text.size());
    const std::wstring entry = text.substr(from, end - from);
    c.AutoDetectionLevel = c.AutoDetectionLevel || EqualsNoCase(entry, kAutoDetectionLevelText);
    c.StandardReport = c.StandardReport || EqualsNoCase(entry, kStandardReportText);
    from = end + 1;
  }
}

// The fields of a version 2 or 3 stream over the current ones; nothing when the stream ends inside a
// field, before the fields of its version, or goes on after them. A version 3 stream may end before its
// unit prefix (then L/s) or before its reserved text.
std::optional<SpConfig> ReadFields(const std::vector<std::uint8_t>& bytes, std::int32_t version, SpConfig c) {
  auto memory = MakeCom<MemoryStream>(bytes);
  BinaryStream in(memory.Get());
  std::int32_t skippedVersion = 0, includeNonForced = 0;
  in.ReadInt32(skippedVersion)
      .ReadInt32(c.FlowChannel)
      .ReadInt32(c.VolumeChannel)
      .ReadDouble(c.DetectionLevel)
      .ReadDouble(c.ForcedExpThres)
      .ReadInt32(includeNonForced);
  c.IncludeNonForced = includeNonForced != 0;
  if (version == 3 && bytes.size() >= kUpToNoiseFloorBytes) {
    std::uint8_t applyNoiseFloor = 0;
    in.ReadByte(applyNoiseFloor).ReadDouble(c.NoiseFloor);
    c.ApplyNoiseFloor = applyNoiseFloor != 0;
    c.FlowUnitsPrefix = kDefaultFlowUnitsPrefix;
    if (bytes.size() >= kUpToPrefixBytes) in.ReadInt32(c.FlowUnitsPrefix);
    std::wstring reserved;
    if (bytes.size() > kUpToPrefixBytes && in.ReadString(reserved).Ok()) ReadReservedText(reserved, c);
  } else if (version == 3) {
    return std::nullopt;
  }
  std::uint64_t position = 0;
  if (!in.Ok() || Failed(memory->Seek(0, IStream::kSeekCur, &position)) || position != bytes.size())
    return std::nullopt;
  if (version == 2 && bytes.size() != kVersion2Bytes) return std::nullopt;
  return c;
}
}  // namespace

HRESULT Settings::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  try {
    // Read whole and checked before anything is taken: a damaged stream is refused, and the record,
    // the flags and the version stay as they were.
    const auto bytes = ReadAll(stream);
    if (!bytes || bytes->size() < sizeof(std::int32_t)) return E_FAIL;
    std::int32_t version = 0;
    std::memcpy(&version, bytes->data(), sizeof version);
    if (version > kVersion) return KYM_E_NEWER_VERSION;
    if (version < 0) return E_FAIL;

    SpConfig next = *this;
    if (version >= 2) {
      const auto read = ReadFields(*bytes, version, next);
      if (!read || !HoldsSoundValues(*read, version)) return E_FAIL;
      next = *read;
    } else if (bytes->size() != sizeof(std::int32_t)) {
      return E_FAIL;  // versions 0 and 1 held nothing but their number
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
        .WriteString(ReservedText(*this));
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
