#include "spirometry/views/spiro_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "spirometry/views/channel_trace.h"
#include "spirometry/views/flow_volume_loops.h"

namespace Spirometry {
namespace {

TEST(SpiroLayout, DataWindowRectanglesFollowTheContent) {
  struct Case {
    PixelRect content;
    int w, t;
  };
  const Case cases[] = {{{0, 0, 800, 600}, 40, 12}, {{30, 20, 1030, 720}, 55, 20}, {{0, 0, 101, 99}, 10, 12}};
  for (const auto& c : cases) {
    const auto [L, T, R, B] = c.content;
    const int H = B - T, top = T + c.t + 1, gap = 2 * H / 200, mid = ((B - 8 * H / 100) + top) / 2;
    const int h = mid - gap - top, right = R - (R - L) / 100;
    const DataLayout l = LayOutDataWindow(c.content, c.w, c.t);
    EXPECT_EQ(l.flowGraph, (PixelRect{L + c.w + 10, top, right, top + h})) << R;
    EXPECT_EQ(l.volumeGraph, (PixelRect{L + c.w + 10, mid + gap, right, mid + gap + h})) << R;
    EXPECT_EQ(l.flowScale, (PixelRect{L + 2, top, L + c.w + 9, top + h})) << R;
    EXPECT_EQ(l.volumeScale, (PixelRect{L + 2, mid + gap, L + c.w + 9, mid + gap + h})) << R;
    EXPECT_EQ(l.timeScale, (PixelRect{L + c.w + 2, mid + gap + h + 1, right - 2, B - 5})) << R;
    EXPECT_EQ(l.readout.bottom, top - 1);
    EXPECT_LT(l.volumeGraph.bottom, l.timeScale.top);
  }
}

TEST(SpiroLayout, FlowVolumePlotRectangles) {
  const XYLayout l = LayOutXYPlot({10, 5, 610, 405}, 40, 15, 12);
  EXPECT_EQ(l.graph, (PixelRect{60, 18, 598, 405 - 22}));
  EXPECT_EQ(l.flowScale, (PixelRect{12, 12, 60, 389}));
  EXPECT_EQ(l.volumeScale, (PixelRect{54, 383, 604, 403}));
  EXPECT_EQ(l.readout, (PixelRect{50, 6, 598, 18}));
}

TEST(SpiroRanges, WidenedByFifteenPercentAndAtLeastAQuarter) {
  struct Case {
    float min, max;
    bool minimumSpan;
    double low, high;
  };
  const Case cases[] = {
      {-2, 6, true, -3.2, 7.2},
      {-2, 6, false, -3.2, 7.2},
      {1, 1, true, 0.875, 1.125},  // flat: a quarter wide
      {1, 1, false, 1, 1},
      {0, 0.1f, true, -0.015 - 0.125, 0.115 + 0.125},  // 0.13 after widening is still too narrow
  };
  for (const auto& c : cases) {
    const ValueSpan r = WidenedRange(c.min, c.max, c.minimumSpan);
    EXPECT_NEAR(r.low, c.low, 1e-6) << c.min << " " << c.max;
    EXPECT_NEAR(r.high, c.high, 1e-6) << c.min << " " << c.max;
  }
}

TEST(SpiroAxes, ValuesAndSamplesToPixelsAndBack) {
  const AxisMap up = AxisMap::Of({-2, 6}, 400, true);
  EXPECT_DOUBLE_EQ(up.PixelOf(6), 0);
  EXPECT_DOUBLE_EQ(up.PixelOf(-2), 400);
  EXPECT_DOUBLE_EQ(up.PixelOf(0), 300);
  EXPECT_DOUBLE_EQ(up.ValueAt(100), 4);
  const AxisMap across = AxisMap::Of({1, 5}, 200, false);
  EXPECT_DOUBLE_EQ(across.PixelOf(1), 0);
  EXPECT_DOUBLE_EQ(across.PixelOf(4), 150);
  EXPECT_DOUBLE_EQ(across.ValueAt(50), 2);

  struct Case {
    std::int64_t sample, shown;
    int width, x;
  };
  const Case cases[] = {{0, 1000, 500, 0},
                        {999, 1000, 500, 499},
                        {3, 1000, 500, 1},
                        {7'200'000, 7'200'000, 1000, 1000},
                        {5, 10, 1000, 500}};
  for (const auto& c : cases) EXPECT_EQ(XOfSample(c.sample, c.shown, c.width), c.x) << c.sample;
  EXPECT_EQ(SampleAtX(0, 180000, 900), 0) << "the cursor at x = 0 is the first sample, time 0";
  EXPECT_EQ(SampleAtX(1, 180000, 900), 200);
  EXPECT_EQ(SampleAtX(899, 1000, 900), 998);
  EXPECT_EQ(SampleAtX(10, 5, 900), 0);
}

TEST(SpiroAxes, TickStepsAreOneTwoFive) {
  struct Case {
    double minimum, step;
  };
  for (const Case c : {Case{0.3, 0.5}, {1, 1}, {1.01, 2}, {2.5, 5}, {7, 10}, {0.0012, 0.002}, {450, 500}})
    EXPECT_NEAR(NiceStep(c.minimum), c.step, c.step * 1e-12) << c.minimum;
  EXPECT_DOUBLE_EQ(TickStep({-3.2, 7.2}, 400, 30), 1.0);  // 10.4 over 400 px, 30 px apart: 0.78 → 1
  const auto ticks = TickValues({-3.2, 7.2}, 2);
  EXPECT_EQ(ticks, (std::vector<double>{-2, 0, 2, 4, 6}));
}

TEST(SpiroMarks, PeaksFev1AndChevrons) {
  EXPECT_EQ(MarkerTickLength(6), 3);
  EXPECT_EQ(MarkerTickLength(15), 5);
  const PeakMark pef = PefMark({100, 200}, 5);
  EXPECT_EQ(pef.to, (PixelPoint{100, 205})) << "down from the trace";
  EXPECT_EQ(pef.label, (PixelPoint{100, 204})) << "top-left one pixel above the tick's end";
  const PeakMark pif = PifMark({40, 50}, 4);
  EXPECT_EQ(pif.to, (PixelPoint{40, 46}));
  EXPECT_EQ(pif.label, (PixelPoint{40, 47})) << "bottom-left one pixel below the tick's end";

  EXPECT_EQ(WholeRate(0.001), 1000);
  EXPECT_EQ(WholeRate(0.003), 333);
  struct Fev1Case {
    std::int64_t maxAt, minAt, blockLength, expected;
    const char* why;
  };
  for (const Fev1Case c : {Fev1Case{500, 2000, 1501, 1500, "within the expiration and the block"},
                           {501, 2000, 1501, -1, "one second later lies beyond the block"},
                           {500, 1501, 5000, 1500, "the expiration ends a sample after the second"},
                           {500, 1500, 5000, -1, "the expiration ends on the second: FEV1 is the FVC"},
                           {500, 900, 5000, -1, "the trace at the second is past the expiration"}})
    EXPECT_EQ(Fev1Sample(c.maxAt, c.minAt, 1000, c.blockLength), c.expected) << c.why;

  // Moving right: the arms point back to the left, 25° above and below.
  const auto c = ChevronAt({100, 100}, 3, 0, 10);
  const double h = 10, a = 25 * std::numbers::pi / 180;
  EXPECT_EQ(c[1], (PixelPoint{100, 100}));
  EXPECT_EQ(c[0], (PixelPoint{100 + static_cast<int>(-std::cos(a) * h), 100 + static_cast<int>(-std::sin(a) * h)}));
  EXPECT_EQ(c[2], (PixelPoint{100 + static_cast<int>(-std::cos(a) * h), 100 + static_cast<int>(std::sin(a) * h)}));
}

// The loop of a circle: volume cos, flow sin, so the path length is known.
struct Circle {
  std::vector<float> volume, flow;
  explicit Circle(int n) {
    for (int i = 0; i < n; ++i) {
      volume.push_back(static_cast<float>(std::cos(2 * std::numbers::pi * i / (n - 1))));
      flow.push_back(static_cast<float>(std::sin(2 * std::numbers::pi * i / (n - 1))));
    }
  }
};

TEST(FlowVolumeLoops, PolylinesBreakAtGapsAndChevronsAreEvenlySpread) {
  const AxisMap vx = AxisMap::Of({-1, 1}, 200, false), fy = AxisMap::Of({-1, 1}, 200, true);
  struct Case {
    const char* name;
    int gapFrom, gapTo;  // samples made not finite
    std::size_t polylines;
  };
  for (const Case c : {Case{"whole", 0, 0, 1}, {"gap", 300, 320, 2}, {"gap at the start", 0, 10, 1}}) {
    Circle circle(1000);
    for (int i = c.gapFrom; i < c.gapTo; ++i) circle.flow[static_cast<std::size_t>(i)] = NAN;
    FlowVolumeLoops loops;
    AddLoopPiece(circle.volume.data(), circle.flow.data(), 1000, vx, fy, {10, 20}, 8, &loops);
    EXPECT_EQ(loops.polylineCounts.size(), c.polylines) << c.name;
    EXPECT_EQ(loops.chevrons.size(), 3u * kChevronsPerPiece) << c.name;
    for (const PixelPoint& p : loops.points) {
      EXPECT_GE(p.x, 10) << c.name;
      EXPECT_LE(p.x, 210) << c.name;
      EXPECT_NEAR(std::hypot(p.x - 110, p.y - 120), 100, 1.5) << c.name;
    }
    // Tips of consecutive chevrons are a fifth of the circle apart: 72° on a radius of 100 px.
    for (std::size_t k = 4; k < loops.chevrons.size(); k += 3) {
      const PixelPoint a = loops.chevrons[k - 3], b = loops.chevrons[k];
      // A chevron due inside a gap comes at its first point after the gap (up to 13 px further on).
      const double slack = c.gapTo > c.gapFrom ? 14 : 4;
      EXPECT_NEAR(std::hypot(a.x - b.x, a.y - b.y), 2 * 100 * std::sin(std::numbers::pi / 5), slack) << c.name;
    }
  }
  std::vector<float> flat(500, 0.5f);
  FlowVolumeLoops still;
  AddLoopPiece(flat.data(), flat.data(), 500, vx, fy, {0, 0}, 8, &still);
  EXPECT_TRUE(still.chevrons.empty()) << "a path of no length has no direction";
  EXPECT_EQ(still.points.size(), 1u);
}

TEST(FlowVolumeLoops, LongPolylinesAreDrawnInJoinedChunks) {
  using C = std::vector<std::pair<std::int32_t, std::int32_t>>;
  EXPECT_EQ(PolylineChunks(8000, 8000), (C{{0, 8000}}));
  EXPECT_EQ(PolylineChunks(8001, 8000), (C{{0, 8000}, {7999, 2}})) << "the second starts on the first's last point";
  EXPECT_EQ(PolylineChunks(20000, 8000), (C{{0, 8000}, {7999, 8000}, {15998, 4002}}));
  EXPECT_TRUE(PolylineChunks(1, 8000).empty());
}

TEST(FlowVolumeLoops, RangeSplitsByBlocks) {
  const std::vector<std::int64_t> lengths{1000, 500, 800};
  using P = std::vector<RangePiece>;
  auto same = [](const P& a, const P& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i].block != b[i].block || a[i].from != b[i].from || a[i].to != b[i].to) return false;
    return true;
  };
  EXPECT_TRUE(same(PiecesOf({200, 0}, {300, 2}, lengths), P{{0, 200, 1000}, {1, 0, 500}, {2, 0, 300}}));
  EXPECT_TRUE(same(PiecesOf({200, 1}, {DataPosition::kNotSet, 1}, lengths), P{{1, 200, 500}}));
  EXPECT_TRUE(PiecesOf({0, DataPosition::kNotSet}, {10, 0}, lengths).empty());
}

