#include "apps/kymora/printf_general.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

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

// Powers of ten from 10^kLowestDecade on, as doubles.
constexpr int kLowestDecade = -5, kDecadeCount = 23;
constexpr double kDecades[kDecadeCount] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4,  1e5, 1e6,
                                           1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};

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

// printf's "%.*g" for the numbers a report is made of: a magnitude of at least 1e-4 and below 2^52 whose
// digits printf writes without an exponent. Exact: the value times a power of ten is taken whole in
// 128-bit integers and rounded half to even, as printf rounds. Writes nothing and returns nullptr for any
// other number, which the library's general path then writes (several times slower).
char* FixedGeneral(double value, int digits, char* out) {
  if (digits < 1 || digits > 17 || value == 0.0) return nullptr;
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  // Below 2^-100 (and subnormal) or at 2^52 and beyond: not here.
  if (biased < 1023 - 100 || biased >= 1023 + 52) return nullptr;
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1023 + 52 - biased;  // value = mantissa / 2^shift, shift in 1..152 (at most 127 used)
  // The decimal exponent: the binary one times log10(2), which may be one too small, then checked against
  // the next power of ten (the loop below corrects what a power below one, inexact as a double, misjudges).
  int exponent = static_cast<int>(std::floor((biased - 1023) * 0.30102999566398120));
  if (exponent >= kLowestDecade && exponent < kLowestDecade + kDecadeCount - 1)
    exponent += std::fabs(value) >= kDecades[exponent + 1 - kLowestDecade] ? 1 : 0;
  const std::uint64_t low = kPowersOfTen[digits - 1], high = kPowersOfTen[digits];
  for (int attempt = 0; attempt < 3; ++attempt) {
    // printf writes an exponent below 1e-4 and from 10^digits on.
    if (exponent < -4 || exponent >= digits) return nullptr;
    const int scale = digits - 1 - exponent;  // 0..20
    if (scale > 19 || shift > 127) return nullptr;
    const Wide scaled = static_cast<Wide>(mantissa) * kPowersOfTen[scale];
    auto whole = static_cast<std::uint64_t>(scaled >> shift);
    const Wide rest = scaled & ((static_cast<Wide>(1) << shift) - 1);
    const Wide half = static_cast<Wide>(1) << (shift - 1);
    if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
    if (whole < low) {
      --exponent;
      continue;
    }
    if (whole >= high) {
      ++exponent;
      continue;
    }
    char text[20];
    if (digits > 9) {
      PutDigits(static_cast<std::uint32_t>(whole / kPowersOfTen[9]), digits - 9, text);
      PutDigits(static_cast<std::uint32_t>(whole % kPowersOfTen[9]), 9, text + digits - 9);
    } else {
      PutDigits(static_cast<std::uint32_t>(whole), digits, text);
    }
    int last = digits - 1;  // trailing zeros of the fraction go
    while (last > std::max(exponent, 0) && text[last] == '0') --last;
    if (value < 0) *out++ = '-';
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
  return nullptr;
}
}  // namespace

char* WriteGeneral(double value, int significantDigits, char* out) {
  if (char* end = FixedGeneral(value, significantDigits, out)) return end;
  // The general format with a precision is defined as printf's "%.*g", without its locale.
  return std::to_chars(out, out + kGeneralBytes, value, std::chars_format::general, significantDigits).ptr;
}

}  // namespace kymora::cli
