#include "spirometry/document/settings_message.h"

#include <cmath>
#include <cstring>

#include "host/com/text.h"
#include "spirometry/document/ispiro_document.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {

namespace {
// Offsets of the values after the 12-byte head; the five-value record is the first five of them.
constexpr std::size_t kIdOffset = 0, kReservedOffset = 4, kTagOffset = 8;
constexpr std::size_t kForcedExpThres = 12, kDetectionLevel = 20, kIncludeNonForced = 28, kFlowChannel = 32;
constexpr std::size_t kVolumeChannel = 36, kFlowUnitsPrefix = 40, kNoiseFloor = 44, kApplyNoiseFloor = 52;
constexpr std::size_t kAutoDetectionLevel = kSettingsMessageBytes;

enum class Param {
  kForcedExpThres,
  kDetectionLevel,
  kIncludeNonForced,
  kFlowChannel,
  kVolumeChannel,
  kFlowUnitsPrefix,
  kNoiseFloor,
  kApplyNoiseFloor
};

struct ParamInfo {
  const wchar_t* name;
  std::int32_t type;
  const wchar_t* description;
};

constexpr ParamInfo kParams[] = {
    {L"ForcedExpThres", MessageParamType::kDouble, L"ForcedExpThres - forced expiration threshold (in L/s)"},
    {L"DetectionLevel", MessageParamType::kDouble, L"DetectionLevel - fraction of full range"},
    {L"IncludeNonForced", MessageParamType::kBool,
     L"IncludeNonForced - include non-forced breaths in Spirometry report"},
    {L"FlowChannel", MessageParamType::kInt32, L"FlowChannel - flow channel"},
    {L"VolumeChannel", MessageParamType::kInt32, L"VolumeChannel - volume channel"},
    {L"FlowUnitsPrefix", MessageParamType::kInt32,
     L"FlowUnitsPrefix - flow calculation output units prefix ( 6 => uL/s, 7 => mL/s, 8 => L/s,)"},
    {L"NoiseFloor", MessageParamType::kDouble,
     L"NoiseFloor - flow values less than this in absolute value are clamped to 0 (L/s)"},
    {L"ApplyNoiseFloor", MessageParamType::kBool,
     L"ApplyNoiseFloor - if true clamp flows values to zero if outside the noisefloor"},
};
constexpr std::int32_t kParamCount = static_cast<std::int32_t>(std::size(kParams));

template <class T>
void Put(std::vector<std::uint8_t>& record, std::size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}
template <class T>
T Get(const void* record, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const std::uint8_t*>(record) + offset, sizeof value);
  return value;
}

std::vector<std::uint8_t> Head(std::uint32_t messageId, std::int32_t size, std::int32_t tag) {
  std::vector<std::uint8_t> record(static_cast<std::size_t>(size), 0);
  Put(record, kIdOffset, messageId);
  Put(record, kReservedOffset, std::int32_t{0});
  Put(record, kTagOffset, tag);
  return record;
}

void PutFiveValues(std::vector<std::uint8_t>& record, const SpConfig& v) {
  Put(record, kForcedExpThres, v.ForcedExpThres);
  Put(record, kDetectionLevel, v.DetectionLevel);
  Put(record, kIncludeNonForced, std::int32_t{v.IncludeNonForced ? 1 : 0});
  Put(record, kFlowChannel, v.FlowChannel);
  Put(record, kVolumeChannel, v.VolumeChannel);
}

SpConfig GetFiveValues(const void* record) {
  SpConfig v;
  v.ForcedExpThres = Get<double>(record, kForcedExpThres);
  v.DetectionLevel = Get<double>(record, kDetectionLevel);
  v.IncludeNonForced = Get<std::int32_t>(record, kIncludeNonForced) != 0;
  v.FlowChannel = Get<std::int32_t>(record, kFlowChannel);
  v.VolumeChannel = Get<std::int32_t>(record, kVolumeChannel);
  v.FlowUnitsPrefix = kDefaultFlowUnitsPrefix;
  v.NoiseFloor = 0.0;
  v.ApplyNoiseFloor = false;
  return v;
}

// A script's number as an int32 parameter: whole and in range, or refused.
bool ToInt32(double value, std::int32_t* out) {
  if (!std::isfinite(value) || value != std::trunc(value) || value < INT32_MIN || value > INT32_MAX) return false;
  *out = static_cast<std::int32_t>(value);
  return true;
}

Qor::StaticMessageClass<SettingsMessageClass> gSettingsMessageClass;
}  // namespace

std::vector<std::uint8_t> EncodeSettingsMessage(std::uint32_t messageId, const SpConfig& values, bool carryAutomatic) {
  auto record = Head(messageId, carryAutomatic ? kSettingsMessageWithAutoBytes : kSettingsMessageBytes,
                     kSettingsMessageLayoutTag);
  PutFiveValues(record, values);
  Put(record, kFlowUnitsPrefix, values.FlowUnitsPrefix);
  Put(record, kNoiseFloor, values.NoiseFloor);
  Put(record, kApplyNoiseFloor, std::int32_t{values.ApplyNoiseFloor ? 1 : 0});
  if (carryAutomatic) Put(record, kAutoDetectionLevel, std::int32_t{values.AutoDetectionLevel ? 1 : 0});
  return record;
}

