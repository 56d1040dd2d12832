#include "spirometry/views/number_text.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>

#include "host/com/text.h"

namespace Spirometry {

namespace {
std::atomic<const NumberLocale*> gOverride{nullptr};
}  // namespace

NumberLocale NumberLocaleForRadix(std::string_view radixUtf8) {
  NumberLocale locale;
  const std::wstring symbol = FromUtf8(radixUtf8);
  if (!symbol.empty() && symbol.find(L'\uFFFD') == std::wstring::npos) locale.decimalSymbol = symbol;
  locale.listSeparator = locale.decimalSymbol == L"," ? L";" : L",";
  return locale;
}

NumberLocale ReadUserNumberLocale() {
  // A locale object of our own: the global one belongs to the host (a GUI toolkit may have set it), and
  // changing it would change every number the host writes.
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (!user) return NumberLocaleForRadix(".");
  const char* radix = nl_langinfo_l(RADIXCHAR, user);
  // Codesets other than UTF-8 only matter for non-ASCII radix characters, which the UTF-8 check turns
  // into the point.
  NumberLocale locale = NumberLocaleForRadix(radix ? radix : ".");
  freelocale(user);
  return locale;
}

const NumberLocale& SharedNumberLocale() {
  if (const NumberLocale* o = gOverride.load(std::memory_order_acquire)) return *o;
  static const NumberLocale user = ReadUserNumberLocale();
  return user;
}

ScopedNumberLocale::ScopedNumberLocale(NumberLocale locale)
    : mLocale(std::move(locale)), mPrevious(gOverride.exchange(&mLocale, std::memory_order_acq_rel)) {}

ScopedNumberLocale::~ScopedNumberLocale() { gOverride.store(mPrevious, std::memory_order_release); }

std::wstring FormatReal(double value, const NumberLocale& locale) {
  if (!std::isfinite(value)) return std::wstring();  // a value that could not be measured is left blank
  if (value == 0.0) value = 0.0;                     // -0 reads as a sign error in a report
  // to_chars with a precision follows "%.6g" but ignores the global C locale, whatever the host set it to.
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  if (error != std::errc()) return L"?";
  std::wstring text;
  text.reserve(static_cast<std::size_t>(end - buffer) + locale.decimalSymbol.size());
  for (const char* p = buffer; p != end; ++p) {
    if (*p == '.')
      text += locale.decimalSymbol;
    else
      text += static_cast<wchar_t>(*p);
  }
  return text;
}

std::wstring FormatInteger(std::int64_t value) { return std::to_wstring(value); }

std::string ToLatin1(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (wchar_t c : text) bytes += static_cast<std::uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
  return bytes;
}

}  // namespace Spirometry
