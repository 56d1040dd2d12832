// SpBreathEvent: breaths and their landmarks in one pass over flow and volume.
#include "spirometry/events/sp_breath_event_enumerator.h"

#include <gtest/gtest.h>

#include <numbers>

#include "spirometry/events/event_test_support.h"

namespace Spirometry::testing {
namespace {

TEST(SpBreathEvent, SineBreathsRunFromZeroCrossingToZeroCrossing) {
  const auto flow = SineFlow(10500, 1000, 1.0);
  const auto volume = VolumeOf(flow);
  const auto events = As<SpBreathEvent>(Detect(DetectorKind::kBreath, flow, volume, 0.5));
  // A breath is reported when the next inspiration passes +Height; the last one has no successor.
  ASSERT_EQ(events.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE("breath " + std::to_string(i));
    const SpBreathEvent& e = events[static_cast<std::size_t>(i)];
    const SpFlowEvent& f = e.mFlowEvent;
    const std::int32_t base = 1000 * i;
    EXPECT_EQ(e.mPosition.mTickPosition, base);
    EXPECT_EQ(f.mStartTick, base);
    EXPECT_EQ(f.mEndTick, base + 1000);      // the last sample below the magnitude before it: the zero
    EXPECT_EQ(f.mExpStartTick, base + 501);  // the first negative sample
    EXPECT_EQ(f.mMaxFlowTick, base + 250);
    EXPECT_EQ(f.mMinFlowTick, base + 750);
    EXPECT_NEAR(f.mMaxFlow, 1.0, 1e-6);
    EXPECT_NEAR(f.mMinFlow, -1.0, 1e-6);
    EXPECT_EQ(f.mSingleExpiration, 0);
    EXPECT_EQ(e.mValue, 0.0);  // the flow at the start crossing
    EXPECT_EQ(f.mPosition.mTickPosition, 0);
    EXPECT_EQ(f.mValue, 0.0);
    // Volume landmarks are taken while the flow is below +Height.
    EXPECT_EQ(e.mMaxVolTick, base + 499);
    EXPECT_EQ(e.mMinVolTick, base + 999);
    EXPECT_NEAR(e.mMaxVol - e.mMinVol, 1 / std::numbers::pi, 1e-3);
  }
}

TEST(SpBreathEvent, ExpirationFromRestIsASingleExpiration) {
  std::vector<float> flow(100, 0.0f);
  for (int i = 0; i < 1500; ++i) flow.push_back(static_cast<float>(-std::sin(std::numbers::pi * i / 1500)));
  flow.resize(flow.size() + 500, 0.0f);
  const auto breathing = SineFlow(3500, 1000, 1.0);
  flow.insert(flow.end(), breathing.begin(), breathing.end());
  const auto events = As<SpBreathEvent>(Detect(DetectorKind::kBreath, flow, VolumeOf(flow), 0.5));
  ASSERT_GE(events.size(), 3u);
  const SpFlowEvent& single = events[0].mFlowEvent;
  EXPECT_EQ(single.mSingleExpiration, 1);
  // Flow first below -Height at sample 351 (i = 251); the breath starts at the sample after it.
  EXPECT_EQ(single.mStartTick, 352);
  EXPECT_EQ(events[0].mPosition.mTickPosition, 352);
  EXPECT_LT(events[0].mValue, -0.5);
  EXPECT_EQ(single.mMinFlowTick, 850);
  EXPECT_NEAR(single.mMinFlow, -1.0, 1e-6);
  // It ends once the flow is back above -Height; the breaths after it are ordinary ones.
  EXPECT_LT(events[0].mPosition.mTickPosition, events[1].mPosition.mTickPosition);
  for (std::size_t i = 1; i < events.size(); ++i) EXPECT_EQ(events[i].mFlowEvent.mSingleExpiration, 0);
}

TEST(SpBreathEvent, ChannelsOfDifferentLengthsEndWithTheShorter) {
  // Flow and volume are read together, so nothing can follow the end of either: the record ends there
  // with the breaths of the common part, whichever channel is the longer.
  const auto flow = SineFlow(10500, 1000, 1.0);
  const auto volume = VolumeOf(flow);
  const std::vector<float> commonFlow(flow.begin(), flow.begin() + 10200);
  const std::vector<float> commonVolume(volume.begin(), volume.begin() + 10200);
  const auto expected = Detect(DetectorKind::kBreath, commonFlow, commonVolume, 0.5);
  ASSERT_EQ(expected.size(), 10u);
  struct Case {
    const char* name;
    const std::vector<float>& flow;
    const std::vector<float>& volume;
  };
  const Case cases[] = {{"volume longer", commonFlow, volume}, {"flow longer", flow, commonVolume}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Detect(DetectorKind::kBreath, c.flow, c.volume, 0.5), expected);
  }
}

}  // namespace
}  // namespace Spirometry::testing
