#include "host/expr/compiler.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/calc/icalc_enum.h"
#include "host/com/text.h"
#include "host/expr/engine.h"
#include "host/expr/expr_test_fakes.h"

using namespace kymora;
using namespace kymora::expr;
using namespace kymora::expr::testing;

namespace {
class CompileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mFunctions = RegisterFakeFunctions(mRegistry);
    mEngine = MakeCom<Engine>(mData.Get(), &mRegistry);
  }

  ComPtr<FakeChannelData> mData = MakeStandardData();
  CalcEnumRegistry mRegistry;
  FakeFunctions mFunctions;
  ComPtr<Engine> mEngine;
};
}  // namespace

TEST_F(CompileTest, RejectsWhatDoesNotTypeCheck) {
  struct Case {
    const wchar_t* text;
    const char* message;
  };
  const Case cases[] = {
      {L"Foo(Ch1)", "position 1: unknown function 'Foo'"},
      {L"1 + Ch6", "position 5: 'Ch6' is not a channel (the file has 5 channels)"},
      {L"Ch99999999999", "position 1: 'Ch99999999999' is not a channel (the file has 5 channels)"},
      {L"Scale(Ch1)", "position 1: Scale takes 2 arguments but 1 was given"},
      {L"peaks(Ch1, 1, 2)", "position 1: peaks takes 2 arguments but 3 were given"},
      {L"ValueAt()", "position 1: ValueAt takes 2 arguments but 0 were given"},
      {L"Scale(2, 3)", "position 7: parameter 'Source' of Scale needs a channel or expression, not a number"},
      {L"ValueAt(Ch1, 2*3)",
       "position 14: parameter 'Event Source' of ValueAt needs an event expression, not a number"},
      {L"ValueAt(Ch1, Ch2)",
       "position 14: parameter 'Event Source' of ValueAt cannot be a channel or sample expression"},
      {L"ValueAt(Ch1, (Ch2 + 1))",
       "position 14: parameter 'Event Source' of ValueAt cannot be a channel or sample expression"},
      {L"Scale(Peaks(Ch1, 0), 2)", "position 7: parameter 'Source' of Scale cannot be an event expression"},
      {L"Scale(Ch1, Ch2)", "position 12: parameter 'Factor' of Scale must be a number"},
      {L"Scale(Ch1, Peaks(Ch1, 0))", "position 12: parameter 'Factor' of Scale must be a number"},
      {L"Scale(Ch1, 1001)", "position 12: parameter 'Factor' of Scale must lie between -1000 and 1000 (it is 1001)"},
      {L"Scale(Ch1, 10*-101)",
       "position 12: parameter 'Factor' of Scale must lie between -1000 and 1000 (it is -1010)"},
      {L"Scale(Ch1, 0/0)", "position 12: parameter 'Factor' of Scale must lie between -1000 and 1000 (it is nan)"},
      {L"Tune(Ch1, 1, 0, 40.1, 2)", "position 23: parameter 'Nonlinear' of Tune must lie between 0 and 1 (it is 2)"},
      {L"Tune(Ch1, 1, 0, 0.0001, 1)",
       "position 17: parameter 'Gain' of Tune must lie between 0.001 and 1000 (it is 0.0001)"},
      // Whole-number parameters: a fraction would be read into the next field of the parameter text.
      {L"Tune(Ch1, 0.5, 0, 40.1, 1)", "position 11: parameter 'Drift' of Tune must be 0 or 1 (it is 0.5)"},
      {L"Tune(Ch1, 1, 2.0000001, 40.1, 1)",
       "position 14: parameter 'Channel' of Tune must be a whole number (it is 2.0000001)"},
      {L"Peaks(Ch1, 0) + 1", "position 15: '+' cannot be applied to an event expression"},
      {L"2 * Peaks(Ch1, 0)", "position 3: '*' cannot be applied to an event expression"},
      {L"-Peaks(Ch1, 0)", "position 1: '-' cannot be applied to an event expression"},
  };
  for (const auto& c : cases) {
    auto e = mEngine->CompileText(c.text);
    ASSERT_FALSE(e) << ToUtf8(c.text);
    EXPECT_EQ(e.ErrorMessage(), c.message) << ToUtf8(c.text);
  }
}

