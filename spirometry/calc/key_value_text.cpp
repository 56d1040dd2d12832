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

HRESULT KeyValueAssignment::Fail(std::wstring why) const {
  if (mError) *mError = std::move(why);
  return E_INVALIDARG;
}

HRESULT KeyValueAssignment::Refuse(std::wstring_view what) const {
  return Fail(std::wstring(mKey) + L" takes " + std::wstring(what) + L", not '" + std::wstring(mValue) + L"'");
}

HRESULT KeyValueAssignment::Switch(bool& field) const {
  auto on = ParseSwitch(mValue);
  if (!on) return Refuse(L"on or off");
  field = *on;
  return S_OK;
}

HRESULT KeyValueAssignment::Number(double& field) const {
  auto v = ParseNumber(mValue);
  if (!v) return Refuse(L"a number");
  field = *v;
  return S_OK;
}

HRESULT KeyValueAssignment::Ranged(double& field, double lo, double hi, std::wstring_view what) const {
  auto v = ParseNumber(mValue);
  if (!v || *v < lo || *v > hi)
    return Refuse(std::wstring(what) + L" from " + NumberText(lo) + L" to " + NumberText(hi));
  field = *v;
  return S_OK;
}

HRESULT KeyValueAssignment::Channel(std::int32_t& field) const {
  constexpr std::int64_t kHighest = 256;
  auto n = ParseWholeNumber(mValue);
  if (!n || *n < 1 || *n > kHighest) return Refuse(L"a channel number from 1 to 256");
  field = static_cast<std::int32_t>(*n - 1);
  return S_OK;
}

HRESULT KeyValueAssignment::Unknown(std::wstring_view calculation, std::wstring_view keys) const {
  return Fail(std::wstring(calculation) + L" has no setting '" + std::wstring(mKey) + L"' (it has " +
              std::wstring(keys) + L")");
}

}  // namespace Spirometry
