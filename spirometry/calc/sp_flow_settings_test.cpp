#include "spirometry/calc/sp_flow_settings.h"

#include <gtest/gtest.h>

#include <locale>

#include "spirometry/calc/stream_test_support.h"

using namespace Spirometry;
using namespace Spirometry::testing;

namespace {
constexpr HRESULT kReadFault = static_cast<HRESULT>(0x8003001Eu);

ComPtr<SpFlowSettings> Sample() {
  auto s = MakeCom<SpFlowSettings>();
  s->mRawFlowChannel = 2;
  s->mDriftCorrection = true;
  s->mPresetIndex = 2;
  s->mApplyNonLinear = true;
  s->mHeadScale = 1.5;
  s->mRangeTop = 10.0;
  s->mRangeBottom = -5.0;
  s->mOutputUnitsPrefix = 7;
  s->mApplyNoiseFloor = true;
  s->mNoiseFloor = 0.25;
  return s;
}

// Sample() as written by version 3, byte by byte.
const Bytes kSampleV3 = {
    0x03, 0x00, 0x00, 0x00,                          // version
    0x02, 0x01, 0x02, 0x01, 0x00,                    // channel, drift, preset, non-linear, custom
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // head scale 1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x40,  // top 10
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0xC0,  // bottom -5
    0x07, 0x00, 0x00, 0x00,                          // output units prefix
    0x01,                                            // apply noise floor
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0x3F,  // noise floor 0.25
    0x01, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // reserved empty string
    0x06, 0x12, 0x0F, 0x00,                                                  // end marker
};

std::wstring Described(SpFlowSettings* s) {
  std::wstring text;
  s->Describe(&text);
  return text;
}

bool SamePersisted(const SpFlowFields& a, const SpFlowFields& b) {
  return a.mRawFlowChannel == b.mRawFlowChannel && a.mDriftCorrection == b.mDriftCorrection &&
         a.mPresetIndex == b.mPresetIndex && a.mApplyNonLinear == b.mApplyNonLinear &&
         a.mUseCustomHeadScale == b.mUseCustomHeadScale && a.mHeadScale == b.mHeadScale && a.mRangeTop == b.mRangeTop &&
         a.mRangeBottom == b.mRangeBottom && a.mOutputUnitsPrefix == b.mOutputUnitsPrefix &&
         a.mApplyNoiseFloor == b.mApplyNoiseFloor && a.mNoiseFloor == b.mNoiseFloor;
}

// Decimal comma and digit grouping, as a user's regional settings might have them.
struct CommaDecimals : std::numpunct<wchar_t> {
  wchar_t do_decimal_point() const override { return L','; }
  wchar_t do_thousands_sep() const override { return L'.'; }
  std::string do_grouping() const override { return "\3"; }
};
}  // namespace

TEST(SpFlowSettings, SavesVersion3ByteForByte) { EXPECT_EQ(SavedBytes(Sample().Get()), kSampleV3); }

TEST(SpFlowSettings, LoadsEveryVersionItKnows) {
  // Version 1: the first six items only; version 2 adds the range and the end marker.
  const Bytes v1 = {0x01, 0x00, 0x00, 0x00, 0x05, 0x01, 0x01, 0x00, 0x01,
                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40};
  Bytes v2(v1);
  v2[0] = 0x02;
  const Bytes range = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x40, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x00, 0x14, 0xC0, 0x06, 0x12, 0x0F, 0x00};
  v2.insert(v2.end(), range.begin(), range.end());

  for (const Bytes* bytes : std::initializer_list<const Bytes*>{&v1, &v2}) {
    auto s = MakeCom<SpFlowSettings>();
    s->mNoiseFloor = 0.5;  // not in these versions: stays
    ASSERT_EQ(LoadBytes(s.Get(), *bytes), S_OK);
    EXPECT_EQ(s->mRawFlowChannel, 5);
    EXPECT_TRUE(s->mDriftCorrection);
    EXPECT_EQ(s->mPresetIndex, 1);
    EXPECT_FALSE(s->mApplyNonLinear);
    EXPECT_TRUE(s->mUseCustomHeadScale);
    EXPECT_EQ(s->mHeadScale, 2.5);
    EXPECT_EQ(s->mRangeTop, bytes == &v1 ? 20.0 : 10.0);
    EXPECT_EQ(s->mRangeBottom, bytes == &v1 ? -20.0 : -5.0);
    EXPECT_EQ(s->mNoiseFloor, 0.5);
  }
}

