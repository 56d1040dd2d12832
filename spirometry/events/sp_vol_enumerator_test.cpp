// SPEEVol: volume landmarks over the breaths of SPEEFlow.
#include "spirometry/events/sp_vol_enumerator.h"

#include <gtest/gtest.h>

#include <numbers>

#include "spirometry/events/event_test_support.h"

namespace Spirometry::testing {
namespace {

TEST(SPEEVol, VolumeLandmarksOfEachBreath) {
  struct Case {
    const char* name;
    std::vector<float> volume;
    std::int32_t maxOffset, minOffset;  // ticks within each breath of the sine, from its cycle start
  };
  const auto flow = SineFlow(10500, 1000, 1.0);
  std::vector<float> rising(flow.size());
  for (std::size_t t = 0; t < rising.size(); ++t) rising[t] = static_cast<float>(t) * 0.001f;
  const Case cases[] = {
      // Rises during inspiration, falls during expiration: largest at the end of inspiration (499, the last
      // sample whose flow adds a visible volume), smallest at the end of expiration (999; sample 1000 adds 0).
      {"breathing volume", VolumeOf(flow), 499, 999},
      // Only rises: each new largest volume is also the smallest after it, so both sit at the breath's last tick.
      {"rising volume", rising, 1000, 1000},
  };
  const auto flowEvents = As<SpFlowEvent>(Detect(DetectorKind::kFlow, flow, {}, 0.5));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto events = As<SpBreathEvent>(Detect(DetectorKind::kVol, flow, c.volume, 0.5));
    ASSERT_EQ(events.size(), flowEvents.size());
    ASSERT_EQ(events.size(), 10u);
    for (std::size_t i = 0; i < events.size(); ++i) {
      const SpBreathEvent& e = events[i];
      const auto cycle = static_cast<std::int32_t>(1000 * i);
      EXPECT_EQ(std::memcmp(&e.mFlowEvent, &flowEvents[i], sizeof(SpFlowEvent)), 0) << "the flow event is copied whole";
      EXPECT_EQ(e.mPosition.mTickPosition, flowEvents[i].mPosition.mTickPosition);
      EXPECT_EQ(e.mValue, flowEvents[i].mValue);
      EXPECT_EQ(e.mMaxVolTick, cycle + c.maxOffset);
      EXPECT_EQ(e.mMinVolTick, cycle + c.minOffset);
      EXPECT_EQ(e.mMaxVol, c.volume[static_cast<std::size_t>(e.mMaxVolTick)]);
      EXPECT_EQ(e.mMinVol, c.volume[static_cast<std::size_t>(e.mMinVolTick)]);
    }
  }
  // The breathing volume: inspired volume of a half cycle of sin(2πt) is 1/π litres.
  const auto events = As<SpBreathEvent>(Detect(DetectorKind::kVol, flow, VolumeOf(flow), 0.5));
  EXPECT_NEAR(events[3].mMaxVol - events[3].mMinVol, 1 / std::numbers::pi, 1e-3);
}

TEST(SPEEVol, BreathsBeyondTheVolumeArePassedOver) {
  // The volume channel covers only the first 4200 samples of the flow: breaths starting later are not
  // reported, the breath running over its end is measured as far as it goes, and the record still ends.
  const auto flow = SineFlow(10500, 1000, 1.0);
  auto volume = VolumeOf(flow);
  volume.resize(4200);
  const auto events = As<SpBreathEvent>(Detect(DetectorKind::kVol, flow, volume, 0.5));
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[4].mPosition.mTickPosition, 4001);
  EXPECT_EQ(events[4].mMaxVolTick, 4199);
}

// An event source whose records are bare heads.
class HeadOnlyEvents final : public ComObject<IEnumEventEx> {
 public:
  HRESULT Next(std::int32_t, void*, std::int32_t, std::int32_t* count, std::int32_t* next) override {
    *count = 0;
    *next = kRecordEndOffset;
    return S_FALSE;
  }
  HRESULT Find(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override { return S_FALSE; }
  HRESULT GetPosition(std::int32_t* tick) override {
    *tick = 0;
    return S_OK;
  }
  HRESULT GetElementSize(std::int32_t* bytes) override {
    *bytes = 16;
    return S_OK;
  }
  HRESULT Clone(IEnumEventEx** out) override {
    *out = MakeCom<HeadOnlyEvents>().Detach();
    return S_OK;
  }
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT Reserved3() override { return 0; }
};

TEST(SPEEVol, RefusesEventSourcesWhoseRecordsAreTooShort) {
  auto volume = SourceOver(Share(std::vector<float>(100, 0.0f)));
  auto events = MakeCom<HeadOnlyEvents>();
  auto detector = MakeCom<SpVolDetector>();
  ASSERT_EQ(detector->SetParameters(L"0", nullptr), S_OK);
  IUnknown* sources[] = {volume.Get(), static_cast<IEnumEventEx*>(events.Get())};
  EXPECT_EQ(detector->SetSources(0, 2, sources, 0, kSecsPerTick, 0), E_INVALIDARG);
  std::int32_t count = -1, next = -1;
  SpBreathEvent buffer[1];
  EXPECT_EQ(detector->Next(-1, buffer, sizeof buffer, &count, &next), E_UNEXPECTED) << "no sources were taken";
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace Spirometry::testing
