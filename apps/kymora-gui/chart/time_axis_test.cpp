#include "apps/kymora-gui/chart/time_axis.h"

#include <gtest/gtest.h>

using namespace kymora;
using namespace kymora::chart;

namespace {
// Two blocks: 10 s at 1 kHz, then 5 s at 100 Hz (starting at 10 s on the axis).
Timeline TwoBlocks() { return Timeline({{0.001, 10000}, {0.01, 500}}); }
}  // namespace

TEST(Timeline, PositionsAndTimesAcrossBlocks) {
  const auto t = TwoBlocks();
  EXPECT_DOUBLE_EQ(t.Duration(), 15.0);
  struct Case {
    double seconds;
    bool earlier;
    DataPosition expected;
  };
  const Case cases[] = {
      {0.0, false, {0, 0}},        {2.5004, false, {2500, 0}}, {2.5006, false, {2501, 0}},
      {10.0, false, {0, 1}},       {10.0, true, {10000, 0}},  // the boundary: start of 2, or end of 1
      {12.345, false, {235, 1}},   {-3.0, false, {0, 0}},      {99.0, true, {500, 1}},
      {9.9996, false, {10000, 0}},  // rounds to the end of block 1, not into block 2
  };
  for (const auto& c : cases) {
    EXPECT_EQ(t.PositionAt(c.seconds, c.earlier), c.expected) << c.seconds << (c.earlier ? " earlier" : "");
  }
  EXPECT_DOUBLE_EQ(t.SecondsOf({235, 1}), 12.35);
  EXPECT_DOUBLE_EQ(t.SecondsOf({DataPosition::kNotSet, 0}), 10.0);
  EXPECT_EQ(Timeline().PositionAt(1.0), DataPosition{});
}

TEST(TimeView, ZoomKeepsTheTimeUnderTheMouseAndStaysOnTheData) {
  const double duration = 100;
  const int width = 1000;
  struct Case {
    TimeView view;
    double x, factor;
    TimeView expected;
  };
  const Case cases[] = {
      {{0, 0.1}, 500, 2, {25, 0.05}},  // 50 s stays at x = 500
      {{0, 0.1}, 0, 4, {0, 0.025}},    // at the left edge
      {{0, 0.1}, 500, 0.5, {0, 0.1}},  // cannot zoom out past the whole
      {{90, 0.001}, 900, 0.5, {89.1, 0.002}},
      {{99, 0.001}, 1000, 1e9, {99.99, 1e-5}},  // at most one pixel per 1e-5 s, and never past the end
  };
  for (const auto& c : cases) {
    auto v = ZoomAt(c.view, c.x, c.factor, duration, width, 1e-5);
    EXPECT_NEAR(v.startSec, c.expected.startSec, 1e-9) << c.x << " " << c.factor;
    EXPECT_NEAR(v.secsPerPixel, c.expected.secsPerPixel, 1e-12) << c.x << " " << c.factor;
  }
  auto scrolled = ClampView({-5, 0.01}, duration, width, 1e-5);
  EXPECT_EQ(scrolled.startSec, 0);
  scrolled = ClampView({95, 0.01}, duration, width, 1e-5);
  EXPECT_DOUBLE_EQ(scrolled.startSec, 90);
}

TEST(TimeAxis, NiceStepsTicksAndLabels) {
  const std::pair<double, double> steps[] = {
      {0.0013, 0.002}, {0.3, 0.5},     {1, 1},         {2.1, 5},         {7, 10},      {11, 15},
      {16, 30},        {45, 60},       {61, 120},      {400, 600},       {1000, 1800}, {4000, 7200},
      {8000, 10800},   {30000, 43200}, {50000, 86400}, {100000, 172800},
  };
  for (const auto& [in, out] : steps) EXPECT_DOUBLE_EQ(NiceTimeStep(in), out) << in;

  // 0.01 s per pixel, at least 50 px apart: a step of 0.5 s from 1.0 (the first at or after 0.7 s).
  auto ticks = TimeTicks({0.7, 0.01}, 300, 50);
  EXPECT_EQ(ticks, (std::vector<double>{1.0, 1.5, 2.0, 2.5, 3.0, 3.5}));

  const struct {
    double seconds, step;
    const char* label;
  } labels[] = {
      {12.5, 0.5, "12.5"},          {3, 1, "3"},         {0.25, 0.05, "0.25"},
      {59.96, 0.1, "1:00.0"},       {75, 15, "1:15"},    {3725, 300, "1:02:05"},
      {90061.5, 0.5, "25:01:01.5"}, {-2.5, 0.5, "-2.5"},
  };
  for (const auto& l : labels) EXPECT_EQ(TimeLabel(l.seconds, l.step), l.label) << l.seconds;
}

TEST(SelectionFromDrag, OrderedClampedAndEndingInTheEarlierBlock) {
  const auto t = TwoBlocks();
  const TimeView view{0, 0.01};  // 100 px per second
  struct Case {
    double x0, x1;
    bool valid;
    DataPosition start, end;
  };
  const Case cases[] = {
      {100, 300, true, {1000, 0}, {3000, 0}},
      {300, 100, true, {1000, 0}, {3000, 0}},    // a drag to the left
      {100, 101.5, false, {}, {}},               // a click
      {900, 1000, true, {9000, 0}, {10000, 0}},  // up to the boundary: the end of block 1
      {950, 1100, true, {9500, 0}, {100, 1}},    // across the boundary
      {1000, 1100, true, {0, 1}, {100, 1}},      // from the boundary: the start of block 2
      {-200, 50, true, {0, 0}, {500, 0}},        // before the start
      {1400, 2000, true, {400, 1}, {500, 1}},    // past the end
      {1600, 2000, false, {}, {}},               // wholly past the end
  };
  for (const auto& c : cases) {
    auto s = SelectionFromDrag(t, view, c.x0, c.x1);
    EXPECT_EQ(s.valid, c.valid) << c.x0 << ".." << c.x1;
    if (!c.valid) continue;
    EXPECT_EQ(s.start, c.start) << c.x0 << ".." << c.x1;
    EXPECT_EQ(s.end, c.end) << c.x0 << ".." << c.x1;
  }
}
