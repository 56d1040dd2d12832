// The JSON writer's numbers and strings, against what printf and the JSON escapes make of them.
#include "apps/kymora/json_writer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace kymora::cli {
namespace {

std::string Printed(double value, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, value);
  return buf;
}

std::string Written(double value, int digits) {
  JsonWriter w;
  w.Double(value, digits);
  return w.TakeText();
}

TEST(JsonWriter, NumbersAreWhatPrintfGeneralFormatWrites) {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.5,
                                0.1,
                                1e21,
                                1e-5,
                                1e-4,
                                123456789012345678.0,
                                1e16,
                                1e17,
                                DBL_MIN,
                                DBL_MIN / 3,
                                DBL_MAX,
                                -DBL_MAX,
                                DBL_EPSILON,
                                3.4028234663852886e38,
                                0.001};
  std::mt19937_64 random(14);
  std::uniform_int_distribution<std::uint64_t> bits;
  while (values.size() < 2000) {
    const std::uint64_t b = bits(random);
    double v;
    std::memcpy(&v, &b, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(static_cast<float>(values.size()) * 0.001f);  // float values written as doubles
  }
  // A report's numbers: magnitudes around one, values of a few decimals, and values halfway between two
  // of fewer digits (which printf rounds to the even one).
  std::uniform_real_distribution<double> around(-3000.0, 3000.0);
  std::uniform_int_distribution<int> whole(-99999, 99999), power(0, 40);
  for (int i = 0; i < 3000; ++i) {
    values.push_back(around(random) * std::pow(10.0, -power(random) % 9));
    values.push_back(whole(random) * 0.001);
    values.push_back(std::ldexp(whole(random), -power(random)));
  }
  for (double v : values)
    for (int digits : {17, 16, 9, 4, 2, 1}) ASSERT_EQ(Written(v, digits), Printed(v, digits)) << v;
  EXPECT_EQ(Written(NAN, 17), "null");
  EXPECT_EQ(Written(-INFINITY, 9), "null");
}

TEST(JsonWriter, StringsEscapeQuotesBackslashesAndControlCharactersIntegersAreWhole) {
  JsonWriter w;
  w.BeginArray().String("plain").String("a\"b\\c\nd\re\tf").String(std::string("\x01x\x1f", 3)).String("").EndArray();
  EXPECT_EQ(w.Text(), R"(["plain", "a\"b\\c\nd\re\tf", "\u0001x\u001f", ""])");
  JsonWriter n;
  n.BeginArray().Int(0).Int(-1).Int(INT64_MIN).Int(INT64_MAX).EndArray();
  EXPECT_EQ(n.Text(), "[0, -1, -9223372036854775808, 9223372036854775807]");
}

}  // namespace
}  // namespace kymora::cli