TEST_F(CompileTest, KindsFollowChannelsConstantsAndWhatFunctionsProduce) {
  struct Case {
    const wchar_t* text;
    ValueKind kind;
    std::uint32_t interfaceKind;
  };
  const Case cases[] = {
      {L"Ch1", ValueKind::kSamples, CalcKind::kSamples},
      {L"-(2*3) + 1/4", ValueKind::kConstant, CalcKind::kSamples},
      {L"SCALE(ch1, -0.5)", ValueKind::kSamples, CalcKind::kSamples},
      {L"scale(Ch1, 2) * Ch2", ValueKind::kSamples, CalcKind::kSamples},
      {L"Peaks(Ch1*2 - Ch2, 0.5)", ValueKind::kEvents, CalcKind::kEvents},
      {L"PEAKEVENTS(Ch1, 1e-3)", ValueKind::kEvents, CalcKind::kEvents},
      {L"FakePeaksEnum(Ch1, 1)", ValueKind::kEvents, CalcKind::kEvents},
      {L"ValueAt(Scale(Ch2, 3), Peaks(Ch1, 0))", ValueKind::kEvents, CalcKind::kEvents},
  };
  for (const auto& c : cases) {
    auto e = mEngine->CompileText(c.text);
    ASSERT_TRUE(e) << ToUtf8(c.text) << ": " << e.ErrorMessage();
    EXPECT_EQ((*e)->Kind(), c.kind) << ToUtf8(c.text);
    std::uint32_t kind = 0;
    (*e)->GetKind(&kind);
    EXPECT_EQ(kind, c.interfaceKind) << ToUtf8(c.text);
  }
}

TEST_F(CompileTest, FoldsConstantArithmeticWithIeeeResults) {
  struct Case {
    const wchar_t* text;
    double value;
  };
  const Case cases[] = {{L"-0.5", -0.5},    {L"2*3", 6},          {L"1-2-3", -4},     {L"8/2/2", 2},
                        {L"1/0", INFINITY}, {L"-1/0", -INFINITY}, {L"(1+2)*-(3)", -9}};
  for (const auto& c : cases) {
    auto e = mEngine->CompileText(c.text);
    ASSERT_TRUE(e) << ToUtf8(c.text);
    ASSERT_EQ((*e)->Root().op, CompiledNode::Op::kConstant) << ToUtf8(c.text);
    EXPECT_EQ((*e)->Root().value, c.value) << ToUtf8(c.text);
  }
  auto nan = mEngine->CompileText(L"0/0");
  ASSERT_TRUE(nan);
  EXPECT_TRUE(std::isnan((*nan)->Root().value));
}

TEST(ParameterText, WritesNumbersAtFullPrecisionAfterTheSettingsWordOfEventFunctions) {
  EXPECT_EQ(ParameterText({0.5}, true), L"0 0.5");
  EXPECT_EQ(ParameterText({}, true), L"0");
  EXPECT_EQ(ParameterText({1, 0, 40.1, 1}, false), L"1 0 40.100000000000001 1");
  EXPECT_EQ(ParameterText({-2.5e-7, 1e300}, false), L"-2.4999999999999999e-07 1.0000000000000001e+300");
  EXPECT_EQ(ParameterText({}, false), L"");
}

TEST_F(CompileTest, InterfaceReportsFailuresThroughTheErrorText) {
  ComPtr<IExpression> e;
  std::wstring error;
  EXPECT_EQ(mEngine->Compile(L"Scale(Ch1", 0, nullptr, e.Put(), &error), E_INVALIDARG);
  EXPECT_FALSE(e);
  EXPECT_EQ(error, L"position 10: expected ',' or ')' but found end of text");

  EXPECT_EQ(mEngine->Compile(nullptr, 0, nullptr, e.Put(), &error), E_INVALIDARG);
  EXPECT_EQ(mEngine->Compile(L"Ch1", -1, nullptr, e.Put(), &error), E_INVALIDARG);
  EXPECT_EQ(mEngine->Compile(L"Ch1", 0, nullptr, nullptr, &error), E_POINTER);

  ASSERT_EQ(mEngine->Compile(L"Ch1 *2", 0, nullptr, e.Put(), nullptr), S_OK);
  std::wstring text;
  e->GetText(&text);
  EXPECT_EQ(text, L"Ch1 *2");
  EXPECT_EQ(Expression::Of(e.Get()), static_cast<Expression*>(e.Get()));
}
