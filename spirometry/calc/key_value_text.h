#pragma once
// Values of the KEY=VALUE settings of the command line: switches "on"/"off", numbers in the classic locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace Spirometry
