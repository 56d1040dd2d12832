#include "host/com/text.h"

#include <gtest/gtest.h>

TEST(Text, ConvertsBetweenWideUtf8AndUtf16) {
  struct Case {
    std::wstring wide;
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {L"L/s", "L/s", u"L/s"},
      {L"\u00B5L/s", "\xC2\xB5L/s", u"\u00B5L/s"},
      {L"\u20AC", "\xE2\x82\xAC", u"\u20AC"},
      {L"\U0001F600", "\xF0\x9F\x98\x80", u"\U0001F600"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(c.wide), c.utf8);
    EXPECT_EQ(FromUtf8(c.utf8), c.wide);
    EXPECT_EQ(ToUtf16(c.wide), c.utf16);
    EXPECT_EQ(FromUtf16(c.utf16), c.wide);
  }
}

TEST(Text, ReplacesInvalidSequences) {
  EXPECT_EQ(FromUtf8("a\xFF"
                     "b"),
            L"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD") << "overlong forms are refused";
  EXPECT_EQ(FromUtf8("\xE2\x82"), L"\uFFFD\uFFFD") << "truncated sequence";
  EXPECT_EQ(FromUtf16(std::u16string(1, u'\xD800')), L"\uFFFD");
}

TEST(Text, ComparesAsciiLettersWithoutCase) {
  EXPECT_TRUE(EqualsNoCase(L"mL/Sec", L"ML/sec"));
  EXPECT_FALSE(EqualsNoCase(L"L/s", L"L/sec"));
  EXPECT_FALSE(EqualsNoCase(L"\u00B5L", L"uL"));
}
