#include "spirometry/calc/key_value_text.h"

#include <charconv>
#include <cmath>

#include "host/com/text.h"

namespace Spirometry {

std::optional<bool> ParseSwitch(std::wstring_view value) {
  if (EqualsNoCase(value, L"on")) return true;
  if (EqualsNoCase(value, L"off")) return false;
  return std::nullopt;
}

std::optional<double> ParseNumber(std::wstring_view value) {
  std::string text = ToUtf8(value);
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  if (*first == '+') ++first;
  double v = 0;
  auto [end, ec] = std::from_chars(first, text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<std::int64_t> ParseWholeNumber(std::wstring_view value) {
  std::string text = ToUtf8(value);
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  if (*first == '+') ++first;
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(first, text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

std::wstring SwitchText(bool on) { return on ? L"on" : L"off"; }

std::wstring NumberText(double value) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  return ec == std::errc() ? FromUtf8(std::string_view(buf, static_cast<std::size_t>(end - buf))) : L"?";
}

std::wstring ChannelText(std::int32_t channel) {
  return channel < 0 ? std::wstring(L"none") : std::to_wstring(std::int64_t{channel} + 1);
}

}  // namespace Spirometry
