// The engine's own functions against references written from their descriptions, through compiled
// expressions over an in-memory recording.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "host/com/text.h"
#include "host/expr/engine.h"
#include "host/expr/expr_test_fakes.h"

using namespace kymora;
using namespace kymora::expr;
using namespace kymora::expr::testing;

namespace {
constexpr std::int64_t kLength = 1000;
constexpr double kSecs = 0.01;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Ch1: a pulse of height 1 + k at tick 50 k + 25, else 0. Ch2: a negative burst in the first 60 ticks of
// every 137, small ripple throughout, missing every 97th tick.
float Pulses(std::int64_t t) { return t % 50 == 25 ? static_cast<float>(1 + t / 50) : 0.0f; }
float Wavy(std::int64_t t) {
  if (t % 97 == 0) return kNaN;
  const double phase = static_cast<double>(t % 137);
  const double burst = phase < 60 ? -1.5 * std::sin(std::numbers::pi * phase / 60) : 0.0;
  return static_cast<float>(burst + 0.1 * std::sin(1.7 * static_cast<double>(t)));
}

bool Same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

void ExpectSamples(const std::vector<float>& got, const std::vector<float>& wanted, double tolerance = 0) {
  ASSERT_EQ(got.size(), wanted.size());
  for (std::size_t t = 0; t < got.size(); ++t) {
    if (std::isnan(wanted[t]) || tolerance == 0)
      EXPECT_TRUE(Same(got[t], wanted[t])) << "tick " << t << ": " << got[t] << " vs " << wanted[t];
    else
      EXPECT_NEAR(got[t], wanted[t], tolerance) << "tick " << t;
  }
}

class BuiltinFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    mData->AddChannel(L"Pulses");
    mData->AddChannel(L"Wavy");
    mData->AddBlock(kSecs, kLength);
    mData->SetFormula(0, 0, L"L/s", Pulses);
    mData->SetFormula(0, 1, L"L/s", Wavy);
    RegisterFakeFunctions(mRegistry);
  }

  ComPtr<Expression> Compile(const std::wstring& text) {
    auto e = mEngine->CompileText(text);
    EXPECT_TRUE(e) << ToUtf8(text) << ": " << e.ErrorMessage();
    return e ? *e : nullptr;
  }
  // Read from `from` in pieces of `piece` samples.
  std::vector<float> Samples(const std::wstring& text, std::int64_t from = 0, std::int32_t piece = 333) {
    auto e = Compile(text);
    ComPtr<IEnumFloatEx> samples;
    if (!e || e->CreateSampleEnum(0, from, samples.Put()) != S_OK) {
      ADD_FAILURE() << ToUtf8(text) << ": " << (e ? e->LastError() : "");
      return {};
    }
    std::vector<float> all;
    std::vector<float> buffer(static_cast<std::size_t>(piece));
    for (HRESULT hr = S_OK; hr == S_OK;) {
      std::int32_t got = 0;
      hr = samples->Read(piece, buffer.data(), &got);
      EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
      all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    }
    return all;
  }
  static std::vector<float> Reference(float (*f)(std::int64_t)) {
    std::vector<float> x(kLength);
    for (std::int64_t t = 0; t < kLength; ++t) x[static_cast<std::size_t>(t)] = f(t);
    return x;
  }

  ComPtr<FakeChannelData> mData = MakeCom<FakeChannelData>();
  CalcEnumRegistry mRegistry;
  ComPtr<Engine> mEngine = MakeCom<Engine>(mData.Get(), &mRegistry);
};

TEST_F(BuiltinFunctions, ThresholdIsOneAboveTheLevelAndMissingWhereTheSignalIs) {
  for (double level : {0.0, -0.5, 2.0}) {
    std::vector<float> wanted = Reference(Wavy);
    for (auto& x : wanted) x = std::isnan(x) ? kNaN : x > level ? 1.0f : 0.0f;
    ExpectSamples(Samples(L"threshold(Ch2, " + std::to_wstring(level) + L")"), wanted);
  }
  // At the level exactly: 0 (Ch1 is 2 at tick 75 and 3 at tick 125).
  const auto at = Samples(L"threshold(Ch1, 2)");
  ASSERT_EQ(at.size(), static_cast<std::size_t>(kLength));
  EXPECT_EQ(at[75], 0.0f);
  EXPECT_EQ(at[125], 1.0f);
}

