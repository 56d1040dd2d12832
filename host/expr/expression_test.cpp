#include "host/expr/expression.h"

#include <gtest/gtest.h>

#include <functional>

#include "host/com/text.h"
#include "host/data/read_flags.h"
#include "host/data/units.h"
#include "host/expr/engine.h"
#include "host/expr/expr_test_fakes.h"

using namespace kymora;
using namespace kymora::expr;
using namespace kymora::expr::testing;

namespace {
std::vector<float> ReadAll(IEnumFloatEx* e) {
  std::vector<float> all(10000);
  std::int32_t got = 0;
  HRESULT hr = e->Read(static_cast<std::int32_t>(all.size()), all.data(), &got);
  EXPECT_EQ(hr, S_FALSE);
  all.resize(static_cast<std::size_t>(got));
  return all;
}

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mFunctions = RegisterFakeFunctions(mRegistry);
    mEngine = MakeCom<Engine>(mData.Get(), &mRegistry);
  }

  ComPtr<Expression> Compile(const wchar_t* text, std::vector<ChannelBinding> bindings = {}) {
    auto e = mEngine->CompileText(text, bindings);
    EXPECT_TRUE(e) << ToUtf8(text) << ": " << e.ErrorMessage();
    return e ? *e : nullptr;
  }

  std::vector<float> Samples(const wchar_t* text, std::int32_t block, std::vector<ChannelBinding> bindings = {}) {
    auto e = Compile(text, std::move(bindings));
    if (!e) return {};
    ComPtr<IEnumFloatEx> samples;
    EXPECT_EQ(e->CreateSampleEnum(block, 0, samples.Put()), S_OK) << ToUtf8(text) << ": " << e->LastError();
    return samples ? ReadAll(samples.Get()) : std::vector<float>{};
  }

  std::vector<QorEventBase> Events(const wchar_t* text, std::int32_t block, std::int32_t start = 0) {
    auto e = Compile(text);
    if (!e) return {};
    ComPtr<IEnumEventEx> events;
    EXPECT_EQ(e->CreateEventEnum(block, start, events.Put()), S_OK) << ToUtf8(text) << ": " << e->LastError();
    return events ? ReadAllEvents(events.Get(), 5) : std::vector<QorEventBase>{};
  }

  static float At(std::int32_t channel, std::int64_t t) { return StandardSample(1, channel, t); }

  ComPtr<FakeChannelData> mData = MakeStandardData();
  CalcEnumRegistry mRegistry;
  FakeFunctions mFunctions;
  ComPtr<Engine> mEngine;
};
}  // namespace

TEST_F(ExpressionTest, ArithmeticFollowsPrecedenceAndAssociativity) {
  struct Case {
    const wchar_t* text;
    std::function<double(std::int64_t)> expected;
  };
  const Case cases[] = {
      {L"Ch1*2+1", [](std::int64_t t) { return At(0, t) * 2 + 1; }},
      {L"1+Ch1*2", [](std::int64_t t) { return 1 + At(0, t) * 2; }},
      {L"1-2-3", [](std::int64_t) { return -4; }},
      {L"-Ch1*-2", [](std::int64_t t) { return At(0, t) * 2; }},
      {L"(Ch1+Ch2)/2", [](std::int64_t t) { return (At(0, t) + At(1, t)) / 2; }},
      {L"8/2/2", [](std::int64_t) { return 2; }},
      {L"Ch2-Ch1-1", [](std::int64_t t) { return At(1, t) - At(0, t) - 1; }},
      {L"Ch2/4/Ch4", [](std::int64_t t) { return At(1, t) / 4 / At(3, t); }},
      {L"Scale(Ch1, -0.5) * 2 + Ch2", [](std::int64_t t) { return At(0, t) * -0.5 * 2 + At(1, t); }},
  };
  for (const auto& c : cases) {
    auto samples = Samples(c.text, 1);
    ASSERT_EQ(samples.size(), 2500u) << ToUtf8(c.text);
    for (std::int64_t t = 0; t < 2500; ++t)
      ASSERT_FLOAT_EQ(samples[t], static_cast<float>(c.expected(t))) << ToUtf8(c.text) << " at " << t;
  }
  // Block 1 has its own length and values.
  auto first = Samples(L"Ch1 + Ch2", 0);
  EXPECT_EQ(first, std::vector<float>(10, 100.0f));
}