TEST(SpFlowSettings, RoundTripKeepsEveryPersistedFieldAndNoChannelBecomesChannel0) {
  auto loaded = MakeCom<SpFlowSettings>();
  ASSERT_EQ(LoadBytes(loaded.Get(), kSampleV3), S_OK);
  EXPECT_TRUE(SamePersisted(*loaded, *Sample()));

  auto none = MakeCom<SpFlowSettings>();  // raw flow channel not set
  auto back = MakeCom<SpFlowSettings>();
  back->mRawFlowChannel = 9;
  ASSERT_EQ(LoadBytes(back.Get(), SavedBytes(none.Get())), S_OK);
  EXPECT_EQ(back->mRawFlowChannel, 0);
}

TEST(SpFlowSettings, BooleansAreTrueOnlyAsOneExceptTheNoiseSwitch) {
  Bytes bytes = kSampleV3;
  bytes[5] = 2;   // drift
  bytes[7] = 2;   // non-linear
  bytes[8] = 2;   // custom
  bytes[37] = 2;  // apply noise floor
  auto s = MakeCom<SpFlowSettings>();
  ASSERT_EQ(LoadBytes(s.Get(), bytes), S_OK);
  EXPECT_FALSE(s->mDriftCorrection);
  EXPECT_FALSE(s->mApplyNonLinear);
  EXPECT_FALSE(s->mUseCustomHeadScale);
  EXPECT_TRUE(s->mApplyNoiseFloor);
}

TEST(SpFlowSettings, RefusedStreamsChangeNothing) {
  Bytes newer = kSampleV3;
  newer[0] = 4;
  Bytes badMarker = kSampleV3;
  badMarker.back() = 0x01;
  Bytes zero = kSampleV3;
  zero[0] = 0;
  struct Case {
    const char* name;
    Bytes bytes;
    HRESULT expected;
  };
  std::vector<Case> cases = {{"newer version", newer, KYM_E_NEWER_VERSION},
                             {"wrong end marker", badMarker, E_FAIL},
                             {"version 0", zero, E_FAIL}};
  for (std::size_t n = 0; n < kSampleV3.size(); ++n)
    cases.push_back(
        {"truncated", Bytes(kSampleV3.begin(), kSampleV3.begin() + static_cast<std::ptrdiff_t>(n)), E_FAIL});
  for (const auto& c : cases) {
    auto s = MakeCom<SpFlowSettings>();
    EXPECT_EQ(LoadBytes(s.Get(), c.bytes), c.expected) << c.name << " " << c.bytes.size();
    EXPECT_TRUE(SamePersisted(*s, SpFlowFields{})) << c.name << " " << c.bytes.size();
  }
}

TEST(SpFlowSettings, StreamFailureCodesPassThroughOnlyAfterTheFirstVersionItems) {
  // A failure among the items of version 1 is E_FAIL; later, the end marker read returns the stream's code.
  const std::size_t inVersion1 = 10, atMarker = kSampleV3.size() - 2;
  auto s = MakeCom<SpFlowSettings>();
  EXPECT_EQ(s->Load(MakeCom<FailingStream>(kSampleV3, inVersion1, kReadFault).Get()), E_FAIL);
  EXPECT_EQ(s->Load(MakeCom<FailingStream>(kSampleV3, atMarker, kReadFault).Get()), kReadFault);
  EXPECT_TRUE(SamePersisted(*s, SpFlowFields{}));
}

