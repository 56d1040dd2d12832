// The tidal-volume and minute-ventilation channels as the host runs them, against breaths of known
// volume; their expressions, units and settings streams.
#include "spirometry/calc/ventilation_calc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "host/calc/ienum_float_ex.h"
#include "host/com/ipersist_object.h"  // before the stream helpers, which use it
#include "host/data/iunits.h"
#include "spirometry/calc/stream_test_support.h"
#include "spirometry/extension/test_host.h"

using namespace Spirometry;
using Spirometry::testing::Bytes;

namespace {
constexpr double kSecs = 0.01;  // 100 samples per second

// Breaths of varying depth and length with noise, in whole minutes: the breaths of each minute fill it, so
// that no breath straddles a minute. Each breath is a half-sine in, then a half-sine out.
struct Breathing {
  std::vector<float> flow;
  std::vector<std::int64_t> starts;  // first tick of each breath
  std::vector<double> expired;       // its expired volume, from the noise-free flow
  std::vector<double> expiredPerMinute;
};

Breathing MakeBreathing(int minutes, double flowScale) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> noise(0, 0.004);
  Breathing b;
  for (int m = 0; m < minutes; ++m) {
    const int count = 12 + static_cast<int>(u(random) * 7);
    std::vector<double> weights(static_cast<std::size_t>(count));
    for (auto& w : weights) w = 0.7 + 0.6 * u(random);
    double sum = 0;
    for (double w : weights) sum += w;
    std::int64_t used = 0;
    double minute = 0;
    for (int i = 0; i < count; ++i) {
      const auto ticks =
          i + 1 == count ? 6000 - used
                         : static_cast<std::int64_t>(std::lround(6000 * weights[static_cast<std::size_t>(i)] / sum));
      used += ticks;
      const auto in = static_cast<std::int64_t>(static_cast<double>(ticks) * 0.4);
      const std::int64_t out = ticks - in;
      const double a = 0.3 + 0.4 * u(random), e = 0.25 + 0.35 * u(random);
      b.starts.push_back(static_cast<std::int64_t>(b.flow.size()));
      double volume = 0;
      for (std::int64_t k = 0; k < in; ++k)
        b.flow.push_back(
            static_cast<float>(a * std::sin(std::numbers::pi * static_cast<double>(k) / static_cast<double>(in))));
      for (std::int64_t k = 0; k < out; ++k) {
        const double f = -e * std::sin(std::numbers::pi * static_cast<double>(k) / static_cast<double>(out));
        volume -= f * kSecs;
        b.flow.push_back(static_cast<float>(f));
      }
      b.expired.push_back(volume);
      minute += volume;
    }
    b.expiredPerMinute.push_back(minute);
  }
  for (auto& f : b.flow) f = static_cast<float>((f + noise(random)) * flowScale);
  return b;
}

// A recording with the flow on channel 1 and two empty channels for the calculations.
std::unique_ptr<kymora::HostDocument> Recording(std::vector<float> flow, std::wstring units, double range = 2.0) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Flow");
  file->AddChannel(L"Tidal volume");
  file->AddChannel(L"Minute ventilation");
  file->AddBlock(kSecs, static_cast<std::int64_t>(flow.size()));
  file->SetSamples(0, 0, std::move(units), range, std::move(flow));
  return Spirometry::testing::MakeDocument(file);
}

class VentilationChannels : public ::testing::Test {
 protected:
  void SetUp() override { mRegistry = Spirometry::testing::InstallModuleClasses(); }

  HRESULT Put(kymora::HostDocument& doc, std::int32_t channel, const wchar_t* className,
              std::vector<std::pair<const wchar_t*, const wchar_t*>> values, ComPtr<IChannelCalc>* out = nullptr) {
    ComPtr<IChannelCalc> calc;
    EXPECT_EQ(doc.Data().PutCalculation(channel, mRegistry->Calculations().FindByName(className).Get(), &calc), S_OK);
    ComPtr<IPersistObject> settings;
    calc->GetSettings(settings.Put());
    for (auto [key, value] : values) EXPECT_EQ(settings.As<IKeyValueSettings>()->SetValue(key, value, nullptr), S_OK);
    if (out) *out = calc;
    return calc->ApplySettings(settings.Get(), kTrue16);
  }
  static std::vector<float> Read(kymora::HostDocument& doc, std::int32_t channel) {
    ComPtr<IEnumFloatEx> reader;
    EXPECT_EQ(doc.Data().OpenReader(0x40001000, channel, {0, 0}, {DataPosition::kNotSet, 0}, reader.Put()), S_OK)
        << doc.Data().LastError();
    std::vector<float> all(doc.File().blocks[0].length);
    std::int32_t got = 0;
    if (reader) reader->Read(static_cast<std::int32_t>(all.size()), all.data(), &got);
    all.resize(static_cast<std::size_t>(got));
    return all;
  }
  static std::wstring Units(kymora::HostDocument& doc, std::int32_t channel) {
    ComPtr<IUnits> units;
    std::wstring text;
    if (Succeeded(doc.Data().GetUnits(0x40000000, 0, channel, units.Put())) && units) units->GetText(&text);
    return text;
  }

