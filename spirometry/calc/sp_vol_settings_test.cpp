#include "spirometry/calc/sp_vol_settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "spirometry/calc/stream_test_support.h"

using namespace Spirometry;
using namespace Spirometry::testing;

namespace {
ComPtr<SpVolSettings> Sample() {
  auto s = MakeCom<SpVolSettings>();
  s->mFlowChannel = 1;
  s->mVolumeCorrection = true;
  s->mDeadSpace = 155.0;
  s->mVolumeRatio = 1.25;
  s->mResetAtEndOfExpiration = true;
  s->mCorrectionType = 0;
  s->mRangeTop = 4.0;
  s->mRangeBottom = -2.0;
  return s;
}

const Bytes kSampleV4 = {
    0x04, 0x00, 0x00, 0x00,                          // version
    0x01, 0x01,                                      // flow channel, volume correction
    0x00, 0x00, 0x1B, 0x43,                          // dead space 155 (float)
    0x00, 0x00, 0xA0, 0x3F,                          // volume ratio 1.25 (float)
    0x01,                                            // reset
    0x00, 0x00, 0x00, 0x00,                          // correction type
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x40,  // top 4
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,  // bottom -2
    0x06, 0x12, 0x0F, 0x00,                          // end marker
};
constexpr std::size_t kDeadSpaceAt = 6, kRatioAt = 10, kResetAt = 14, kTypeAt = 15, kRangeAt = 19;

Bytes WithVersion(int version) {
  Bytes b = kSampleV4;
  b[0] = static_cast<std::uint8_t>(version);
  if (version < 4) b.erase(b.begin() + kTypeAt, b.begin() + kTypeAt + 4);
  if (version < 3) b.erase(b.begin() + kResetAt);
  if (version < 2) b.resize(kRatioAt + 4);
  return b;
}

Bytes WithFloats(float deadSpace, float ratio) {
  Bytes b = kSampleV4;
  std::memcpy(&b[kDeadSpaceAt], &deadSpace, 4);
  std::memcpy(&b[kRatioAt], &ratio, 4);
  return b;
}

bool SamePersisted(const SpVolFields& a, const SpVolFields& b) {
  return a.mFlowChannel == b.mFlowChannel && a.mVolumeCorrection == b.mVolumeCorrection &&
         a.mDeadSpace == b.mDeadSpace && a.mVolumeRatio == b.mVolumeRatio &&
         a.mResetAtEndOfExpiration == b.mResetAtEndOfExpiration && a.mCorrectionType == b.mCorrectionType &&
         a.mRangeTop == b.mRangeTop && a.mRangeBottom == b.mRangeBottom;
}

std::wstring Described(SpVolSettings* s) {
  std::wstring text;
  s->Describe(&text);
  return text;
}
}  // namespace

TEST(SpVolSettings, SavesVersion4ByteForByteAndLoadsItBack) {
  EXPECT_EQ(SavedBytes(Sample().Get()), kSampleV4);
  auto loaded = MakeCom<SpVolSettings>();
  ASSERT_EQ(LoadBytes(loaded.Get(), kSampleV4), S_OK);
  EXPECT_TRUE(SamePersisted(*loaded, *Sample()));
}

TEST(SpVolSettings, OlderVersionsLoadWithFullExpiration) {
  struct Case {
    int version;
    bool reset;
    double top;
  };
  for (const Case c : {Case{1, false, 4.0}, Case{2, false, 4.0}, Case{3, true, 4.0}}) {
    auto s = MakeCom<SpVolSettings>();
    s->mRangeTop = 9.0;
    ASSERT_EQ(LoadBytes(s.Get(), WithVersion(c.version)), S_OK) << c.version;
    EXPECT_EQ(s->mCorrectionType, 1) << c.version;
    EXPECT_EQ(s->mResetAtEndOfExpiration, c.reset) << c.version;
    EXPECT_EQ(s->mRangeTop, c.version >= 2 ? 4.0 : 9.0) << c.version;
    EXPECT_EQ(s->mDeadSpace, 155.0);
    EXPECT_EQ(s->mVolumeRatio, 1.25);
  }
}

TEST(SpVolSettings, OutOfRangeValuesAreClampedOnLoadAndRemembered) {
  struct Case {
    float deadSpace, ratio;
    double expectDeadSpace, expectRatio;
    bool notice;
  };
  const Case cases[] = {
      {20000.0f, 1.25f, 10000.0, 1.25, true},  {-5.0f, 1.25f, 0.0, 1.25, true},   {155.0f, 50.0f, 155.0, 10.0, true},
      {155.0f, 0.001f, 155.0, 0.01, true},     {155.0f, 0.0f, 155.0, 0.0, false}, {20000.0f, 0.0f, 10000.0, 0.0, true},
      {10000.0f, 10.0f, 10000.0, 10.0, false},
  };
  for (const auto& c : cases) {
    auto s = MakeCom<SpVolSettings>();
    ASSERT_EQ(LoadBytes(s.Get(), WithFloats(c.deadSpace, c.ratio)), S_OK);
    EXPECT_EQ(s->mDeadSpace, c.expectDeadSpace) << c.deadSpace << " " << c.ratio;
    EXPECT_FLOAT_EQ(static_cast<float>(s->mVolumeRatio), static_cast<float>(c.expectRatio));
    EXPECT_EQ(s->StoredValuesWereClamped(), c.notice) << c.deadSpace << " " << c.ratio;
    EXPECT_FALSE(s->Copy()->StoredValuesWereClamped()) << "a copy has nothing left to report";
  }
}

