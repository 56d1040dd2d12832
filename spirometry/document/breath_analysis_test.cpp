#include "spirometry/document/breath_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <locale>

#include "host/calc/channel_data.h"
#include "host/com/com_object.h"
#include "spirometry/events/sp_breath_event.h"

namespace Spirometry {
namespace {

std::vector<std::unique_ptr<Breath>> Breaths(std::initializer_list<std::tuple<double, double, bool>> volumes) {
  std::vector<std::unique_ptr<Breath>> list;
  for (auto [max, min, single] : volumes) {
    auto b = std::make_unique<Breath>();
    b->MaxVolume = max;
    b->MinVolume = min;
    b->IsSingleExpiration = single;
    list.push_back(std::move(b));
  }
  return list;
}

std::vector<bool> Forced(const std::vector<std::unique_ptr<Breath>>& list) {
  std::vector<bool> r;
  for (const auto& b : list) r.push_back(b->IsForced);
  return r;
}

TEST(ClassifyBreaths, ForcedAgainstTheAverageExpiredVolume) {
  struct Case {
    const char* name;
    std::vector<std::unique_ptr<Breath>> breaths;
    double threshold;
    std::vector<bool> forced;
  };
  Case cases[] = {
      {"one breath is forced whatever its volume", Breaths({{0.2, 0.1, false}}), 10.0, {true}},
      {"one single expiration is never forced", Breaths({{3.0, 0.0, true}}), 0.1, {false}},
      {"two: at or above the average", Breaths({{1.0, 0.0, false}, {3.0, 0.0, false}}), 2.0, {false, true}},
      {"three: above the average though below the threshold",
       Breaths({{1.0, 0.0, false}, {1.0, 0.0, false}, {2.5, 0.0, false}}),
       2.0,
       {false, false, true}},
      {"four equal breaths against a threshold above 1",
       Breaths({{1.5, 1.0, false}, {1.5, 1.0, false}, {1.5, 1.0, false}, {1.5, 1.0, false}}),
       1.0001,
       {false, false, false, false}},
      {"four equal breaths at a threshold of 1",
       Breaths({{1.5, 1.0, false}, {1.5, 1.0, false}, {1.5, 1.0, false}, {1.5, 1.0, false}}),
       1.0,
       {true, true, true, true}},
      // 0.1 L is not a float: the single-precision sum rounds up to 0.2000000030 L, so the average lies
      // above each breath. Summed in double precision both would reach it and be forced.
      {"two equal breaths against the single-precision average",
       Breaths({{0.1, 0.0, false}, {0.1, 0.0, false}}),
       2.0,
       {false, false}},
      // With the single expiration's 5 L the average is 2 L and the 2 L breath stays below 1.5 × 2 L;
      // without it the average would be 1.25 L and the 2 L breath forced.
      {"a single expiration counts in the average but is never forced",
       Breaths({{1.0, 0.0, false}, {1.0, 0.0, false}, {1.0, 0.0, false}, {5.5, 0.5, true}, {2.0, 0.0, false}}),
       1.5,
       {false, false, false, false, false}},
      // A volume that is not a number stays out of the sum and the count: the average is 6 / 4 L, not
      // NaN (nothing forced) nor 6 / 5 L (the 2.5 L breath below forced).
      {"a breath without a volume stays out of the average",
       Breaths({{1.0, 0.0, false}, {1.0, 0.0, false}, {1.0, 0.0, false}, {NAN, 0.0, false}, {3.0, 0.0, false}}),
       2.0,
       {false, false, false, false, true}},
      {"nor does an infinite one count",
       Breaths({{1.0, 0.0, false}, {1.0, 0.0, false}, {1.0, 0.0, false}, {0.0, -HUGE_VAL, false}, {2.5, 0.0, false}}),
       2.0,
       {false, false, false, false, false}},
  };
  for (auto& c : cases) {
    ClassifyBreaths(c.breaths, c.threshold);
    EXPECT_EQ(Forced(c.breaths), c.forced) << c.name;
  }
}

// A decimal comma in the global locale must not reach the expression.
struct CommaDecimal : std::numpunct<wchar_t> {
  wchar_t do_decimal_point() const override { return L','; }
};

TEST(BreathExpressionText, IsBuiltInTheClassicLocale) {
  const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  EXPECT_EQ(BreathExpressionText(0, 1, 0.4), L"SPEEVol(Ch2, SPEEFlow(Ch1, 0.4) )");
  EXPECT_EQ(BreathExpressionText(4, 7, 12.832749), L"SPEEVol(Ch8, SPEEFlow(Ch5, 12.8327) )");
  EXPECT_EQ(BreathExpressionText(0, 1, 0.00001), L"SPEEVol(Ch2, SPEEFlow(Ch1, 1e-05) )");
  std::locale::global(saved);
}

TEST(DetectionHeight, FromTheSourceFullScale) {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Raw flow");
  file->AddChannel(L"Empty");
  file->AddBlock(0.001, 4);
  file->SetSamples(0, 0, L"V", 0.5, {0.f, 0.1f, -0.1f, 0.f});
  auto data = MakeCom<kymora::ChannelData>(file, kymora::HostServices{});

  // 0.5 V full scale × 40.1 L/s per V = 20.05 L/s; 1 % of it.
  EXPECT_NEAR(DetectionHeight(data.Get(), 0, {0, 40.1, 0x1001}, 1.0), 0.2005, 1e-12);
  EXPECT_NEAR(DetectionHeight(data.Get(), 0, {0, 40.1, 0x1001}, 10.0), 2.005, 1e-12);
  // No conversion where the channel has no data: the host changes nothing, raw 32000 counts as is.
  EXPECT_NEAR(DetectionHeight(data.Get(), 0, {1, 0.001, 0x1001}, 1.0), 0.32, 1e-12);
  // No answer at all: 10 L/s of full range.
  EXPECT_NEAR(DetectionHeight(data.Get(), 0, {7, 40.1, 0x1001}, 2.0), 0.2, 1e-12);
  EXPECT_EQ(DetectionHeight(data.Get(), 0, {0, -40.1, 0x1001}, 1.0), 0.0);
}

TEST(BreathFromEvent, ReadsTheRecordAtItsOffsets) {
  std::uint8_t record[80] = {};
  auto put = [&](std::size_t offset, auto value) { std::memcpy(record + offset, &value, sizeof value); };
  // The flow event's fields sit 16 bytes into the breath record.
  put(16 + 16, 1.25f);  // mMaxFlow
  put(16 + 20, -3.5f);  // mMinFlow
  record[16 + 24] = 2;  // mSingleExpiration, any non-zero value
  put(16 + 28, std::int32_t{100});
  put(16 + 32, std::int32_t{900});
  put(16 + 36, std::int32_t{150});
  put(16 + 40, std::int32_t{420});
  put(16 + 44, std::int32_t{400});
  put(64, std::int32_t{401});
  put(68, 2.5f);
  put(72, std::int32_t{880});
  put(76, -0.75f);
  const Breath b = BreathFromEvent(record, 3);
  EXPECT_EQ(b.PeakInspiratoryFlow, 1.25);
  EXPECT_EQ(b.PeakExpiratoryFlow, -3.5);
  EXPECT_EQ(b.MaxVolume, 2.5);
  EXPECT_EQ(b.MinVolume, -0.75);
  EXPECT_TRUE(b.IsSingleExpiration);
  EXPECT_FALSE(b.IsForced);
  EXPECT_EQ(b.Start, (DataPosition{100, 3}));
  EXPECT_EQ(b.End, (DataPosition{900, 3}));
  EXPECT_EQ(b.PeakInspiratoryFlowPosition, (DataPosition{150, 3}));
  EXPECT_EQ(b.PeakExpiratoryFlowPosition, (DataPosition{420, 3}));
  EXPECT_EQ(b.ExpirationStart, (DataPosition{400, 3}));
  EXPECT_EQ(b.MaxVolumePosition, (DataPosition{401, 3}));
  EXPECT_EQ(b.MinVolumePosition, (DataPosition{880, 3}));
}

// Breath events from a list, as the engine's event enumerator would hand them out. A pause after some
// event makes one call return nothing short of the end tick, as a record still being acquired does when
// its data has run out for now.
class FakeEvents final : public ComObject<IEnumEventEx> {
 public:
  FakeEvents(std::vector<SpBreathEvent> events, std::vector<std::int32_t>* bufferSizes, std::size_t pauseAfter,
             std::int32_t elementSize)
      : mEvents(std::move(events)), mBufferSizes(bufferSizes), mPauseAfter(pauseAfter), mElementSize(elementSize) {}
  HRESULT Next(std::int32_t endTick, void* buffer, std::int32_t bytes, std::int32_t* count,
               std::int32_t* nextTick) override {
    mBufferSizes->push_back(bytes);
    const std::int32_t end = endTick < 0 ? kRecordEndOffset : endTick;
    *count = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (mNext == mPauseAfter && !mPaused) {
      mPaused = true;
      *nextTick = mEvents[mNext].mFlowEvent.mStartTick - 1;  // moved on, but short of the end tick
      return S_OK;
    }
    while (mNext < mEvents.size() && (*count + 1) * 80 <= bytes && mEvents[mNext].mFlowEvent.mStartTick < end &&
           (mNext != mPauseAfter || mPaused)) {
      std::memcpy(out + *count * 80, &mEvents[mNext++], 80);
      ++*count;
    }
    if (mNext == mEvents.size()) {
      *nextTick = kRecordEndOffset;
      return S_FALSE;
    }
    *nextTick = *count > 0 ? mEvents[mNext - 1].mFlowEvent.mStartTick : end;
    return S_OK;
  }
  HRESULT Find(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override { return E_NOTIMPL; }
  HRESULT GetPosition(std::int32_t* tick) override {
    *tick = 0;
    return S_OK;
  }
  HRESULT GetElementSize(std::int32_t* bytes) override {
    *bytes = mElementSize;
    return S_OK;
  }
  HRESULT Clone(IEnumEventEx** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT Reserved3() override { return 0; }

 private:
  std::vector<SpBreathEvent> mEvents;
  std::size_t mNext = 0;
  std::vector<std::int32_t>* mBufferSizes;
  std::size_t mPauseAfter;
  bool mPaused = false;
  std::int32_t mElementSize;
};

SpBreathEvent Event(std::int32_t start, float maxVol, float minVol) {
  SpBreathEvent e{};
  e.mFlowEvent.mStartTick = start;
  e.mFlowEvent.mEndTick = start + 100;
  e.mFlowEvent.mMaxFlowTick = start + 20;
  e.mFlowEvent.mExpStartTick = start + 40;
  e.mFlowEvent.mMinFlowTick = start + 60;
  e.mMaxVolTick = start + 40;
  e.mMaxVol = maxVol;
  e.mMinVolTick = start + 90;
  e.mMinVol = minVol;
  return e;
}

class BreathAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mSettings->FlowChannel = 0;
    mSettings->VolumeChannel = 1;
    mAnalysis.SetEventOpener([this](IChannelData*, const std::wstring& text, const std::vector<ChannelBinding>& b,
                                    std::int32_t block, std::int32_t startTick, ComPtr<IEnumEventEx>* out) {
      ++mOpened;
      mText = text;
      mBindings.clear();
      for (const auto& x : b) mBindings.emplace_back(x.channel, x.units);
      mBlockAndTick = {startTick, block};
      if (mRefuse) return E_INVALIDARG;
      *out = MakeCom<FakeEvents>(mEvents, &mBufferSizes, mPauseAfter, mElementSize);
      return S_OK;
    });
  }
  std::int32_t Update(bool force, DataPosition start, DataPosition end) {
    return mAnalysis.Update(nullptr, force, start, end);
  }

