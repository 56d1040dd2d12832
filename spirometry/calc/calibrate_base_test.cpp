#include "spirometry/calc/calibrate_base.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/calc/channel_data.h"
#include "spirometry/resources/string_table.h"

using namespace Spirometry;

namespace {
// One "L/s" flow channel (channel 0) over blocks of the given samples, and a channel without data.
class Recording {
 public:
  Recording(std::vector<std::vector<float>> blocks, double secsPerTick, const std::wstring& units = L"L/s") {
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Flow");
    file->AddChannel(L"Empty");
    for (auto& samples : blocks) {
      const auto block = file->AddBlock(secsPerTick, static_cast<std::int64_t>(samples.size()));
      file->SetSamples(block, 0, units, 10.0, std::move(samples));
    }
    mFile = file;
    mData = MakeCom<kymora::ChannelData>(file, kymora::HostServices{});
  }
  ~Recording() { mData->Shutdown(); }
  void Select(DataPosition start, DataPosition end) { mFile->selection = {true, start, end}; }
  void ClearSelection() { mFile->selection = {}; }
  IChannelData* Data() { return mData.Get(); }

 private:
  std::shared_ptr<kymora::DataFile> mFile;
  ComPtr<kymora::ChannelData> mData;
};

std::vector<float> Repeat(std::initializer_list<std::pair<float, int>> levels, int times = 1) {
  std::vector<float> out;
  for (int t = 0; t < times; ++t)
    for (auto [value, n] : levels) out.insert(out.end(), static_cast<std::size_t>(n), value);
  return out;
}

std::vector<float> Times(std::vector<float> v, float factor) {
  for (float& x : v) x *= factor;
  return v;
}

constexpr DataPosition kSelection{};  // not set: the document's selection

// A host whose block ends lie far beyond the samples its readers deliver: only what is read may count.
class OverstatedEnds final : public ComObject<IChannelData> {
 public:
  explicit OverstatedEnds(IChannelData* data) : mData(data) {}
  HRESULT GetAbsoluteSampleIndex(std::uint32_t flags, DataPosition p, std::int64_t* index) override {
    HRESULT hr = mData->GetAbsoluteSampleIndex(flags, p, index);
    if (Succeeded(hr) && p.offset == DataPosition::kNotSet) *index += std::int64_t{1} << 62;
    return hr;
  }
  HRESULT GetChannelCount(std::int32_t* n) override { return mData->GetChannelCount(n); }
  HRESULT GetBlockCount(std::int32_t* n) override { return mData->GetBlockCount(n); }
  HRESULT GetBlockLength(std::uint32_t f, std::int32_t b, std::int32_t c, std::int64_t* n) override {
    return mData->GetBlockLength(f, b, c, n);
  }
  HRESULT GetSecsPerTick(std::uint32_t f, std::int32_t b, std::int32_t c, double* s) override {
    return mData->GetSecsPerTick(f, b, c, s);
  }
  HRESULT HasData(std::uint32_t f, std::int32_t b, std::int32_t c) override { return mData->HasData(f, b, c); }
  HRESULT GetUnits(std::uint32_t f, std::int32_t b, std::int32_t c, IUnits** u) override {
    return mData->GetUnits(f, b, c, u);
  }
  HRESULT GetUnitsConversion(std::uint32_t f, std::int32_t b, std::int32_t c, IUnitsConversion** u) override {
    return mData->GetUnitsConversion(f, b, c, u);
  }
  HRESULT GetSample(std::uint32_t f, std::int32_t b, std::int32_t c, std::int64_t o, float* v) override {
    return mData->GetSample(f, b, c, o, v);
  }
  HRESULT GetTimeOfPosition(std::uint32_t f, DataPosition p, double* s) override {
    return mData->GetTimeOfPosition(f, p, s);
  }
  HRESULT GetSelection(Bool16* v, DataPosition* s, DataPosition* e) override { return mData->GetSelection(v, s, e); }
  HRESULT OpenReader(std::uint32_t f, std::int32_t c, DataPosition s, DataPosition e, IEnumFloatEx** r) override {
    return mData->OpenReader(f, c, s, e, r);
  }
  HRESULT GetChannelCalc(std::int32_t c, IChannelCalc** calc) override { return mData->GetChannelCalc(c, calc); }
  HRESULT GetChannelTitle(std::int32_t c, std::wstring* t) override { return mData->GetChannelTitle(c, t); }

