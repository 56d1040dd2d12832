#include "spirometry/views/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

// glibc's newlocale keeps the search path it builds from LOCPATH (set here only, to find the test's own
// locale); that is the library's memory, not ours.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:__argz_add_sep\n";
}

namespace Spirometry {
namespace {

// A German locale compiled for the tests into a folder of their own (the machine may have none installed),
// found through LOCPATH; empty when it cannot be made.
std::string GermanLocalePath() {
  struct Folder {
    std::string path;
    ~Folder() {
      if (!path.empty()) std::filesystem::remove_all(path);
    }
  };
  static const Folder folder = [] {
    char made[] = "/tmp/kymora_views_locale_XXXXXX";
    if (!mkdtemp(made)) return Folder{};
    const std::string command = std::string("localedef -i de_DE -f UTF-8 ") + made + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return Folder{made};
    std::filesystem::remove_all(made);
    return Folder{};
  }();
  return folder.path;
}

// Sets an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : mName(name) {
    if (const char* old = std::getenv(name)) mOld = old;
    mHad = std::getenv(name) != nullptr;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (mHad)
      setenv(mName, mOld.c_str(), 1);
    else
      unsetenv(mName);
  }

 private:
  const char* mName;
  std::string mOld;
  bool mHad = false;
};

TEST(FormatReal, SixSignificantDigitsInTheShorterForm) {
  const NumberLocale point{L".", L","};
  const NumberLocale comma{L",", L";"};
  struct Case {
    double value;
    const wchar_t* withPoint;
    const wchar_t* withComma;
  };
  const Case cases[] = {
      {2.5, L"2.5", L"2,5"},
      {60.0, L"60", L"60"},
      {0.0, L"0", L"0"},
      {-0.0, L"0", L"0"},
      {-3.25, L"-3.25", L"-3,25"},
      {0.0001, L"0.0001", L"0,0001"},
      {0.00009, L"9e-05", L"9e-05"},
      {0.000012345678, L"1.23457e-05", L"1,23457e-05"},
      {999999.0, L"999999", L"999999"},
      {999999.5, L"1e+06", L"1e+06"},
      {1000000.0, L"1e+06", L"1e+06"},
      {1234567.0, L"1.23457e+06", L"1,23457e+06"},
      {123456.7, L"123457", L"123457"},  // no digit grouping
      {76.923076923, L"76.9231", L"76,9231"},
      {1.0 / 3.0, L"0.333333", L"0,333333"},
      {1e300, L"1e+300", L"1e+300"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatReal(c.value, point), c.withPoint) << c.value;
    EXPECT_EQ(FormatReal(c.value, comma), c.withComma) << c.value;
  }
  EXPECT_EQ(FormatReal(1.5, NumberLocale{L"\u066B", L","}), L"1\u066B5");
}

TEST(FormatReal, IgnoresTheProcessCLocale) {
  // A GUI toolkit may set the global locale; the report must follow the shared settings only.
  const std::string folder = GermanLocalePath();
  if (folder.empty()) GTEST_SKIP() << "localedef could not make a German locale";
  ScopedEnv path("LOCPATH", folder);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
  const std::wstring text = FormatReal(2.5, NumberLocale{});
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(text, L"2.5");
}

TEST(NumberLocale, ListSeparatorFollowsTheDecimalSymbol) {
  struct Case {
    const char* radix;
    const wchar_t* decimal;
    const wchar_t* separator;
  };
  const Case cases[] = {
      {".", L".", L","},
      {",", L",", L";"},
      {"", L".", L","},               // a locale without a radix character
      {"\xff", L".", L","},           // not UTF-8
      {"\xd9\xab", L"\u066B", L","},  // the Arabic decimal separator
  };
  for (const Case& c : cases) {
    const NumberLocale l = NumberLocaleForRadix(c.radix);
    EXPECT_EQ(l.decimalSymbol, c.decimal) << c.radix;
    EXPECT_EQ(l.listSeparator, c.separator) << c.radix;
  }
}

TEST(NumberLocale, ReadsTheRadixOfTheEnvironmentsNumericLocale) {
  const std::string folder = GermanLocalePath();
  if (folder.empty()) GTEST_SKIP() << "localedef could not make a German locale";
  ScopedEnv path("LOCPATH", folder);
  struct Case {
    const char* lcAll;
    const wchar_t* decimal;
    const wchar_t* separator;
  };
  const Case cases[] = {
      {"C", L".", L","}, {"de_DE.UTF-8", L",", L";"}, {"no_such_locale.UTF-8", L".", L","},  // not installed: the point
  };
  for (const Case& c : cases) {
    ScopedEnv all("LC_ALL", c.lcAll);
    const NumberLocale l = ReadUserNumberLocale();
    EXPECT_EQ(l.decimalSymbol, c.decimal) << c.lcAll;
    EXPECT_EQ(l.listSeparator, c.separator) << c.lcAll;
  }
  // Only LC_NUMERIC counts.
  ScopedEnv all("LC_ALL", "");
  ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8");
  ScopedEnv messages("LC_MESSAGES", "C");
  EXPECT_EQ(ReadUserNumberLocale().decimalSymbol, L",");
  // The process's own locale was never touched.
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST(NumberLocale, OverridesNestAndRestore) {
  const NumberLocale user = SharedNumberLocale();
  {
    ScopedNumberLocale comma(NumberLocale{L",", L";"});
    EXPECT_EQ(SharedNumberLocale().decimalSymbol, L",");
    {
      ScopedNumberLocale tab(NumberLocale{L".", L"\t"});
      EXPECT_EQ(SharedNumberLocale().listSeparator, L"\t");
    }
    EXPECT_EQ(SharedNumberLocale().listSeparator, L";");
  }
  EXPECT_EQ(SharedNumberLocale().decimalSymbol, user.decimalSymbol);
  EXPECT_EQ(SharedNumberLocale().listSeparator, user.listSeparator);
}

TEST(ToLatin1, OneBytePerCharacterAndAQuestionMarkBeyond) {
  EXPECT_EQ(ToLatin1(L"V_T (\u00B5L)"), std::string("V_T (\xB5L)"));
  EXPECT_EQ(ToLatin1(L"\u00FF\u0100\u20AC\U0001F600"), std::string("\xFF???"));
  EXPECT_EQ(ToLatin1(L"a\r\nb\n"), "a\r\nb\n");
}

}  // namespace
}  // namespace Spirometry