TEST_F(ExpressionTest, StartsAtTheStartTickAndReportsTheBlockInterval) {
  auto e = Compile(L"Ch2 * 2");
  ComPtr<IEnumFloatEx> samples;
  ASSERT_EQ(e->CreateSampleEnum(1, 1000, samples.Put()), S_OK);
  float v = 0;
  std::int32_t got = 0;
  ASSERT_EQ(samples->Read(1, &v, &got), S_OK);
  EXPECT_EQ(v, At(1, 1000) * 2);
  double secs = 0;
  samples->GetSecsPerTick(&secs);
  EXPECT_EQ(secs, 0.01);
  for (std::uint32_t flags : mData->ReaderFlags()) EXPECT_EQ(flags, ReadFlags::kCalculated | ReadFlags::kInUnits);

  // A constant has as many samples as the block, from the start tick on.
  auto constant = Compile(L"2.5");
  ASSERT_EQ(constant->CreateSampleEnum(0, 4, samples.Put()), S_OK);
  EXPECT_EQ(ReadAll(samples.Get()), std::vector<float>(6, 2.5f));
}

// Units are looked up per block: Ch3 is "L/s" in block 1 and "mL/s" in block 2.
TEST_F(ExpressionTest, BoundChannelsAreScaledIntoTheRequestedUnits) {
  struct Case {
    const wchar_t* text;
    std::int32_t channel;
    const wchar_t* units;
    std::int32_t block;
    double factor;
  };
  const Case cases[] = {
      {L"Ch3", 2, L"L/s", 1, 0.001},     {L"Ch3", 2, L"L/s", 0, 1},
      {L"Ch3", 2, L"mL/s", 1, 1},        {L"Ch3", 2, L"mL/s", 0, 1000},
      {L"Ch3 + 0", 2, L"L/s", 1, 0.001}, {L"Ch3", 2, nullptr, 1, 1},
      {L"Ch3", 0, L"mL/s", 1, 1},        {L"Scale(Ch3, 1)", 2, L"\u00B5L/s", 1, 1000},
  };
  for (const auto& c : cases) {
    const std::string what = ToUtf8(c.text) + " with channel " + std::to_string(c.channel) + " bound";
    auto samples = Samples(c.text, c.block, {{c.channel, c.units}});
    const std::int64_t length = c.block == 0 ? 10 : 2500;
    ASSERT_EQ(static_cast<std::int64_t>(samples.size()), length) << what;
    for (std::int64_t t = 0; t < length; ++t)
      ASSERT_FLOAT_EQ(samples[t], static_cast<float>(StandardSample(c.block, 2, t) * c.factor)) << what << " at " << t;
  }

  auto bound = Compile(L"Ch3", {{2, L"L/s"}});
  ComPtr<IEnumFloatEx> samples;
  ASSERT_EQ(bound->CreateSampleEnum(1, 0, samples.Put()), S_OK);
  ComPtr<IUnits> units;
  samples->GetUnits(units.Put());
  EXPECT_EQ(units.Get(), InternUnits(L"L/s").Get());
}

TEST_F(ExpressionTest, CreationFailuresLeaveAMessage) {
  struct Case {
    const wchar_t* text;
    std::vector<ChannelBinding> bindings;
    std::int32_t block;
    bool events;
    HRESULT code;
    const char* message;
  };
  const Case cases[] = {
      {L"Ch4 * 2", {{3, L"L/s"}}, 1, false, E_FAIL, "Ch4 is in 'V' in block 2 and cannot be read in 'L/s'"},
      {L"Ch5", {}, 0, false, E_FAIL, "Ch5 has no data in block 1"},
      {L"Ch1", {}, 2, false, E_INVALIDARG, "block 3 does not exist (the file has 2 blocks)"},
      {L"Ch1", {}, -1, false, E_INVALIDARG, "block 0 does not exist (the file has 2 blocks)"},
      {L"Ch1", {}, 0, true, E_INVALIDARG, "a sample expression has no events"},
      {L"Peaks(Ch1, 0)", {}, 0, false, E_INVALIDARG, "an event expression has no samples"},
      {L"ValueAt(Ch5, Peaks(Ch1, 0))", {}, 0, true, E_FAIL, "Ch5 has no data in block 1"},
  };
  for (const auto& c : cases) {
    auto e = Compile(c.text, c.bindings);
    ASSERT_TRUE(e);
    ComPtr<IEnumFloatEx> samples;
    ComPtr<IEnumEventEx> events;
    HRESULT hr =
        c.events ? e->CreateEventEnum(c.block, 0, events.Put()) : e->CreateSampleEnum(c.block, 0, samples.Put());
    EXPECT_EQ(hr, c.code) << ToUtf8(c.text);
    EXPECT_FALSE(samples || events);
    EXPECT_EQ(e->LastError(), c.message) << ToUtf8(c.text);
  }
  // A success clears the message.
  auto e = Compile(L"Ch5");
  ComPtr<IEnumFloatEx> samples;
  EXPECT_EQ(e->CreateSampleEnum(0, 0, samples.Put()), E_FAIL);
  EXPECT_EQ(e->CreateSampleEnum(1, 0, samples.Put()), S_OK);
  EXPECT_EQ(e->LastError(), "");
}

