#include "apps/kymora/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
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
  // The decimal exponent: the binary one times log10(2), corrected below when one off.
  int exponent = static_cast<int>(std::floor((biased - 1023) * 0.30102999566398120));
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

void JsonWriter::Separate() {
  if (mAfterKey) {
    mAfterKey = false;
    return;
  }
  if (!mFirst.empty()) {
    if (!mFirst.back()) mText += ", ";
    mFirst.back() = false;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  mText += '{';
  mFirst.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::EndObject() {
  mText += '}';
  mFirst.pop_back();
  return *this;
}
JsonWriter& JsonWriter::BeginArray() {
  Separate();
  mText += '[';
  mFirst.push_back(true);
  return *this;
}
JsonWriter& JsonWriter::EndArray() {
  mText += ']';
  mFirst.pop_back();
  return *this;
}
JsonWriter& JsonWriter::Key(std::string_view key) {
  String(key);
  mText += ": ";
  mAfterKey = true;
  return *this;
}
JsonWriter& JsonWriter::String(std::string_view value) {
  Separate();
  mText += '"';
  // Runs of characters that need no escape are appended whole: most keys and values are all such.
  std::size_t run = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    mText.append(value, run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        mText += "\\\"";
        break;
      case '\\':
        mText += "\\\\";
        break;
      case '\n':
        mText += "\\n";
        break;
      case '\r':
        mText += "\\r";
        break;
      case '\t':
        mText += "\\t";
        break;
      default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        mText += buf;
      }
    }
  }
  mText.append(value, run, value.size() - run);
  mText += '"';
  return *this;
}
JsonWriter& JsonWriter::Int(std::int64_t value) {
  Separate();
  char buf[24];
  mText.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
  return *this;
}
JsonWriter& JsonWriter::Double(double value, int significantDigits) {
  if (!std::isfinite(value)) return Null();
  Separate();
  char buf[40];
  const char* end = FixedGeneral(value, significantDigits, buf);
  // The general format with a precision is defined as printf's "%.*g", without its locale and its cost.
  if (!end) end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, significantDigits).ptr;
  mText.append(buf, static_cast<std::size_t>(end - buf));
  return *this;
}
JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  mText += value ? "true" : "false";
  return *this;
}
JsonWriter& JsonWriter::Null() {
  Separate();
  mText += "null";
  return *this;
}

}  // namespace kymora::cli
