#include "host/data/units.h"

#include <gtest/gtest.h>

using namespace kymora;

TEST(Units, SameTextGivesTheSameObject) {
  auto a = InternUnits(L"L/s");
  auto b = InternUnits(L"L/s");
  auto c = InternUnits(L"mL/s");
  EXPECT_EQ(a.Get(), b.Get());
  EXPECT_NE(a.Get(), c.Get());
  std::wstring text;
  c->GetText(&text);
  EXPECT_EQ(text, L"mL/s");
  std::int32_t code = 0;
  c->GetPrefixCode(&code);
  EXPECT_EQ(code, 7);
}

TEST(Units, FactorsBetweenPrefixesOfOneKind) {
  struct Case {
    const wchar_t* from;
    const wchar_t* to;
    double factor;
  };
  const Case cases[] = {
      {L"mL/s", L"L/s", 1e-3}, {L"L/s", L"mL/s", 1e3},  {L"\u00B5L/s", L"L/s", 1e-6}, {L"uL", L"mL", 1e-3},
      {L"kPa", L"Pa", 1e3},    {L"L", L"L", 1},         {L"mV", L"V", 1e-3},          {L"m", L"mm", 1e3},
      {L"mm", L"m", 1e-3},     {L"V", L"\u00B5V", 1e6},
  };
  for (const auto& c : cases) {
    auto f = UnitsFactor(c.from, c.to);
    ASSERT_TRUE(f) << testing::PrintToString(std::wstring(c.from));
    EXPECT_DOUBLE_EQ(*f, c.factor);
  }
  EXPECT_FALSE(UnitsFactor(L"V", L"L/s"));
  EXPECT_FALSE(UnitsFactor(L"mL", L"L/s"));
  EXPECT_FALSE(UnitsFactor(L"", L"L"));
}

TEST(Units, PrefixCodesHaveFactorsAndTexts) {
  EXPECT_EQ(PrefixFactor(6), 1e6);
  EXPECT_EQ(PrefixFactor(7), 1e3);
  EXPECT_EQ(PrefixFactor(8), 1.0);
  EXPECT_EQ(PrefixFactor(0), 1.0);
  EXPECT_EQ(PrefixFactor(15), 1.0);
  EXPECT_EQ(PrefixText(6), L"\u00B5");
  EXPECT_EQ(PrefixText(8), L"");
  EXPECT_EQ(PrefixText(1), L"");
  EXPECT_EQ(PrefixText(9), L"k");
}