TEST_F(ExpressionTest, CallsGetTheirSettingsTextHostAndSources) {
  Events(L"peaks(Ch1, 0.5)", 1);
  EXPECT_EQ(mFunctions.peaks->Log().parameters, std::vector<std::wstring>{L"0 0.5"});
  ASSERT_EQ(mFunctions.peaks->Log().sources.size(), 1u);
  const auto& call = mFunctions.peaks->Log().sources[0];
  EXPECT_EQ(call.record, 1);
  EXPECT_EQ(call.count, 1);
  EXPECT_EQ(call.further, 0);
  EXPECT_EQ(call.secsPerTick, 0.01);
  EXPECT_EQ(call.online, 0);

  Samples(L"Tune(Ch1, 1, 0, 40.1, 1)", 0);
  EXPECT_EQ(mFunctions.tune->Log().parameters, std::vector<std::wstring>{L"1 0 40.100000000000001 1"});
  EXPECT_EQ(mFunctions.tune->Log().sources.at(0).secsPerTick, 0.001);

  Samples(L"Scale(Ch1, -(2*3)) + Scale(Ch2, 1/4)", 0);
  EXPECT_EQ(mFunctions.scale->Log().parameters, (std::vector<std::wstring>{L"-6", L"0.25"}));
}

TEST_F(ExpressionTest, EventsComeFromEventFunctionsFromTheStartTick) {
  // Ch1 in block 2 is (t mod 7) - 3: a peak of 3 at every t = 6 mod 7.
  auto all = Events(L"Peaks(Ch1, 0.5)", 1);
  ASSERT_EQ(all.size(), 357u);
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].mPosition.mTickPosition, static_cast<std::int32_t>(7 * i + 6));
    EXPECT_EQ(all[i].mValue, 3.0);
  }
  EXPECT_TRUE(Events(L"Peaks(Ch1, 3)", 1).empty());

  auto later = Events(L"Peaks(Ch1, 0.5)", 1, 1001);
  EXPECT_EQ(mFunctions.peaks->Log().positions.back(), 1001);
  ASSERT_FALSE(later.empty());
  EXPECT_EQ(later.front().mPosition.mTickPosition, 1007);

  // An arithmetic source: the same ticks, doubled values.
  auto doubled = Events(L"Peaks(Ch1 * 2, 0.5)", 1);
  ASSERT_EQ(doubled.size(), all.size());
  EXPECT_EQ(doubled[10].mValue, 6.0);
}

// Sources arrive in parameter order (a channel, then events), and events flow from one function into the
// next: ValueAt reads Ch2 at every peak of Ch1.
TEST_F(ExpressionTest, EventsFlowThroughAnEventArgument) {
  auto events = Events(L"ValueAt(Ch2, PEAKS(Ch1, 0.5))", 1);
  ASSERT_EQ(events.size(), 357u);
  for (const auto& e : events) EXPECT_EQ(e.mValue, At(1, e.mPosition.mTickPosition));
  EXPECT_EQ(mFunctions.valueAt->Log().parameters, std::vector<std::wstring>{L"0"});
  EXPECT_EQ(mFunctions.peaks->Log().parameters, std::vector<std::wstring>{L"0 0.5"});
  ASSERT_EQ(mFunctions.valueAt->Log().sources.size(), 1u);
  EXPECT_EQ(mFunctions.valueAt->Log().sources[0].count, 2);
}