TEST(SpVolSettings, RefusedStreamsChangeNothing) {
  Bytes newer = kSampleV4;
  newer[0] = 5;
  Bytes badMarker = kSampleV4;
  badMarker[badMarker.size() - 4] = 0x07;
  std::vector<std::pair<Bytes, HRESULT>> cases = {{newer, KYM_E_NEWER_VERSION}, {badMarker, E_FAIL}};
  for (std::size_t n = 0; n < kSampleV4.size(); ++n)
    cases.push_back({Bytes(kSampleV4.begin(), kSampleV4.begin() + static_cast<std::ptrdiff_t>(n)), E_FAIL});
  for (const auto& [bytes, expected] : cases) {
    auto s = MakeCom<SpVolSettings>();
    EXPECT_EQ(LoadBytes(s.Get(), bytes), expected) << bytes.size();
    EXPECT_TRUE(SamePersisted(*s, SpVolFields{})) << bytes.size();
  }
  // A stream's own failure code comes back from the end marker only; any other item fails with E_FAIL.
  const HRESULT readFault = static_cast<HRESULT>(0x8003001Eu);
  const std::pair<std::size_t, HRESULT> faults[] = {{kRatioAt + 2, E_FAIL},
                                                    {kTypeAt + 2, E_FAIL},
                                                    {kRangeAt + 4, E_FAIL},
                                                    {kRangeAt + 12, E_FAIL},
                                                    {kSampleV4.size() - 2, readFault}};
  for (const auto& [at, expected] : faults) {
    auto s = MakeCom<SpVolSettings>();
    EXPECT_EQ(s->Load(MakeCom<FailingStream>(kSampleV4, at, readFault).Get()), expected) << at;
    EXPECT_TRUE(SamePersisted(*s, SpVolFields{})) << at;
  }
}

TEST(SpVolSettings, ParameterStringAndEquality) {
  SpVolFields a;
  a.RebuildParameterString();
  EXPECT_EQ(a.mParameterString, std::wstring(L"-2147483648\t0\t400\t1\t0\t") + L'\0');
  SpVolFields b = a;
  b.mVolumeRatio += 5e-7;
  b.mRangeTop = 100.0;
  EXPECT_TRUE(a.SameAs(b));
  b.mDeadSpace += 1e-9;
  EXPECT_FALSE(a.SameAs(b));
  // Each of these is a change to apply, not a repetition to skip.
  void (*changes[])(SpVolFields&) = {
      [](SpVolFields& f) { f.mCorrectionType = 1; }, [](SpVolFields& f) { f.mResetAtEndOfExpiration = true; },
      [](SpVolFields& f) { f.mVolumeCorrection = true; }, [](SpVolFields& f) { f.mFlowChannel = 3; }};
  for (auto change : changes) {
    SpVolFields c = a;
    change(c);
    EXPECT_FALSE(a.SameAs(c));
  }
}

TEST(SpVolSettings, KeyValuesSetFieldsOrAreRefusedWithoutChange) {
  struct Case {
    const wchar_t* key;
    const wchar_t* value;
    const wchar_t* shows;
  };
  const Case cases[] = {
      {L"source", L"2", L"source=2 "},
      {L"source", L"-1", nullptr},
      {L"correction", L"on", L"correction=on"},
      {L"correction", L"1", nullptr},
      {L"dead-space", L"155", L"dead-space=155"},
      {L"dead-space", L"20000", nullptr},
      {L"ratio", L"1.25", L"ratio=1.25"},
      {L"ratio", L"12", nullptr},
      {L"reset", L"on", L"reset=on"},
      {L"type", L"full", L"type=full"},
      {L"type", L"normal", L"type=normal"},
      {L"type", L"1", nullptr},
      {L"top", L"6", L"top=6"},
      {L"bottom", L"-1e400", nullptr},
      {L"prefix", L"7", nullptr},
  };
  for (const auto& c : cases) {
    auto s = MakeCom<SpVolSettings>();
    const std::wstring before = Described(s.Get());
    std::wstring error;
    HRESULT hr = s->SetValue(c.key, c.value, &error);
    if (c.shows) {
      EXPECT_EQ(hr, S_OK) << c.key << "=" << c.value;
      EXPECT_NE(Described(s.Get()).find(c.shows), std::wstring::npos);
    } else {
      EXPECT_EQ(hr, E_INVALIDARG) << c.key << "=" << c.value;
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(Described(s.Get()), before);
    }
  }
  EXPECT_EQ(Described(MakeCom<SpVolSettings>().Get()),
            L"source=none correction=off dead-space=400 ratio=1 reset=off type=normal top=4 bottom=-2");
}
