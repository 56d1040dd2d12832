#include "spirometry/calc/sp_flow_enum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "host/calc/channel_data.h"
#include "host/com/text.h"
#include "spirometry/calc/memory_source.h"
#include "spirometry/calc/sp_flow_settings.h"
#include "spirometry/calc/units_check.h"

using namespace Spirometry;
using namespace Spirometry::testing;

namespace {
ComPtr<IEnumFloatEx> Flow(const std::wstring& parameters, IUnknown* source, IChannelData* host = nullptr,
                          std::int32_t online = 0, std::int32_t record = 0) {
  ComPtr<ICalcEnum> e;
  EXPECT_EQ(SpFlowEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
  e->SetHost(host);
  EXPECT_EQ(e->SetParameters(parameters.c_str(), nullptr), S_OK);
  EXPECT_EQ(e->SetSources(record, 1, &source, 0, 0.01, online), S_OK);
  return e.As<IEnumFloatEx>();
}

std::vector<float> Transformed(const std::wstring& parameters, std::vector<float> volts, std::wstring units = L"V") {
  auto source = MakeCom<MemorySource>(std::move(volts), 0.01, std::move(units));
  return ReadToEnd(Flow(parameters, source.Get()).Get());
}

std::wstring Current(void (*edit)(SpFlowFields&)) {
  SpFlowFields f;
  edit(f);
  f.RebuildParameterString();
  return f.mParameterString;
}
}  // namespace

TEST(SpFlowEnum, TransformsVoltsIntoFlowForEachFormOfParameters) {
  const std::wstring preset2NonLinear = Current([](SpFlowFields& f) {
    f.mPresetIndex = 2;
    f.mApplyNonLinear = true;
  });
  const std::wstring custom25NonLinear = Current([](SpFlowFields& f) {
    f.mUseCustomHeadScale = true;
    f.mHeadScale = 2.5;
    f.mApplyNonLinear = true;
  });
  const std::wstring unknownPreset = Current([](SpFlowFields& f) {
    f.mPresetIndex = 7;
    f.mHeadScale = 2.0;
  });
  const std::wstring linearHeadAskedNonLinear = Current([](SpFlowFields& f) {
    f.mPresetIndex = 3;
    f.mApplyNonLinear = true;
  });
  struct Case {
    const char* name;
    std::wstring parameters;
    std::vector<float> expected;  // for 1 V, -1 V, 0.5 V
  };
  const Case cases[] = {
      {"preset 2 non-linear", preset2NonLinear, {7.4277f, -7.4277f, 11.79f * 0.5f * (1 - 0.37f * 0.5f)}},
      {"custom head scale stays linear", custom25NonLinear, {2.5f, -2.5f, 1.25f}},
      {"older form, coefficient 1", L"1 0 40.1 1.0", {40.1f, -40.1f, 20.05f}},
      {"older form, non-linear coefficient",
       L"0 0 11.79 0.37",
       {7.4277f, -7.4277f, 11.79f * 0.5f * (1 - 0.37f * 0.5f)}},
      {"too short: preset 3 linear", L"1 0 2", {40.1f, -40.1f, 20.05f}},
      {"preset outside the table keeps the head scale", unknownPreset, {2.0f, -2.0f, 1.0f}},
      {"coefficient 1.0 is never applied", linearHeadAskedNonLinear, {40.1f, -40.1f, 20.05f}},
  };
  for (const auto& c : cases) {
    auto out = Transformed(c.parameters, {1.0f, -1.0f, 0.5f});
    ASSERT_EQ(out.size(), 3u) << c.name;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-5) << c.name << " sample " << i;
  }
}

