// SPEEFlow on signals whose breaths are known exactly.
#include "spirometry/events/sp_flow_enumerator.h"

#include <gtest/gtest.h>

#include "spirometry/events/event_test_support.h"

namespace Spirometry::testing {
namespace {

std::vector<SpFlowEvent> FlowEvents(std::vector<float> flow, double height) {
  return As<SpFlowEvent>(Detect(DetectorKind::kFlow, std::move(flow), {}, height));
}

TEST(SPEEFlow, SineBreathsStartAtEachUpwardCrossing) {
  // Amplitude 1 at 1000 samples per second: sample 1000k is exactly 0, sample 1000k + 500 the last
  // non-negative one of the inspiration.
  const auto events = FlowEvents(SineFlow(10500, 1000, 1.0), 0.5);
  // The breath from 9001 is the last one complete; the data ends during the inspiration after it.
  ASSERT_EQ(events.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE("breath " + std::to_string(i));
    const SpFlowEvent& e = events[static_cast<std::size_t>(i)];
    const std::int32_t base = 1000 * i;
    EXPECT_EQ(e.mStartTick, base + 1);
    EXPECT_EQ(e.mPosition.mTickPosition, e.mStartTick);
    EXPECT_EQ(e.mPosition.mFraction, 0.0f);
    EXPECT_EQ(e.mEndTick, base + 1001);
    EXPECT_EQ(e.mExpStartTick, base + 500);
    EXPECT_EQ(e.mMaxFlowTick, base + 250);
    EXPECT_EQ(e.mMinFlowTick, base + 750);
    EXPECT_NEAR(e.mMaxFlow, 1.0, 1e-6);
    EXPECT_NEAR(e.mMinFlow, -1.0, 1e-6);
    EXPECT_EQ(e.mValue, static_cast<double>(e.mMaxFlow));
    EXPECT_EQ(e.mSingleExpiration, 0);
  }
}

TEST(SPEEFlow, RecordEnds) {
  struct Case {
    const char* name;
    std::size_t samples;
    std::size_t events;
    std::int32_t lastEnd;
  };
  const Case cases[] = {
      // Cut in the expiration of the breath from 9001, at full flow: that breath is not reported.
      {"beyond the height", 9750, 9, 9001},
      // Cut where the expiration of that breath has come back to zero: reported, ending after the data.
      {"back within the height", 10000, 10, 10000},
      // The first breath is no exception: cut at full expiration, it is not reported.
      {"first breath beyond the height", 750, 0, 0},
      {"first breath back within the height", 1000, 1, 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto events = FlowEvents(SineFlow(c.samples, 1000, 1.0), 0.5);
    ASSERT_EQ(events.size(), c.events);
    if (c.events > 0) {
      EXPECT_EQ(events.back().mEndTick, c.lastEnd);
    }
  }
}

TEST(SPEEFlow, BreathsNeedThreeSamplesOfInspirationAndOfExpiration) {
  struct Case {
    const char* name;
    std::vector<float> flow;
    std::size_t events;
  };
  const Case cases[] = {
      {"two-sample block", {1, -1}, 0},
      {"three-sample block", {1, -1, 1}, 0},
      {"three and three", {-1, 1, 1, 1, -1, -1, -1, 1, 1}, 1},
      {"two of inspiration", {-1, 1, 1, -1, -1, -1, 1, 1}, 0},
      {"two of expiration", {-1, 1, 1, 1, -1, -1, 1, 1}, 0},
      {"single expiration of three", {0.1f, -1, -1, -1}, 1},
      {"single expiration of two", {0.1f, -1, -1}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FlowEvents(c.flow, 0.5).size(), c.events);
  }
}

TEST(SPEEFlow, SingleExpirationThatStartsTheRecord) {
  // Slightly above zero, then an expiration below -Height that ends with the data or with an inspiration:
  // either way a single expiration with no inspiratory peak, ending where the inspiration begins.
  std::vector<float> flow(20, 0.02f);
  for (int i = 0; i < 1500; ++i) flow.push_back(static_cast<float>(-std::sin(3.141592653589793 * i / 2000)));
  auto breathing = flow;
  breathing.resize(2000, -0.1f);
  for (int i = 0; i < 3; ++i) AppendBreath(breathing, 400, 0.8, 600, 1.0);
  struct Case {
    const char* name;
    std::vector<float> flow;
    std::size_t events;
    std::int32_t end;
  };
  const Case cases[] = {{"data ends", flow, 1, 1520}, {"breathing follows", breathing, 4, 2001}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto events = FlowEvents(c.flow, 0.5);
    ASSERT_EQ(events.size(), c.events);
    const SpFlowEvent& e = events[0];
    EXPECT_EQ(e.mSingleExpiration, 1);
    EXPECT_EQ(e.mMaxFlow, 0.0f);
    EXPECT_EQ(e.mValue, 0.0);
    EXPECT_EQ(e.mMaxFlowTick, 2147483647) << "no peak";
    EXPECT_EQ(e.mStartTick, 20);
    EXPECT_EQ(e.mEndTick, c.end);
    EXPECT_NEAR(e.mMinFlow, -1.0, 1e-3);
    EXPECT_LT(e.mMinFlowTick, e.mEndTick);
    if (c.events > 1) {
      EXPECT_EQ(events[1].mStartTick, e.mEndTick) << "the inspiration belongs to the next breath";
      EXPECT_NEAR(events[1].mMaxFlow, 0.8, 1e-3);
    }
  }
}

TEST(SPEEFlow, NoEventWithoutASignChange) {
  // Never above zero: however deep the expiration, the detector never leaves its first phase.
  std::vector<float> flow;
  for (int i = 0; i < 3000; ++i) flow.push_back(static_cast<float>(-0.01 - 2 * std::sin(3.141592653589793 * i / 3000)));
  EXPECT_TRUE(FlowEvents(flow, 0.5).empty());
}

TEST(SPEEFlow, ShallowExpirationDropsItsBreath) {
  std::vector<float> flow(10, -0.05f);
  AppendBreath(flow, 1000, 1.0, 1000, 0.25);  // expiration reaches only -Height/2
  for (int i = 0; i < 3; ++i) AppendBreath(flow, 1000, 1.0, 1000, 1.0);
  const auto events = FlowEvents(flow, 0.5);
  ASSERT_EQ(events.size(), 3u);
  // The next breath starts at the upward crossing that follows the dropped one.
  EXPECT_EQ(events[0].mStartTick, 2011);
  EXPECT_EQ(events[1].mStartTick, 4011);
  EXPECT_EQ(events[2].mStartTick, 6011);
  EXPECT_EQ(events[2].mEndTick, static_cast<std::int32_t>(flow.size()));
}

TEST(SPEEFlow, ConsecutiveBreathsShareTheirBoundaries) {
  // Irregular but clean breathing: every breath is valid, so each ends where the next begins.
  std::mt19937 random(5);
  std::uniform_int_distribution<int> ticks(600, 3000);
  std::uniform_real_distribution<double> depth(0.6, 2.0);
  std::vector<float> flow(5, -0.1f);
  for (int i = 0; i < 60; ++i) AppendBreath(flow, ticks(random), depth(random), ticks(random), depth(random));
  const auto events = FlowEvents(flow, 0.4);
  ASSERT_EQ(events.size(), 60u);
  for (std::size_t i = 0; i + 1 < events.size(); ++i) {
    EXPECT_EQ(events[i].mEndTick, events[i + 1].mStartTick);
    EXPECT_LT(events[i].mStartTick, events[i].mMaxFlowTick);
    EXPECT_LT(events[i].mMaxFlowTick, events[i].mExpStartTick);
    EXPECT_LT(events[i].mExpStartTick, events[i].mMinFlowTick);
    EXPECT_LT(events[i].mMinFlowTick, events[i].mEndTick);
    EXPECT_EQ(events[i].mValue, static_cast<double>(events[i].mMaxFlow));
    EXPECT_EQ(events[i].mPosition.mTickPosition, events[i].mStartTick);
  }
}

}  // namespace
}  // namespace Spirometry::testing