  ComPtr<Settings> mSettings = MakeCom<Settings>();
  BreathAnalysis mAnalysis{mSettings};
  std::vector<SpBreathEvent> mEvents;
  std::vector<std::int32_t> mBufferSizes;
  int mOpened = 0;
  bool mRefuse = false;
  std::size_t mPauseAfter = SIZE_MAX;
  std::int32_t mElementSize = 80;
  std::wstring mText;
  std::vector<std::pair<std::int32_t, std::wstring>> mBindings;
  DataPosition mBlockAndTick;
};

TEST_F(BreathAnalysisTest, ReadsEveryEventInBatchesOfEight) {
  for (int i = 0; i < 19; ++i) mEvents.push_back(Event(50 + 100 * i, 1.0f, 0.5f));
  EXPECT_EQ(Update(false, {50, 2}, {5000, 2}), 19);
  // No host data: the full range is 10 L/s, 1 % of it.
  EXPECT_EQ(mText, L"SPEEVol(Ch2, SPEEFlow(Ch1, 0.1) )");
  const std::vector<std::pair<std::int32_t, std::wstring>> bindings = {{0, L"L/s"}, {1, L"L"}};
  EXPECT_EQ(mBindings, bindings);
  EXPECT_EQ(mBlockAndTick, (DataPosition{50, 2}));
  ASSERT_GE(mBufferSizes.size(), 3u);
  for (auto size : mBufferSizes) EXPECT_EQ(size, 640);
  EXPECT_EQ(mAnalysis.At(18).Start, (DataPosition{1850, 2}));
  EXPECT_EQ(mAnalysis.At(18).MinVolumePosition, (DataPosition{1940, 2}));
  EXPECT_EQ(mAnalysis.AnalysedStart(), (DataPosition{50, 2}));
}

// The enumerator gives every breath that starts before the end tick; one that runs on past it, or has a
// landmark past it, belongs to data the user left out.
TEST_F(BreathAnalysisTest, BreathsRunningPastTheSelectionAreLeftOut) {
  for (int i = 0; i < 5; ++i) mEvents.push_back(Event(50 + 100 * i, 1.0f, 0.5f));  // each ends 100 ticks on
  mEvents[1].mMinVolTick = 420;  // the second breath's minimum volume lies three breaths on
  for (const auto& [endTick, starts] :
       {std::pair{450, std::vector<std::int32_t>{50, 150, 250, 350}},
        std::pair{449, std::vector<std::int32_t>{50, 150, 250}}, std::pair{420, std::vector<std::int32_t>{50, 250}},
        std::pair{421, std::vector<std::int32_t>{50, 150, 250}}}) {
    Update(true, {50, 0}, {endTick, 0});
    std::vector<std::int32_t> found;
    for (const auto& b : mAnalysis.Breaths()) found.push_back(b->Start.offset);
    EXPECT_EQ(found, starts) << endTick;
  }
}

TEST_F(BreathAnalysisTest, ReadingEndsAtTheFirstCallWithoutEvents) {
  for (int i = 0; i < 12; ++i) mEvents.push_back(Event(50 + 100 * i, 1.0f, 0.5f));
  mPauseAfter = 8;
  EXPECT_EQ(Update(true, {0, 0}, {5000, 0}), 8);
  EXPECT_EQ(mBufferSizes.size(), 2u);  // the full batch, then the empty one that ends the reading
}

TEST_F(BreathAnalysisTest, RecordsOfAnotherSizeAreNotReadAsBreaths) {
  mEvents = {Event(10, 1.0f, 0.0f), Event(110, 1.0f, 0.0f)};
  mElementSize = 48;  // an expression that yields flow events only
  EXPECT_EQ(Update(true, {0, 0}, {500, 0}), 0);
  EXPECT_TRUE(mBufferSizes.empty());
}

TEST_F(BreathAnalysisTest, UnsetOrEmptySelectionsEmptyTheList) {
  mEvents = {Event(10, 1.0f, 0.0f)};
  ASSERT_EQ(Update(true, {0, 0}, {500, 0}), 1);
  for (auto [start, end] : {std::pair{DataPosition{0, DataPosition::kNotSet}, DataPosition{5, 0}},
                            std::pair{DataPosition{0, 0}, DataPosition{5, DataPosition::kNotSet}},
                            std::pair{DataPosition{7, 0}, DataPosition{7, 0}}}) {
    ASSERT_EQ(Update(true, {0, 0}, {500, 0}), 1);
    EXPECT_EQ(Update(false, start, end), 0);
    EXPECT_EQ(mAnalysis.AnalysedStart(), DataPosition{});
    EXPECT_EQ(mAnalysis.AnalysedEnd(), DataPosition{});
  }
}

TEST_F(BreathAnalysisTest, AcrossBlocksOrUncompilableKeepNoStaleBreaths) {
  mEvents = {Event(10, 1.0f, 0.0f), Event(110, 1.0f, 0.0f)};
  ASSERT_EQ(Update(true, {0, 0}, {500, 0}), 2);
  // Across blocks the analysis does not run and the list stays as it was.
  EXPECT_EQ(Update(true, {0, 0}, {500, 1}), 2);
  EXPECT_EQ(mOpened, 1);
  // An expression the engine refuses: no breaths of the earlier request pass for this one, and the next
  // request tries again instead of finding the failed one in the cache.
  mRefuse = true;
  EXPECT_EQ(Update(true, {0, 0}, {400, 0}), 0);
  mRefuse = false;
  EXPECT_EQ(Update(false, {0, 0}, {400, 0}), 2);
  EXPECT_EQ(mOpened, 3);
}

TEST_F(BreathAnalysisTest, DetectsAgainOnlyWhenForcedOrTheRequestChanged) {
  mEvents = {Event(10, 1.0f, 0.0f), Event(110, 1.0f, 0.0f)};
  ASSERT_EQ(Update(false, {0, 0}, {900, 0}), 2);
  struct Step {
    const char* name;
    double detectionLevel;
    DataPosition end;
    bool force;
    bool invalidate;
    int opened;
  };
  const Step steps[] = {
      {"same request", 1.0, {900, 0}, false, false, 1},
      {"level within 0.001", 1.0009, {900, 0}, false, false, 1},
      {"level beyond 0.001", 1.002, {900, 0}, false, false, 2},
      {"other selection", 1.002, {901, 0}, false, false, 3},
      {"forced", 1.002, {901, 0}, true, false, 4},
      {"invalidated by the document", 1.002, {901, 0}, false, true, 5},
  };
  for (const auto& s : steps) {
    mSettings->DetectionLevel = s.detectionLevel;
    if (s.invalidate) mAnalysis.InvalidateDetection();
    EXPECT_EQ(Update(s.force, {0, 0}, s.end), 2) << s.name;
    EXPECT_EQ(mOpened, s.opened) << s.name;
  }
}

TEST_F(BreathAnalysisTest, CachedUpdateReclassifiesOnlyBeyondTheTolerance) {
  // Four breaths, one of 3 L among three of 1 L: average 1.5 L; forced at threshold 2 (3 ≥ 3), not at 2.0005
  // if it were classified again, nor at 2.002.
  mEvents = {Event(10, 1.0f, 0.0f), Event(110, 1.0f, 0.0f), Event(210, 3.0f, 0.0f), Event(310, 1.0f, 0.0f)};
  ASSERT_EQ(Update(false, {0, 0}, {900, 0}), 4);
  ASSERT_TRUE(mAnalysis.At(2).IsForced);
  mSettings->ForcedExpThres = 2.0005;
  Update(false, {0, 0}, {900, 0});
  EXPECT_TRUE(mAnalysis.At(2).IsForced);  // nothing happens
  EXPECT_EQ(mAnalysis.CachedForcedExpThres(), 2.0);
  mSettings->ForcedExpThres = 2.002;
  Update(false, {0, 0}, {900, 0});
  EXPECT_FALSE(mAnalysis.At(2).IsForced);
  EXPECT_EQ(mAnalysis.CachedForcedExpThres(), 2.002);
  EXPECT_EQ(mOpened, 1);  // reclassified without detecting again
}

}  // namespace
}  // namespace Spirometry