  ComPtr<kymora::HostRegistry> mRegistry;
};

TEST_F(VentilationChannels, StepToEachBreathsVolumeAndSumTheVolumesOfEachMinute) {
  // The same breathing in L/s and in L/min: the channels do not depend on the unit of time of the flow.
  for (const auto& [units, scale] : {std::pair{L"L/s", 1.0}, std::pair{L"L/min", 60.0}}) {
    SCOPED_TRACE(std::string(units, units + std::wcslen(units)));
    const Breathing b = MakeBreathing(4, scale);
    auto doc = Recording(b.flow, units, 2.0 * scale);
    ASSERT_LE(Put(*doc, 1, L"SpTidalVolCalculation", {{L"source", L"1"}}), S_FALSE);
    ASSERT_LE(Put(*doc, 2, L"SpMinVentCalculation", {{L"source", L"1"}, {L"interval", L"60"}}), S_FALSE);
    EXPECT_EQ(Units(*doc, 1), L"L");
    EXPECT_EQ(Units(*doc, 2), L"L/min");

    const auto tidal = Read(*doc, 1);
    ASSERT_EQ(tidal.size(), b.flow.size());
    // Each breath from the second on starts where the previous expiration ends; the last one has no end.
    for (std::size_t i = 1; i + 1 < b.starts.size(); ++i) {
      const auto start = static_cast<std::size_t>(b.starts[i]);
      SCOPED_TRACE("breath " + std::to_string(i) + " at " + std::to_string(start));
      EXPECT_NE(tidal[start - 3], tidal[start + 3]) << "no step near the breath's start";
      EXPECT_NEAR(tidal[start + 3], b.expired[i], 0.005 * b.expired[i]);
      EXPECT_NEAR(tidal[static_cast<std::size_t>(b.starts[i + 1]) - 4], b.expired[i], 0.005 * b.expired[i]);
    }
    const auto minute = Read(*doc, 2);
    ASSERT_EQ(minute.size(), b.flow.size());
    for (std::size_t m = 0; m < b.expiredPerMinute.size(); ++m)
      for (std::size_t t : {m * 6000, m * 6000 + 2999, m * 6000 + 5999})
        EXPECT_NEAR(minute[t], b.expiredPerMinute[m], 0.005 * b.expiredPerMinute[m]) << "minute " << m << " tick " << t;
  }
}

TEST_F(VentilationChannels, ExpiratoryFlowIsDividedIntoBreathsByTheHostsCycles) {
  // Expirations only: bursts of -B sin, then rest; 2 L/s full scale, so the cycle level is 0.5 % of it.
  std::vector<float> flow(200, 0.0f);
  std::vector<std::pair<std::size_t, double>> bursts;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> u(0, 1);
  while (flow.size() < 9000) {
    const std::size_t length = 120 + static_cast<std::size_t>(u(random) * 100);
    const double depth = 0.3 + 0.5 * u(random);
    double volume = 0;
    bursts.emplace_back(flow.size(), 0.0);
    for (std::size_t k = 0; k < length; ++k) {
      const double f = -depth * std::sin(std::numbers::pi * static_cast<double>(k) / static_cast<double>(length));
      flow.push_back(static_cast<float>(f));
      volume -= static_cast<float>(f) * kSecs;
    }
    bursts.back().second = volume;
    flow.insert(flow.end(), 100 + static_cast<std::size_t>(u(random) * 150), 0.0f);
  }
  auto doc = Recording(flow, L"L/s");
  ComPtr<IChannelCalc> calc;
  ASSERT_LE(Put(*doc, 1, L"SpTidalVolCalculation", {{L"source", L"1"}, {L"expiratory", L"on"}}, &calc), S_FALSE);
  ComPtr<IPersistObject> settings;
  calc->GetSettings(settings.Put());
  EXPECT_EQ(dynamic_cast<SpTidalVolSettings*>(settings.Get())->mExpression,
            L"Eventinterp(SpTidVolExp(Ch1,Cycles(Ch1,0.01,0.5,8,0)))");
  const auto tidal = Read(*doc, 1);
  ASSERT_EQ(tidal.size(), flow.size());
  for (std::size_t i = 0; i + 1 < bursts.size(); ++i) {
    const auto [start, volume] = bursts[i];
    EXPECT_NEAR(tidal[start + 30], volume, 0.01 * volume) << "burst " << i;
  }
}

