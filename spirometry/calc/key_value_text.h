#pragma once
// Values of the KEY=VALUE settings of the command line: switches "on"/"off", numbers in the classic locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/com/result.h"

namespace Spirometry {

// "on" or "off" (any case).
std::optional<bool> ParseSwitch(std::wstring_view value);
// A finite number written in the classic locale, the whole text.
std::optional<double> ParseNumber(std::wstring_view value);
// A whole number, the whole text.
std::optional<std::int64_t> ParseWholeNumber(std::wstring_view value);

std::wstring SwitchText(bool on);
// Six significant digits in the classic locale (the shortest of plain and exponent notation).
std::wstring NumberText(double value);
// 1-based channel text of a zero-based channel; "none" for a negative channel.
std::wstring ChannelText(std::int32_t channel);

// One KEY=VALUE assignment to a calculation's settings: each setter either sets its field from the value
// and returns S_OK, or leaves the field as it was and returns E_INVALIDARG with the reason in *error
// ("<key> takes <what>, not '<value>'"). Null texts count as empty; error may be null.
class KeyValueAssignment {
 public:
  KeyValueAssignment(const wchar_t* key, const wchar_t* value, std::wstring* error)
      : mKey(key ? key : L""), mValue(value ? value : L""), mError(error) {}

  bool Is(std::wstring_view key) const { return mKey == key; }
  std::wstring_view Value() const { return mValue; }

  HRESULT Refuse(std::wstring_view what) const;
  // "on" or "off".
  HRESULT Switch(bool& field) const;
  // Any finite number.
  HRESULT Number(double& field) const;
  // A number from lo to hi; what names it in the reason.
  HRESULT Ranged(double& field, double lo, double hi, std::wstring_view what) const;
  // A channel number as users write it, 1 to 256 (the settings streams keep channels in one byte); the
  // field takes it zero-based.
  HRESULT Channel(std::int32_t& field) const;
  // The key names no setting of the calculation, which has the settings listed.
  HRESULT Unknown(std::wstring_view calculation, std::wstring_view keys) const;

 private:
  HRESULT Fail(std::wstring why) const;

  std::wstring_view mKey;
  std::wstring_view mValue;
  std::wstring* mError;
};

}  // namespace Spirometry
