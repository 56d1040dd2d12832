#include "apps/kymora/printf_general.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace kymora::cli {

namespace {
__extension__ typedef unsigned __int128 Wide;  // GCC's and Clang's 128-bit integer

constexpr std::uint64_t kPowersOfTen[20] = {1,
                                            10,
                                            100,
                                            1000,
                                            10000,
                                            100000,
                                            1000000,
                                            10000000,
                                            100000000,
                                            1000000000,
                                            10000000000,
                                            100000000000,
                                            1000000000000,
                                            10000000000000,
                                            100000000000000,
                                            1000000000000000,
                                            10000000000000000,
                                            100000000000000000,
                                            1000000000000000000,
                                            10000000000000000000u};

// The n lowest decimal digits of v (n at most 9, leading zeros included) at out, two at a time.
void PutDigits(std::uint32_t v, int n, char* out) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  for (; n >= 2; v /= 100) {
    n -= 2;
    std::memcpy(out + n, kPairs + 2 * (v % 100), 2);
  }
  if (n == 1) out[0] = static_cast<char>('0' + v % 10);
}

// The digits printf writes for value = mantissa / 2^shift, `digits` of them: the value times a power of ten
// taken whole in 128-bit integers and rounded half to even, as printf rounds. `exponent` (the decimal
// exponent of the rounded value) starts as an estimate at most one too small and is corrected. Nothing
// where printf would write an exponent (below 1e-4, from 10^digits on) or the integers are too narrow.
std::optional<std::uint64_t> RoundedDigits(std::uint64_t mantissa, int shift, int digits, int& exponent) {
  const std::uint64_t low = kPowersOfTen[digits - 1], high = kPowersOfTen[digits];
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (exponent < -4 || exponent >= digits) return std::nullopt;
    const int scale = digits - 1 - exponent;  // 0..20
    if (scale > 19 || shift > 127) return std::nullopt;
    const Wide scaled = static_cast<Wide>(mantissa) * kPowersOfTen[scale];
    auto whole = static_cast<std::uint64_t>(scaled >> shift);
    const Wide rest = scaled & ((static_cast<Wide>(1) << shift) - 1);
    const Wide half = static_cast<Wide>(1) << (shift - 1);
    if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
    if (whole < low)
      --exponent;
    else if (whole >= high)
      ++exponent;
    else
      return whole;
  }
  return std::nullopt;
}

// The `digits` digits of `whole` as printf's "%g" lays them out without an exponent: the decimal point after
// digit exponent + 1 (or "0.0…" before them when the exponent is negative), trailing zeros of the fraction
// dropped, and the point with them when nothing follows it.
char* LayOutFixed(std::uint64_t whole, int digits, int exponent, bool negative, char* out) {
  char text[20];
  if (digits > 9) {
    PutDigits(static_cast<std::uint32_t>(whole / kPowersOfTen[9]), digits - 9, text);
    PutDigits(static_cast<std::uint32_t>(whole % kPowersOfTen[9]), 9, text + digits - 9);
  } else {
    PutDigits(static_cast<std::uint32_t>(whole), digits, text);
  }
  int last = digits - 1;
  while (last > std::max(exponent, 0) && text[last] == '0') --last;
  if (negative) *out++ = '-';
  if (exponent >= 0) {
    std::memcpy(out, text, static_cast<std::size_t>(exponent) + 1);
    out += exponent + 1;
    if (last > exponent) {
      *out++ = '.';
      std::memcpy(out, text + exponent + 1, static_cast<std::size_t>(last - exponent));
      out += last - exponent;
    }
  } else {
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < -exponent - 1; ++i) *out++ = '0';
    std::memcpy(out, text, static_cast<std::size_t>(last) + 1);
    out += last + 1;
  }
  return out;
}

// printf's "%.*g" for the numbers a report is made of: a magnitude of at least 1e-4 and below 2^52 whose
// digits printf writes without an exponent. Writes nothing and returns nullptr for any other number, which
// the library's general path then writes (several times slower).
char* FixedGeneral(double value, int digits, char* out) {
  if (digits < 1 || digits > 17 || value == 0.0) return nullptr;
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  // Below 2^-100 (and subnormal) or at 2^52 and beyond: not here.
  if (biased < 1023 - 100 || biased >= 1023 + 52) return nullptr;
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1023 + 52 - biased;  // value = mantissa / 2^shift, shift in 1..152 (at most 127 used)
  // The binary exponent times log10(2): the decimal one, or one less.
  int exponent = static_cast<int>(std::floor((biased - 1023) * 0.30102999566398120));
  const auto whole = RoundedDigits(mantissa, shift, digits, exponent);
  return whole ? LayOutFixed(*whole, digits, exponent, value < 0, out) : nullptr;
}
}  // namespace

char* WriteGeneral(double value, int significantDigits, char* out) {
  if (char* end = FixedGeneral(value, significantDigits, out)) return end;
  // The general format with a precision is defined as printf's "%.*g", without its locale.
  return std::to_chars(out, out + kGeneralBytes, value, std::chars_format::general, significantDigits).ptr;
}

}  // namespace kymora::cli