TEST(VentilationSettings, ExpressionsAndUnitsAreBuiltFromTheFields) {
  SpTidalVolFields tidal;
  tidal.mSourceChannel = 0;
  EXPECT_EQ(SpTidalVolSettings::PlainExpression(tidal.mSourceChannel), L"EventInterp(SpTidalVolume(Ch1,1),0)");
  SpMinVentFields minute;
  minute.mSourceChannel = 4;
  minute.mUpdateInterval = 15;
  EXPECT_EQ(minute.Expression(), L"-60.0 * decimatesec(Ch5*(1-threshold(Ch5,0)),15)");
  minute.mUpdateInterval = 2.5;
  EXPECT_EQ(minute.Expression(), L"-60.0 * decimatesec(Ch5*(1-threshold(Ch5,0)),2.5)");
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> units[] = {
      {L"L/s", L"L", L"L/min"}, {L"mL/s", L"mL", L"mL/min"}, {L"L/min", L"L", L"L/min"}, {L"V", L"V", L"V"}};
  for (const auto& [source, volume, ventilation] : units) {
    EXPECT_EQ(SpTidalVolCalculation::UnitsFor(source), volume);
    EXPECT_EQ(SpMinVentCalculation::UnitsFor(source), ventilation);
  }
}

TEST(VentilationSettings, StreamsRoundTripAndOlderTidalStreamsLoseTheirFlag) {
  auto tidal = MakeCom<SpTidalVolSettings>();
  tidal->mSourceChannel = 2;
  tidal->mExpiratoryOnly = true;
  tidal->mRangeBottom = -1.5f;
  tidal->mRangeTop = 3.25f;
  tidal->mExpression = L"Eventinterp(SpTidVolExp(Ch3,Cycles(Ch3,0.1,0.5,8,0)))";
  const Bytes saved = Spirometry::testing::SavedBytes(tidal.Get());
  auto back = MakeCom<SpTidalVolSettings>();
  ASSERT_EQ(Spirometry::testing::LoadBytes(back.Get(), saved), S_OK);
  EXPECT_TRUE(back->SameAs(*tidal));
  EXPECT_EQ(back->mExpression, tidal->mExpression);

  // Version 2: version, channel 2, flag 1, bottom, top; nothing more.
  Bytes v2 = {2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0};
  for (float f : {0.0f, 10.0f}) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&f);
    v2.insert(v2.end(), p, p + 4);
  }
  ASSERT_EQ(Spirometry::testing::LoadBytes(back.Get(), v2), S_OK);
  EXPECT_FALSE(back->mExpiratoryOnly);
  EXPECT_EQ(back->mExpression, L"EventInterp(SpTidalVolume(Ch3,1),0)");

  // A newer version and a cut stream leave the settings as they were.
  Bytes newer = saved;
  newer[0] = 4;
  EXPECT_EQ(Spirometry::testing::LoadBytes(back.Get(), newer), KYM_E_NEWER_VERSION);
  for (std::size_t cut : {std::size_t{3}, std::size_t{10}, saved.size() - 1}) {
    EXPECT_TRUE(Failed(Spirometry::testing::LoadBytes(
        back.Get(), Bytes(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(cut)))));
    EXPECT_EQ(back->mExpression, L"EventInterp(SpTidalVolume(Ch3,1),0)") << "cut at " << cut;
  }

  auto minute = MakeCom<SpMinVentSettings>();
  minute->mSourceChannel = 4;
  minute->mUpdateInterval = 15.5;
  minute->mRangeTop = 40;
  auto minuteBack = MakeCom<SpMinVentSettings>();
  const Bytes minuteSaved = Spirometry::testing::SavedBytes(minute.Get());
  EXPECT_EQ(minuteSaved.size(), 4u + 4 + 8 + 4 + 4);
  ASSERT_EQ(Spirometry::testing::LoadBytes(minuteBack.Get(), minuteSaved), S_OK);
  EXPECT_TRUE(minuteBack->SameAs(*minute));
  Bytes minuteNewer = minuteSaved;
  minuteNewer[0] = 2;
  EXPECT_EQ(Spirometry::testing::LoadBytes(minuteBack.Get(), minuteNewer), KYM_E_NEWER_VERSION);
}

TEST_F(VentilationChannels, UnchangedSettingsAreNotAppliedAgainWithoutForce) {
  auto doc = Recording(std::vector<float>(500, 0.0f), L"L/s");
  for (const wchar_t* name : {L"SpTidalVolCalculation", L"SpMinVentCalculation"}) {
    ComPtr<IChannelCalc> calc;
    ASSERT_LE(Put(*doc, 1, name, {{L"source", L"1"}}, &calc), S_FALSE);
    ComPtr<IPersistObject> settings;
    calc->GetSettings(settings.Put());
    EXPECT_EQ(calc->ApplySettings(settings.Get(), kFalse16), S_FALSE) << name;
    settings.As<IKeyValueSettings>()->SetValue(L"top", L"12", nullptr);
    EXPECT_LE(calc->ApplySettings(settings.Get(), kFalse16), S_OK) << name;
    EXPECT_EQ(calc->ApplySettings(settings.Get(), kFalse16), S_FALSE) << name;
  }
}

}  // namespace