TEST_F(BuiltinFunctions, DecimatesecHoldsTheMeanOfEachWindowOfFiniteSamples) {
  const auto x = Reference(Wavy);
  // 0.3 s: windows of 30; 0: every sample alone; 7 s: a short last window; 20 s: one window, the record.
  for (double seconds : {0.3, 0.0, 7.0, 20.0}) {
    SCOPED_TRACE(seconds);
    const auto w = std::max<std::size_t>(1, static_cast<std::size_t>(std::llround(seconds / kSecs)));
    std::vector<float> wanted(x.size());
    for (std::size_t start = 0; start < x.size(); start += w) {
      double sum = 0;
      int n = 0;
      for (std::size_t t = start; t < std::min(x.size(), start + w); ++t)
        if (std::isfinite(x[t])) sum += x[t], ++n;
      for (std::size_t t = start; t < std::min(x.size(), start + w); ++t)
        wanted[t] = n ? static_cast<float>(sum / n) : kNaN;
    }
    const std::wstring text = L"decimatesec(Ch2, " + std::to_wstring(seconds) + L")";
    ExpectSamples(Samples(text, 0, 7), wanted);
    // Starting in the middle of a window gives the rest of that window's mean.
    ExpectSamples(Samples(text, 455, 64), std::vector<float>(wanted.begin() + 455, wanted.end()));
  }
}

TEST_F(BuiltinFunctions, EventInterpStepsOrRunsFromEventToEvent) {
  // Peaks(Ch1, 0.5): events at 50 k + 25 with value 1 + k.
  std::vector<float> steps(kLength, kNaN), lines(kLength, kNaN);
  for (std::int64_t t = 25; t < kLength; ++t) {
    const std::int64_t k = (t - 25) / 50;
    steps[static_cast<std::size_t>(t)] = static_cast<float>(1 + k);
    const bool last = 50 * (k + 1) + 25 >= kLength;
    lines[static_cast<std::size_t>(t)] =
        last ? static_cast<float>(1 + k) : static_cast<float>(1 + k + static_cast<double>(t - 25 - 50 * k) / 50);
  }
  ExpectSamples(Samples(L"EventInterp(Peaks(Ch1, 0.5), 0)"), steps);
  ExpectSamples(Samples(L"Eventinterp(Peaks(Ch1, 0.5))", 0, 1), steps);
  ExpectSamples(Samples(L"eventinterp(Peaks(Ch1, 0.5), 1)", 0, 17), lines, 1e-5);
  for (std::int64_t from : {0, 24, 25, 26, 640}) {
    SCOPED_TRACE(from);
    ExpectSamples(Samples(L"EventInterp(Peaks(Ch1, 0.5), 0)", from),
                  std::vector<float>(steps.begin() + from, steps.end()));
    ExpectSamples(Samples(L"EventInterp(Peaks(Ch1, 0.5), 1)", from),
                  std::vector<float>(lines.begin() + from, lines.end()), 1e-5);
  }
}

TEST_F(BuiltinFunctions, EventInterpGoesBackToEarlierTicks) {
  auto e = Compile(L"EventInterp(Peaks(Ch1, 0.5))");
  ComPtr<IEnumFloatEx> samples;
  ASSERT_EQ(e->CreateSampleEnum(0, 0, samples.Put()), S_OK);
  float buffer[200];
  std::int32_t got = 0;
  ASSERT_EQ(samples->Read(200, buffer, &got), S_OK);
  ASSERT_EQ(samples->Seek(30), S_OK);
  ASSERT_EQ(samples->Read(1, buffer, &got), S_OK);
  EXPECT_EQ(buffer[0], 1.0f);
  ASSERT_EQ(samples->Seek(10), S_OK);
  ASSERT_EQ(samples->Read(1, buffer, &got), S_OK);
  EXPECT_TRUE(std::isnan(buffer[0])) << "before the first event";
}