TEST(SpFlowSettings, ParameterStringIsClassicTextWithTabsAndClosingNul) {
  auto previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
  SpFlowFields f;
  f.mRawFlowChannel = 1;
  f.mOwnChannel = 2;
  f.mPresetIndex = 2;
  f.mApplyNonLinear = true;
  f.mHeadScale = 1.23456789;
  f.mNoiseFloor = 12345.5;
  f.mApplyNoiseFloor = true;
  f.RebuildParameterString();
  std::locale::global(previous);
  EXPECT_EQ(f.mParameterString, std::wstring(L"-2147483648\t0\t2\t0\t1.23457\t1\t1\t2\t1\t12345.5\t") + L'\0');

  SpFlowFields defaults;
  defaults.RebuildParameterString();
  EXPECT_EQ(defaults.mParameterString,
            std::wstring(L"-2147483648\t0\t3\t0\t0\t0\t-2147483648\t-2147483648\t0\t0\t") + L'\0');
}

TEST(SpFlowSettings, EqualityIgnoresRangeAndHeadScaleBelowOneMillionth) {
  SpFlowFields a, b;
  b.mRangeTop = 99.0;
  b.mHeadScale = 5e-7;
  EXPECT_TRUE(a.SameAs(b));
  b.mHeadScale = 2e-6;
  EXPECT_FALSE(a.SameAs(b));
  SpFlowFields c;
  c.mNoiseFloor = 1e-12;
  EXPECT_FALSE(a.SameAs(c));
}

TEST(SpFlowSettings, KeyValuesSetFieldsOrAreRefusedWithoutChange) {
  struct Case {
    const wchar_t* key;
    const wchar_t* value;
    const wchar_t* shows;  // null: refused
  };
  const Case cases[] = {
      {L"source", L"3", L"source=3 "},
      {L"source", L"0", nullptr},
      {L"source", L"257", nullptr},
      {L"source", L"two", nullptr},
      {L"preset", L"2", L"preset=2 scale=11.79"},
      {L"preset", L"5", nullptr},
      {L"preset", L"custom", L"preset=custom"},
      {L"scale", L"2.5", L"preset=custom scale=2.5"},
      {L"scale", L"0", nullptr},
      {L"drift", L"on", L"drift=on"},
      {L"drift", L"yes", nullptr},
      {L"nonlinear", L"ON", L"nonlinear=on"},
      {L"noise-floor", L"0.05", L"noise-floor=0.05"},
      {L"noise-floor", L"-1", nullptr},
      {L"noise-clamp", L"on", L"noise-clamp=on"},
      {L"prefix", L"7", L"prefix=7"},
      {L"prefix", L"5", nullptr},
      {L"top", L"30", L"top=30"},
      {L"top", L"1,5", nullptr},
      {L"bottom", L"nan", nullptr},
      {L"colour", L"red", nullptr},
  };
  for (const auto& c : cases) {
    auto s = MakeCom<SpFlowSettings>();
    const std::wstring before = Described(s.Get());
    std::wstring error;
    HRESULT hr = s->SetValue(c.key, c.value, &error);
    if (c.shows) {
      EXPECT_EQ(hr, S_OK) << c.key << "=" << c.value;
      EXPECT_NE(Described(s.Get()).find(c.shows), std::wstring::npos) << Described(s.Get()).c_str();
    } else {
      EXPECT_EQ(hr, E_INVALIDARG) << c.key << "=" << c.value;
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(Described(s.Get()), before);
    }
  }
  // A custom head without a scale would give no flow at all.
  auto custom = MakeCom<SpFlowSettings>();
  ASSERT_EQ(custom->SetValue(L"preset", L"custom", nullptr), S_OK);
  EXPECT_EQ(custom->CheckWhole(nullptr), E_INVALIDARG);
  ASSERT_EQ(custom->SetValue(L"scale", L"2.5", nullptr), S_OK);
  EXPECT_EQ(custom->CheckWhole(nullptr), S_OK);
  // The scale shown is the one the calculation runs with: the preset's, not the stored custom value.
  auto s = MakeCom<SpFlowSettings>();
  EXPECT_EQ(Described(s.Get()),
            L"source=none preset=3 scale=40.1 drift=off nonlinear=off noise-floor=0 "
            L"noise-clamp=off prefix=8 top=20 bottom=-20");
}