TEST(SpFlowEnum, RefusesATextWithAFieldThatDoesNotReadWholeAndKeepsWhatItHad) {
  const std::pair<std::wstring, float> cases[] = {
      // text, flow of 1 V afterwards (0: refused)
      {L"1 0.5 40.100000000000001 1", 0.0f},  // a fraction as the channel
      {L"0.5 0 40.100000000000001 1", 0.0f},  // and as the drift switch
      {std::wstring(L"-2147483648\t0.5\t3\t0\t40.1\t0\t0\t0\t0\t0\t") + L'\0', 0.0f},
      {L"0 0 40.1 1x", 0.0f},
      {L"0 0 2.5", 2.5f},  // fields the text does not hold keep their values
  };
  for (const auto& [text, flow] : cases) {
    auto source = MakeCom<MemorySource>(std::vector<float>{1.0f}, 0.01, L"V");
    ComPtr<ICalcEnum> e;
    ASSERT_EQ(SpFlowEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
    ASSERT_EQ(e->SetParameters(L"0 0 3 1", nullptr), S_OK);
    EXPECT_EQ(e->SetParameters(text.c_str(), nullptr), flow != 0.0f ? S_OK : E_INVALIDARG) << ToUtf8(text);
    IUnknown* s = source.Get();
    ASSERT_EQ(e->SetSources(0, 1, &s, 0, 0.01, 0), S_OK);
    EXPECT_EQ(ReadToEnd(e.As<IEnumFloatEx>().Get()), std::vector<float>{flow != 0.0f ? flow : 3.0f}) << ToUtf8(text);
  }
}

TEST(SpFlowEnum, NoiseFloorZeroesOnlyFlowsStrictlyBelowIt) {
  const std::wstring floor = Current([](SpFlowFields& f) {
    f.mUseCustomHeadScale = true;
    f.mHeadScale = 1.0;
    f.mApplyNoiseFloor = true;
    f.mNoiseFloor = 0.01;
  });
  EXPECT_EQ(Transformed(floor, {0.01f, 0.0099f, -0.0099f, -0.01f}), (std::vector<float>{0.01f, 0.0f, 0.0f, -0.01f}));
  // Long enough for the samples to go eight at a time where the processor can.
  EXPECT_EQ(Transformed(floor, {0.0099f, 0.01f, -0.01f, -0.0099f, 0.01f, 0.0099f, -0.0099f, -0.01f, 0.0099f, 0.5f}),
            (std::vector<float>{0.0f, 0.01f, -0.01f, 0.0f, 0.01f, 0.0f, 0.0f, -0.01f, 0.0f, 0.5f}));
  // Millivolts: the floor still acts on litres per second, after the host's factor of 10^-3.
  EXPECT_EQ(Transformed(floor, {10.0f, 9.9f}, L"mV"), (std::vector<float>{10.0f, 0.0f}));
  // The same strict rule after the non-linear compensation: a flow exactly at the floor stays. The
  // parameter text holds six digits, so the input is chosen to give a flow of 4.80443 L/s to the bit.
  constexpr float kVoltsAtFloor = 0.500000656f;
  const auto atFloor = static_cast<float>((1.0 - 0.37 * kVoltsAtFloor) * 11.79 * kVoltsAtFloor);
  const std::wstring compensated = Current([](SpFlowFields& f) {
    f.mPresetIndex = 2;
    f.mApplyNonLinear = true;
    f.mApplyNoiseFloor = true;
    f.mNoiseFloor = 4.80443;
  });
  EXPECT_EQ(Transformed(compensated, {kVoltsAtFloor, 0.5f}), (std::vector<float>{atFloor, 0.0f}));
}

TEST(SpFlowEnum, ACustomHeadScaleIsLinearAfterACompensatedPreset) {
  auto source = MakeCom<MemorySource>(std::vector<float>{0.5f}, 0.01, L"V");
  ComPtr<ICalcEnum> e;
  ASSERT_EQ(SpFlowEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
  ASSERT_EQ(e->SetParameters(Current([](SpFlowFields& f) {
                               f.mPresetIndex = 2;
                               f.mApplyNonLinear = true;
                             }).c_str(),
                             nullptr),
            S_OK);
  ASSERT_EQ(e->SetParameters(Current([](SpFlowFields& f) {
                               f.mPresetIndex = 2;
                               f.mUseCustomHeadScale = true;
                               f.mHeadScale = 2.5;
                               f.mApplyNonLinear = true;
                             }).c_str(),
                             nullptr),
            S_OK);
  IUnknown* s = source.Get();
  ASSERT_EQ(e->SetSources(0, 1, &s, 0, 0.01, 0), S_OK);
  EXPECT_EQ(ReadToEnd(e.As<IEnumFloatEx>().Get()), std::vector<float>{1.25f});
}

TEST(SpFlowEnum, NonLinearCompensationActsOnVoltsWhateverTheSourcePrefix) {
  const std::wstring preset2 = Current([](SpFlowFields& f) {
    f.mPresetIndex = 2;
    f.mApplyNonLinear = true;
  });
  auto out = Transformed(preset2, {1000.0f}, L"mV");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_NEAR(out[0] * 1e-3, 7.4277, 1e-5);
}

TEST(SpFlowEnum, ReadPassesOnTheSourceResultWhenShortAndStillTransforms) {
  auto source = MakeCom<MemorySource>(std::vector<float>{1.0f, 2.0f}, 0.01, L"V");
  auto flow = Flow(L"0 0 3 1", source.Get());
  float buffer[4] = {};
  std::int32_t got = 0;
  EXPECT_EQ(flow->Read(4, buffer, &got), S_FALSE);
  EXPECT_EQ(got, 2);
  EXPECT_FLOAT_EQ(buffer[1], 6.0f);
}

TEST(SpFlowEnum, UnitsCheckKnowsTheSiPrefixesOfVolts) {
  struct Case {
    const wchar_t* units;
    std::optional<int> exponent;
  };
  const Case cases[] = {{L"", 0},
                        {L"V", 0},
                        {L"mV", -3},
                        {L"uV", -6},
                        {L"\u00B5V", -6},
                        {L"kV", 3},
                        {L"MV", 6},
                        {L"YV", 24},
                        {L"yV", -24},
                        {L"xV", std::nullopt},
                        {L"mv", std::nullopt},
                        {L"mA", std::nullopt},
                        {L"Volt", std::nullopt},
                        {L"L/s", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(VoltagePrefixExponent(c.units), c.exponent) << std::wstring(c.units).size();
}

// Drift correction needs the host: the record length, the raw channel's ends and its full scale.
class SpFlowDrift : public ::testing::Test {
 protected:
  ComPtr<IEnumFloatEx> DriftFlow(std::vector<float> volts, std::int32_t online = 0,
                                 const wchar_t* parameters = L"1 0 10 1") {
    mFile = std::make_shared<kymora::DataFile>();
    mFile->AddChannel(L"Raw flow");
    mFile->AddBlock(0.01, static_cast<std::int64_t>(volts.size()));
    mFile->SetSamples(0, 0, L"V", 1.0, volts);  // full scale 1 V: ends within 0.025 V are quiet
    mData = MakeCom<kymora::ChannelData>(mFile, kymora::HostServices{});
    // Drift switch, channel 0 (also the calculation's own), head scale 10, linear.
    return Flow(parameters, RawReader().Get(), mData.Get(), online);
  }
  ComPtr<IEnumFloatEx> RawReader() {
    ComPtr<IEnumFloatEx> raw;
    EXPECT_EQ(mData->OpenReader(0x1001, 0, {0, 0}, {DataPosition::kNotSet, 0}, raw.Put()), S_OK);
    return raw;
  }
  std::shared_ptr<kymora::DataFile> mFile;
  ComPtr<kymora::ChannelData> mData;
};

TEST_F(SpFlowDrift, RemovesTheLineThroughQuietEndsOfRecordsLongerThan20) {
  struct Case {
    const char* name;
    std::size_t length;
    float noisyLastSample;  // 0: quiet
    std::int32_t online;
    bool corrected;
    const wchar_t* parameters = L"1 0 10 1";
  };
  const Case cases[] = {
      {"21 samples", 21, 0.0f, 0, true},
      {"drift switch 2 is no switch", 21, 0.0f, 0, false, L"2 0 10 1"},
      {"20 samples", 20, 0.0f, 0, false},
      {"noisy end", 21, 0.03f, 0, false},
      {"record being acquired", 21, 0.0f, -1, false},
      {"long record", 5000, 0.0f, 0, true},
  };
  for (const auto& c : cases) {
    std::vector<float> volts(c.length);
    for (std::size_t i = 0; i < c.length; ++i) volts[i] = 0.01f + 1e-6f * static_cast<float>(i);
    if (c.noisyLastSample != 0.0f) volts[c.length - 3] = c.noisyLastSample;
    auto out = ReadToEnd(DriftFlow(volts, c.online, c.parameters).Get());
    ASSERT_EQ(out.size(), c.length) << c.name;
    const std::size_t middle = c.length / 2;
    if (c.corrected)
      EXPECT_NEAR(out[middle], 0.0f, 2e-4) << c.name;
    else
      EXPECT_FLOAT_EQ(out[middle], 10.0f * volts[middle]) << c.name;
  }
}

TEST_F(SpFlowDrift, ARecordIsAnalysedOnceWhateverItsLengthWhenTheSourcesAreSetAgain) {
  auto flow = DriftFlow(std::vector<float>(30, 0.01f));
  mFile->blocks[0].length = 60;
  mFile->SetSamples(0, 0, L"V", 1.0, std::vector<float>(60, 0.02f));
  auto reader = RawReader();
  IUnknown* raw = reader.Get();
  ASSERT_EQ(flow.As<ICalcEnum>()->SetSources(0, 1, &raw, 0, 0.01, 0), S_OK);
  const auto out = ReadToEnd(flow.Get());
  ASSERT_EQ(out.size(), 60u);
  EXPECT_NEAR(out[45], 10.0f * (0.02f - 0.01f), 1e-4) << "the line of the first 30 samples is kept";
}

TEST_F(SpFlowDrift, ClonesCarryTheDriftLine) {
  std::vector<float> volts(100, 0.02f);
  volts[50] = 0.5f;
  auto flow = DriftFlow(volts);
  ComPtr<IEnumFloatEx> clone;
  ASSERT_EQ(flow->Clone(clone.Put()), S_OK);
  auto a = ReadToEnd(flow.Get(), 7);
  auto b = ReadToEnd(clone.Get(), 13);
  EXPECT_EQ(a, b);
  EXPECT_NEAR(a[50], 10.0f * (0.5f - 0.02f), 1e-4);
}

namespace {
// The drift line as the flow calculation describes it, written apart from the code: the mean (a float
// sum over ten, divided by 10.0) and the peak of each end's ten samples; a line through the means, its
// slope in single precision, when both ends stay below 2.5 % of full scale and hold no missing sample.
struct Line {
  double a = 0.0, b = 0.0;
};

Line ReferenceLine(const std::vector<float>& x, double fullScale) {
  const std::size_t n = x.size();
  if (n <= 20) return {};
  float mean[2], peak[2];
  bool whole = true;
  for (int end = 0; end < 2; ++end) {
    float sum = 0.0f;
    peak[end] = 0.0f;
    for (std::size_t i = end == 0 ? 0 : n - 10, k = 0; k < 10; ++i, ++k) {
      sum += x[i];
      peak[end] = std::max(peak[end], std::fabs(x[i]));
      whole = whole && std::isfinite(x[i]);
    }
    mean[end] = static_cast<float>(sum / 10.0);
  }
  const double quiet = 0.025 * fullScale;
  if (!whole || !(quiet > peak[0] && quiet > peak[1])) return {};
  return {mean[0], (mean[1] - mean[0]) / static_cast<float>(n)};
}

// A baseline that drifts, quiet or noisy ends, a breath in the middle, now and then a missing sample.
std::vector<float> RandomRaw(std::mt19937& random, std::size_t n) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double start = 0.015 * unit(random), slope = 0.015 * unit(random) / static_cast<double>(n + 1);
  std::vector<float> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = static_cast<float>(start + slope * static_cast<double>(i) + 0.002 * unit(random));
  if (n > 30) x[n / 2] = 0.6f;
  if (n > 0 && random() % 4 == 0) x[random() % n] = random() % 2 ? NAN : 0.03f;
  return x;
}
}  // namespace

// One enumerator set to random records in turn, some changed after it analysed them, some online, and
// clones: each record's line is computed once, when the sources are set for a record other than the last.
TEST(SpFlowEnum, EverySampleMatchesTheDescribedDriftLineOnRandomRecords) {
  std::mt19937 random(21);
  constexpr double kHeadScale = 10.0;
  int lines = 0;
  for (int round = 0; round < 80 && !HasFailure(); ++round) {
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Raw flow");
    std::vector<std::vector<float>> records(3);
    for (std::int32_t r = 0; r < 3; ++r) {
      records[r] = RandomRaw(random, random() % 61);
      file->AddBlock(0.01, static_cast<std::int64_t>(records[r].size()));
      file->SetSamples(r, 0, L"V", 1.0, records[r]);
    }
    auto data = MakeCom<kymora::ChannelData>(file, kymora::HostServices{});
    const bool drift = random() % 4 != 0;
    ComPtr<ICalcEnum> e;
    ASSERT_EQ(SpFlowEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
    e->SetHost(data.Get());
    ASSERT_EQ(e->SetParameters(drift ? L"1 0 10 1" : L"0 0 10 1", nullptr), S_OK);
    std::int32_t analysed = -1;
    Line line;
    for (int step = 0; step < 6; ++step) {
      if (random() % 4 == 0) {
        const auto r = static_cast<std::int32_t>(random() % 3);
        records[r] = RandomRaw(random, records[r].size());
        file->SetSamples(r, 0, L"V", 1.0, records[r]);
      }
      if (random() % 5 == 0) {
        ComPtr<ICalcEnum> clone;
        ASSERT_EQ(e->Clone(clone.Put()), S_OK);
        e = clone;
      }
      const auto r = static_cast<std::int32_t>(random() % 3);
      const std::int32_t online = random() % 5 == 0 ? -1 : 0;
      ComPtr<IEnumFloatEx> raw;
      ASSERT_EQ(data->OpenReader(0x1001, 0, {0, r}, {DataPosition::kNotSet, r}, raw.Put()), S_OK);
      IUnknown* source = raw.Get();
      ASSERT_EQ(e->SetSources(r, 1, &source, 0, 0.01, online), S_OK);
      if (drift && online >= 0 && r != analysed) {
        analysed = r;
        line = ReferenceLine(records[r], 1.0);
        lines += line.a != 0.0;
      }
      const auto got = ReadToEnd(e.As<IEnumFloatEx>().Get(), 1 + static_cast<std::int32_t>(random() % 30));
      ASSERT_EQ(got.size(), records[r].size());
      for (std::size_t i = 0; i < got.size(); ++i) {
        float x = records[r][i];
        if (drift && online >= 0) x -= static_cast<float>(line.a + line.b * static_cast<double>(i));
        const auto want = static_cast<float>(kHeadScale * static_cast<double>(x));
        ASSERT_TRUE(got[i] == want || (std::isnan(got[i]) && std::isnan(want)))
            << "round " << round << " step " << step << " record " << r << " sample " << i << ": " << got[i] << " for "
            << want;
      }
    }
    data->Shutdown();
  }
  EXPECT_GT(lines, 40);  // enough records whose line is removed, not left alone
}