 private:
  ComPtr<IChannelData> mData;
};
}  // namespace

TEST(CalibrateBase, IntegratesTheSelectionLeavingOutTheLastSample) {
  std::vector<float> ramp(1000), gap(1000);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = gap[i] = static_cast<float>(i);
  gap[300] = NAN;
  struct Case {
    const char* name;
    std::vector<float> volts;  // 1000 samples at 1 kHz, of which 100 to 599 are selected
    double integral;
  };
  const Case cases[] = {
      {"constant 2 V", Repeat({{2.0f, 1000}}), 499 * 0.002},
      {"ramp: 100 to 598 count, 599 does not", ramp, (100 + 598) * 499 / 2 * 0.001},
      {"a missing sample adds nothing", gap, (100 + 598) * 499 / 2 * 0.001 - 0.3},
  };
  for (const auto& c : cases) {
    Recording r({c.volts}, 0.001);
    r.Select({100, 0}, {600, 0});
    CalibrateBase base(r.Data(), r.Data());
    base.SetChannel(0, 5);
    std::wstring message = L"unchanged";
    ASSERT_TRUE(base.Validate(&message)) << c.name;
    EXPECT_TRUE(message.empty()) << c.name;
    ASSERT_TRUE(base.Read()) << c.name;
    base.Integrate();
    EXPECT_EQ(base.Count(), 500) << c.name;
    EXPECT_NEAR(base.Integral(), c.integral, 1e-4 * c.integral) << c.name;
    EXPECT_EQ(base.RunningIntegral().front(), 0.0f) << c.name;
  }
}

TEST(CalibrateBase, ValidationSaysWhatIsWrongWithTheSelection) {
  Recording r({Repeat({{1.0f, 100}}), Repeat({{1.0f, 100}})}, 0.01);
  struct Case {
    const char* name;
    std::int32_t channel;
    bool hasSelection;
    DataPosition start, end;
    int message;  // 0: valid
  };
  const Case cases[] = {
      {"no channel", -1, true, {0, 0}, {10, 0}, 20},          {"no selection", 0, false, {0, 0}, {10, 0}, 21},
      {"end before start", 0, true, {50, 0}, {10, 0}, 21},    {"two blocks", 0, true, {50, 0}, {10, 1}, 22},
      {"channel without data", 1, true, {0, 0}, {10, 0}, 23}, {"valid", 0, true, {0, 1}, {DataPosition::kNotSet, 1}, 0},
  };
  for (const auto& c : cases) {
    if (c.hasSelection)
      r.Select(c.start, c.end);
    else
      r.ClearSelection();
    CalibrateBase base(r.Data(), r.Data());
    base.SetChannel(c.channel, -1);
    std::wstring message;
    EXPECT_EQ(base.Validate(&message), c.message == 0) << c.name;
    EXPECT_EQ(message, c.message ? LoadString(c.message) : L"") << c.name;
  }
}

TEST(CalibrateBase, AnExplicitRangeWinsOverTheSelection) {
  Recording r({Repeat({{1.0f, 100}, {3.0f, 100}})}, 0.01);
  r.Select({0, 0}, {100, 0});
  CalibrateBase c(r.Data(), r.Data());
  c.SetChannel(0, -1);
  c.SetRange({100, 0}, {150, 0});
  ASSERT_TRUE(c.Validate(nullptr));
  ASSERT_TRUE(c.Read());
  EXPECT_EQ(c.Samples(), std::vector<float>(50, 3.0f));
}