TEST(ChannelTrace, ColumnsMatchTheSamplesAtEveryDecimation) {
  std::vector<float> samples;
  for (int i = 0; i < 100'003; ++i) samples.push_back(static_cast<float>(std::sin(i * 0.0137) * (i % 97)));
  samples[5000] = NAN;
  ChannelTrace trace;
  trace.Assign(samples);
  for (double perColumn : {0.5, 1.0, 7.3, 32.0, 300.0, 4096.0, 100003.0}) {
    const int columns = static_cast<int>(std::ceil(100003 / perColumn));
    std::vector<MinMax> got(static_cast<std::size_t>(columns));
    trace.Columns(perColumn, columns, got.data());
    for (int c = 0; c < columns; c += std::max(1, columns / 50)) {
      MinMax exact;
      const auto from = static_cast<std::int64_t>(std::floor(c * perColumn));
      const auto to = std::max(from + 1, static_cast<std::int64_t>(std::floor((c + 1) * perColumn)));
      for (std::int64_t i = from; i < to && i < 100003; ++i) exact.Add(samples[static_cast<std::size_t>(i)]);
      // A summary bin may reach a little past the column, never short of it.
      EXPECT_LE(got[c].min, exact.min) << perColumn << " " << c;
      EXPECT_GE(got[c].max, exact.max) << perColumn << " " << c;
      if (perColumn < ChannelTrace::kBaseBin) {
        EXPECT_EQ(got[c].min, exact.min) << perColumn << " " << c;
        EXPECT_EQ(got[c].max, exact.max) << perColumn << " " << c;
      }
    }
  }
  MinMax all;
  for (float v : samples) all.Add(v);
  EXPECT_EQ(trace.Overall().min, all.min);
  EXPECT_EQ(trace.Overall().max, all.max);
}

}  // namespace
}  // namespace Spirometry