std::vector<std::uint8_t> EncodeFiveValueMessage(std::uint32_t messageId, const SpConfig& values) {
  auto record = Head(messageId, kFiveValueMessageBytes, kFiveValueMessageLayoutTag);
  PutFiveValues(record, values);
  return record;
}

std::optional<SpConfig> DecodeSettingsMessage(const void* record, std::int32_t size) {
  if (!record || size < kSettingsMessageBytes) return std::nullopt;
  SpConfig v = GetFiveValues(record);
  v.FlowUnitsPrefix = Get<std::int32_t>(record, kFlowUnitsPrefix);
  v.NoiseFloor = Get<double>(record, kNoiseFloor);
  v.ApplyNoiseFloor = Get<std::int32_t>(record, kApplyNoiseFloor) != 0;
  return v;
}

std::optional<SpConfig> DecodeFiveValueMessage(const void* record, std::int32_t size) {
  if (!record || size < kFiveValueMessageBytes) return std::nullopt;
  return GetFiveValues(record);
}

std::optional<bool> DecodeAutomaticLevel(const void* record, std::int32_t size) {
  if (!record || size < kSettingsMessageWithAutoBytes) return std::nullopt;
  return Get<std::int32_t>(record, kAutoDetectionLevel) != 0;
}

HRESULT SettingsMessageClass::GetMessageId(Guid* nameSpace, std::int32_t* localId) {
  if (!nameSpace || !localId) return E_POINTER;
  *nameSpace = kSpiroDocumentGuid;
  *localId = static_cast<std::int32_t>(kLocalMessageSpirometrySettings);
  return S_OK;
}

HRESULT SettingsMessageClass::GetClassRecord(std::wstring* name, std::wstring* group, std::wstring* description) {
  if (!name || !group || !description) return E_POINTER;
  try {
    *name = L"SpirometrySettings";
    *group = L"Spirometry";
    *description = L"Sets the spirometry settings found in the Spirometry Settings Dialog";
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SettingsMessageClass::GetParamCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = kParamCount;
  return S_OK;
}

HRESULT SettingsMessageClass::GetParam(std::int32_t index, std::wstring* name, std::int32_t* type,
                                       std::wstring* description, double* defaultValue) {
  if (!name || !type || !description || !defaultValue) return E_POINTER;
  if (index < 0 || index >= kParamCount) return E_INVALIDARG;
  try {
    const ParamInfo& p = kParams[index];
    *name = p.name;
    *type = p.type;
    *description = p.description;
    *defaultValue = 0.0;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SettingsMessageClass::BuildMessage(std::uint32_t messageId, std::int32_t count, const MessageValue* values,
                                           std::vector<std::uint8_t>* record) {
  if (!record) return E_POINTER;
  record->clear();
  if (count < 0 || (count > 0 && !values)) return E_INVALIDARG;
  try {
    // Parameters the script leaves out are zero, as the class says of every default.
    SpConfig v;
    v.ForcedExpThres = v.DetectionLevel = v.NoiseFloor = 0.0;
    v.IncludeNonForced = v.ApplyNoiseFloor = false;
    v.FlowChannel = v.VolumeChannel = v.FlowUnitsPrefix = 0;
    bool automaticNamed = false;
    for (std::int32_t i = 0; i < count; ++i) {
      const wchar_t* name = values[i].name ? values[i].name : L"";
      const double x = values[i].value;
      if (EqualsNoCase(name, kAutoDetectionLevelValueName)) {
        automaticNamed = true;
        v.AutoDetectionLevel = x != 0.0;
        continue;
      }
      std::int32_t index = -1;
      for (std::int32_t p = 0; p < kParamCount; ++p)
        if (EqualsNoCase(name, kParams[p].name)) index = p;
      switch (static_cast<Param>(index)) {
        case Param::kForcedExpThres:
          v.ForcedExpThres = x;
          break;
        case Param::kDetectionLevel:
          v.DetectionLevel = x;
          break;
        case Param::kIncludeNonForced:
          v.IncludeNonForced = x != 0.0;
          break;
        case Param::kNoiseFloor:
          v.NoiseFloor = x;
          break;
        case Param::kApplyNoiseFloor:
          v.ApplyNoiseFloor = x != 0.0;
          break;
        case Param::kFlowChannel:
          if (!ToInt32(x, &v.FlowChannel)) return E_INVALIDARG;
          break;
        case Param::kVolumeChannel:
          if (!ToInt32(x, &v.VolumeChannel)) return E_INVALIDARG;
          break;
        case Param::kFlowUnitsPrefix:
          if (!ToInt32(x, &v.FlowUnitsPrefix)) return E_INVALIDARG;
          break;
        default:
          return E_INVALIDARG;
      }
    }
    *record = EncodeSettingsMessage(messageId, v, automaticNamed);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SettingsMessageClass::GetParamDescriptionText(std::wstring* text) {
  if (!text) return E_POINTER;
  try {
    // ViewType names the kind of target: the message addresses the document, not one of its views.
    std::wstring t = L"ViewType=Document";
    for (const auto& p : kParams) {
      t += L", ";
      t += p.name;
      t += p.type == MessageParamType::kDouble ? L"=double" : p.type == MessageParamType::kBool ? L"=bool" : L"=int32";
    }
    // Optional: left out, the automatic level stays as it is.
    t += L", [";
    t += kAutoDetectionLevelValueName;
    t += L"=bool]";
    *text = std::move(t);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Spirometry