TEST(CalibrateBase, VolumeRatioOfEachKindOfSelection) {
  struct Case {
    const char* name;
    std::vector<float> flow;  // L/s at 100 Hz
    std::int32_t type;
    double deadSpaceMl;
    double expected, tolerance;
    std::wstring units = L"L/s";
  };
  const Case cases[] = {
      {"normal: inspiration only", Repeat({{1.0f, 300}}), 0, 150, 1.0, 0},
      {"normal: expirations within the dead space", Repeat({{1.0f, 10}, {-1.0f, 9}}, 20), 0, 150, 1.0, 0},
      {"normal: expired 1.2 times the inspired", Repeat({{1.0f, 100}, {-1.2f, 100}}, 20), 0, 0, 1.2, 0.05},
      {"full: no inspiration and no dead space", Repeat({{-1.0f, 300}}), 1, 0, 0.0, 0},
      {"full: 1.5 L in, 2 L out", Repeat({{1.5f, 100}, {-1.0f, 200}}), 1, 150, 1.85 / 1.35, 0.01},
      // From sample 0 to sample 200 (2n/3 of 301), the first of the last third, both ends included.
      {"full: lowest points at the first samples of the thirds", Repeat({{1.5f, 100}, {-1.0f, 100}, {1.0f, 101}}), 1, 0,
       1.0 / 1.51, 1e-5},
      {"other correction type", Repeat({{1.5f, 100}, {-1.0f, 200}}), 2, 150, 1.0, 0},
      // The dead space is in millilitres whatever the flow's prefix.
      {"normal, mL/s: expirations within the dead space", Times(Repeat({{1.0f, 10}, {-1.0f, 9}}, 20), 1e3f), 0, 150,
       1.0, 0, L"mL/s"},
      {"full, \u00B5L/sec: 1.5 L in, 2 L out", Times(Repeat({{1.5f, 100}, {-1.0f, 200}}), 1e6f), 1, 150, 1.85 / 1.35,
       0.01, L"\u00B5L/sec"},
  };
  for (const auto& c : cases) {
    Recording r({c.flow}, 0.01, c.units);
    r.Select({0, 0}, {DataPosition::kNotSet, 0});
    CalibrateBase base(r.Data(), r.Data());
    EXPECT_NEAR(base.VolumeRatio(r.Data(), kSelection, kSelection, 0, c.type, c.deadSpaceMl), c.expected, c.tolerance)
        << c.name;
  }
}

TEST(CalibrateBase, VolumeRatioIsOneWhenTheSelectionIsRefused) {
  Recording r({Repeat({{1.5f, 100}, {-1.0f, 200}}), Repeat({{1.0f, 10}})}, 0.01);
  r.Select({0, 0}, {5, 1});
  CalibrateBase base(r.Data(), r.Data());
  EXPECT_EQ(base.VolumeRatio(r.Data(), kSelection, kSelection, 0, 1, 150), 1.0);
  // The same range given explicitly within one block is accepted.
  EXPECT_NEAR(base.VolumeRatio(r.Data(), {0, 0}, {300, 0}, 0, 1, 150), 1.37, 0.01);
}

TEST(CalibrateBase, ReadsWhatTheReaderDeliversWhateverCountThePositionsGive) {
  Recording r({Repeat({{1.5f, 100}, {-1.0f, 200}})}, 0.01);
  r.Select({0, 0}, {DataPosition::kNotSet, 0});
  auto host = MakeCom<OverstatedEnds>(r.Data());
  CalibrateBase base(host.Get(), host.Get());
  base.SetChannel(0, -1);
  ASSERT_TRUE(base.Validate(nullptr));
  EXPECT_TRUE(base.Read());
  EXPECT_EQ(base.Count(), 300);
  EXPECT_NEAR(base.VolumeRatio(host.Get(), kSelection, kSelection, 0, 1, 150), 1.37, 0.01);
}