// Where cycles begin, straight from the description: m is the mean distance from the baseline over the
// window's finite samples; an event where m reaches the level after `quiet` ticks below it.
std::vector<std::int32_t> ReferenceCycles(const std::vector<float>& x, double level, int quiet, int window,
                                          double baseline) {
  std::vector<double> m(x.size(), std::nan(""));
  for (std::size_t t = 0; t < x.size(); ++t) {
    double sum = 0;
    int n = 0;
    for (std::size_t s = t + 1 > static_cast<std::size_t>(window) ? t + 1 - window : 0; s <= t; ++s)
      if (std::isfinite(x[s])) sum += std::fabs(x[s] - baseline), ++n;
    if (n) m[t] = sum / n;
  }
  std::vector<std::int32_t> events;
  for (std::size_t t = 0; t < x.size(); ++t) {
    if (!(m[t] >= level)) continue;
    bool quietBefore = true;
    for (int back = 1; back <= quiet && t >= static_cast<std::size_t>(back); ++back)
      if (m[t - back] >= level) quietBefore = false;
    if (quietBefore) events.push_back(static_cast<std::int32_t>(t));
  }
  return events;
}

TEST_F(BuiltinFunctions, CyclesBeginWhereTheReferenceSaysFromAnyStart) {
  const auto x = Reference(Wavy);
  struct Case {
    double level, quiet;
    int window;
    double baseline;
  };
  for (const Case& c : {Case{0.8, 0.2, 1, 0}, Case{0.3, 0.1, 8, 0}, Case{0.5, 0.3, 5, -0.1}}) {
    const auto wanted =
        ReferenceCycles(x, c.level, static_cast<int>(std::lround(c.quiet / kSecs)), c.window, c.baseline);
    ASSERT_GE(wanted.size(), 4u);
    const std::wstring text = L"Cycles(Ch2, " + std::to_wstring(c.level) + L", " + std::to_wstring(c.quiet) + L", " +
                              std::to_wstring(c.window) + L", " + std::to_wstring(c.baseline) + L")";
    auto e = Compile(text);
    ASSERT_TRUE(e);
    for (std::int32_t start : {0, 3, wanted[1], wanted[1] + 1, 500, 999}) {
      SCOPED_TRACE(ToUtf8(text) + " from " + std::to_string(start));
      ComPtr<IEnumEventEx> events;
      ASSERT_EQ(e->CreateEventEnum(0, start, events.Put()), S_OK);
      std::vector<std::int32_t> got;
      for (const auto& ev : ReadAllEvents(events.Get(), 3)) got.push_back(ev.mPosition.mTickPosition);
      std::vector<std::int32_t> rest;
      for (auto t : wanted)
        if (t >= start) rest.push_back(t);
      EXPECT_EQ(got, rest);
    }
    // Find: forwards from after the first event gives the second; backwards from before the third, the second.
    ComPtr<IEnumEventEx> events;
    ASSERT_EQ(e->CreateEventEnum(0, 0, events.Put()), S_OK);
    std::int32_t position = -1;
    EXPECT_EQ(events->Find(0, wanted[0] + 1, 0, kRecordEndOffset), S_OK);
    events->GetPosition(&position);
    EXPECT_EQ(position, wanted[1]);
    EXPECT_EQ(events->Find(1, wanted[2] - 1, 0, kRecordEndOffset), S_OK);
    events->GetPosition(&position);
    EXPECT_EQ(position, wanted[1]);
    const auto after = ReadAllEvents(events.Get(), 2);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().mPosition.mTickPosition, wanted[1]);
    EXPECT_EQ(after.size(), wanted.size() - 1);
  }
}

TEST_F(BuiltinFunctions, CallsMayLeaveOutOnlyTrailingDefaults) {
  const std::pair<const wchar_t*, const char*> cases[] = {
      {L"EventInterp()", "position 1: EventInterp takes 1 to 2 arguments but 0 were given"},
      {L"EventInterp(Peaks(Ch1, 1), 0, 1)", "position 1: EventInterp takes 1 to 2 arguments but 3 were given"},
      {L"threshold(Ch1)", "position 1: threshold takes 2 arguments but 1 was given"},
      {L"decimatesec(Ch1, -1)",
       "position 18: parameter 'Seconds' of decimatesec must lie between 0 and 1e+09 (it is -1)"},
      {L"EventInterp(Ch1)",
       "position 13: parameter 'Event Source' of EventInterp cannot be a channel or sample expression"},
      {L"Cycles(Ch2, 1, 0.5)", nullptr},
  };
  for (const auto& [text, message] : cases) {
    auto e = mEngine->CompileText(text);
    if (message)
      EXPECT_EQ(e ? std::string("compiled") : e.ErrorMessage(), message) << ToUtf8(text);
    else
      EXPECT_TRUE(e) << ToUtf8(text) << ": " << e.ErrorMessage();
  }
}

}  // namespace
