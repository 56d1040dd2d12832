#include "spirometry/events/enumerator_base.h"

#include <charconv>
#include <cmath>
#include <locale>
#include <sstream>

namespace EEH3 {

std::optional<std::vector<double>> EnumeratorBase::ParseNumbers(std::wstring_view text) {
  if (auto nul = text.find(L'\0'); nul != std::wstring_view::npos) text = text.substr(0, nul);
  std::wistringstream in{std::wstring(text)};
  in.imbue(std::locale::classic());
  std::vector<double> numbers;
  std::wstring token;
  while (in >> token) {
    std::wistringstream one(token);
    one.imbue(std::locale::classic());
    double value = 0;
    one >> value;
    if (one.fail() || one.peek() != std::wistringstream::traits_type::eof()) return std::nullopt;
    numbers.push_back(value);
  }
  return numbers;
}

std::wstring EnumeratorBase::FormatNumber(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return L"0";
  return std::wstring(buffer, end);
}

HRESULT EnumeratorBase::ReadSettings(std::wstring_view text, ParamsBase& params) {
  auto numbers = ParseNumbers(text);
  if (!numbers) return E_INVALIDARG;
  const std::size_t wanted = params.NumberCount();
  std::span<const double> values(*numbers);
  std::optional<std::int32_t> word;
  if (values.size() == wanted + 1) {
    const double w = values.front();
    if (!(w == std::trunc(w) && w >= -2147483648.0 && w <= 2147483647.0)) return E_INVALIDARG;
    word = static_cast<std::int32_t>(w);
    values = values.subspan(1);
  } else if (values.size() != wanted) {
    return E_INVALIDARG;
  }
  HRESULT hr = params.ReadNumbers(values);
  if (Failed(hr)) return hr;
  if (word) params.mSettingsWord = *word;
  params.CorrectRange();
  return S_OK;
}

std::wstring EnumeratorBase::WriteSettings(const ParamsBase& params) {
  std::wstring text;
  params.WriteNumbers(text);
  text.push_back(L'\0');
  return text;
}

}  // namespace EEH3
