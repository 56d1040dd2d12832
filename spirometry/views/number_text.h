#pragma once
// Numbers as the user reads them in the report, the CSV export and the other views: the user's decimal
// symbol, no digit grouping, and the user's list separator between the fields of a CSV line. The settings
// are read from the user's environment once per process; tests put other settings in their place for a
// scope.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace Spirometry {

struct NumberLocale {
  std::wstring decimalSymbol = L".";
  std::wstring listSeparator = L",";
};

// The settings for a radix character given in UTF-8: that symbol (a point when it is empty or not valid
// UTF-8), and a semicolon as list separator when the symbol is a comma, so that fields stay apart.
NumberLocale NumberLocaleForRadix(std::string_view radixUtf8);
// Reads the radix character of the user's LC_NUMERIC locale from the environment now (a point when the
// environment names no installed locale). Never changes the process's global locale.
NumberLocale ReadUserNumberLocale();

// The process's settings: an active override, or the user's settings read on first use.
const NumberLocale& SharedNumberLocale();

// Replaces the process's settings while it lives (tests). Overrides nest; destroy them in reverse order.
class ScopedNumberLocale {
 public:
  explicit ScopedNumberLocale(NumberLocale locale);
  ~ScopedNumberLocale();
  ScopedNumberLocale(const ScopedNumberLocale&) = delete;
  ScopedNumberLocale& operator=(const ScopedNumberLocale&) = delete;

 private:
  NumberLocale mLocale;
  const NumberLocale* mPrevious;
};

// A real value with six significant digits in the shorter form of "%g" (plain, or with an exponent below
// 0.0001 and from 1000000 on), no trailing zeros, the locale's decimal symbol and no grouping. Negative
// zero is written as 0; a value that is not finite (not measured) as nothing.
std::wstring FormatReal(double value, const NumberLocale& locale);
std::wstring FormatInteger(std::int64_t value);

// One byte per character for a file in ISO 8859-1: code points above 255 become '?'.
std::string ToLatin1(std::wstring_view text);

}  // namespace Spirometry
