#pragma once
// The "SpirometrySettings" scripting message (message 2 of the document's namespace), which sets all eight
// analysis settings at once, and the older five-value settings message (message 1): their records and the
// message class the host's scripting lists and builds the message through.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/com/com_object.h"
#include "host/frame/imessage_class.h"
#include "spirometry/document/settings.h"

namespace Spirometry {

// Each parameter's type as one nibble, lowest first (3 double, 1 bool, 2 int32), after a 12-byte head of
// message id, reserved word and this tag.
inline constexpr std::int32_t kSettingsMessageLayoutTag = 0x13222133;
inline constexpr std::int32_t kFiveValueMessageLayoutTag = 0x00022133;
inline constexpr std::int32_t kSettingsMessageBytes = 56;
inline constexpr std::int32_t kFiveValueMessageBytes = 40;
// A script may also name the automatic detection level (a switch, not one of the eight listed values): the
// record then carries it in one more int32 after the eight, and a record without it leaves it as it is.
inline constexpr const wchar_t* kAutoDetectionLevelValueName = L"AutoDetectionLevel";
inline constexpr std::int32_t kSettingsMessageWithAutoBytes = kSettingsMessageBytes + 4;

// With carryAutomatic the record also holds values.AutoDetectionLevel.
std::vector<std::uint8_t> EncodeSettingsMessage(std::uint32_t messageId, const SpConfig& values,
                                                bool carryAutomatic = false);
std::vector<std::uint8_t> EncodeFiveValueMessage(std::uint32_t messageId, const SpConfig& values);
// The values of a record; nothing when it is too short. The five-value record gives the unit prefix 8,
// noise floor 0.0 and the noise-floor switch off.
std::optional<SpConfig> DecodeSettingsMessage(const void* record, std::int32_t size);
std::optional<SpConfig> DecodeFiveValueMessage(const void* record, std::int32_t size);
// The automatic level a settings record carries (non-zero is on); nothing when it carries none.
std::optional<bool> DecodeAutomaticLevel(const void* record, std::int32_t size);

class SettingsMessageClass final : public ComObject<IMessageClass> {
 public:
  HRESULT GetMessageId(Guid* nameSpace, std::int32_t* localId) override;
  HRESULT GetClassRecord(std::wstring* name, std::wstring* group, std::wstring* description) override;
  HRESULT GetParamCount(std::int32_t* count) override;
  HRESULT GetParam(std::int32_t index, std::wstring* name, std::int32_t* type, std::wstring* description,
                   double* defaultValue) override;
  HRESULT BuildMessage(std::uint32_t messageId, std::int32_t count, const MessageValue* values,
                       std::vector<std::uint8_t>* record) override;
  HRESULT GetParamDescriptionText(std::wstring* text) override;
};

}  // namespace Spirometry
