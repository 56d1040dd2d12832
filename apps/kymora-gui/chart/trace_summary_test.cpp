#include "apps/kymora-gui/chart/trace_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "apps/kymora-gui/chart/value_axis.h"

using namespace kymora::chart;

namespace {
std::vector<float> Noise(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0, 1);
  std::vector<float> v(n);
  for (auto& x : v) x = d(rng);
  return v;
}

// The reference: the min and max of the samples whose [i, i + 1) overlaps [s0, s1).
MinMax Brute(const std::vector<float>& v, double s0, double s1) {
  MinMax m;
  const auto from = static_cast<std::size_t>(std::max(0.0, std::floor(s0)));
  for (std::size_t i = from; i < v.size() && static_cast<double>(i) < s1; ++i)
    if (static_cast<double>(i) + 1 > s0 && !std::isnan(v[i])) {
      m.min = std::min(m.min, v[i]);
      m.max = std::max(m.max, v[i]);
    }
  return m;
}

TraceSummary Summarise(const std::vector<float>& v, std::size_t chunk) {
  TraceSummary s;
  for (std::size_t i = 0; i < v.size(); i += chunk)
    s.Append(v.data() + i, static_cast<std::int64_t>(std::min(chunk, v.size() - i)));
  s.Finish();
  return s;
}
}  // namespace

TEST(TraceSummary, LevelsMatchTheSamplesWhateverTheChunks) {
  auto v = Noise(100000, 1);
  v[777] = NAN;  // skipped
  v[64000] = 9;  // an outlier must survive to the top
  for (std::size_t chunk : {1u, 63u, 64u, 4096u, 100000u}) {
    auto s = Summarise(v, chunk);
    ASSERT_EQ(s.Length(), 100000);
    ASSERT_EQ(s.Level(0).size(), 1563u) << chunk;  // ceil(100000 / 64)
    EXPECT_EQ(s.Level(s.Levels() - 1).size(), 1u);
    for (int l = 0; l < s.Levels(); ++l) {
      const double bin = static_cast<double>(s.BinSize(l));
      for (std::size_t b : {std::size_t{0}, std::size_t{12}, s.Level(l).size() - 1}) {
        if (b >= s.Level(l).size()) continue;
        auto want = Brute(v, static_cast<double>(b) * bin, (static_cast<double>(b) + 1) * bin);
        EXPECT_EQ(s.Level(l)[b].min, want.min) << "chunk " << chunk << " level " << l << " bin " << b;
        EXPECT_EQ(s.Level(l)[b].max, want.max) << "chunk " << chunk << " level " << l << " bin " << b;
      }
    }
    EXPECT_EQ(s.Overall().max, 9.0f);
  }
}

TEST(TraceSummary, ColumnsHoldTheSamplesOfEachColumn) {
  const auto v = Noise(200000, 2);
  const auto s = Summarise(v, 4096);
  struct Case {
    double first, perColumn;
    int columns;
  };
  const Case cases[] = {{0, 512, 300}, {1000.5, 700.25, 250}, {-5000, 64, 200}, {199000, 4096, 10}, {0, 100000, 3}};
  for (const auto& c : cases) {
    const int level = s.LevelFor(c.perColumn);
    ASSERT_GE(level, 0);
    EXPECT_LE(s.BinSize(level), c.perColumn);
    std::vector<MinMax> got(c.columns);
    s.Columns(level, c.first, c.perColumn, c.columns, got.data());
    const double bin = static_cast<double>(s.BinSize(level));
    for (int k = 0; k < c.columns; ++k) {
      const double s0 = c.first + k * c.perColumn, s1 = s0 + c.perColumn;
      // Whole bins are taken: the column's own samples, at most one bin more on each side.
      const auto inner = Brute(v, s0, s1);
      const auto outer = Brute(v, std::floor(s0 / bin) * bin, std::ceil(s1 / bin) * bin);
      EXPECT_EQ(got[k].Empty(), inner.Empty()) << k;
      if (inner.Empty()) continue;
      EXPECT_LE(got[k].min, inner.min) << k;
      EXPECT_GE(got[k].max, inner.max) << k;
      EXPECT_GE(got[k].min, outer.min) << k;
      EXPECT_LE(got[k].max, outer.max) << k;
    }
  }
  // Columns that line up with the bins are exact.
  std::vector<MinMax> aligned(100), raw(100);
  s.Columns(1, 0, 512, 100, aligned.data());
  ColumnsOfSamples(v.data(), 0, 200000, 0, 512, 100, raw.data());
  for (int k = 0; k < 100; ++k) {
    EXPECT_EQ(aligned[k].min, raw[k].min);
    EXPECT_EQ(aligned[k].max, raw[k].max);
  }
  EXPECT_EQ(s.LevelFor(63.9), -1);  // narrower than a bin: draw the samples
}

TEST(ColumnsOfSamples, PartialWindowAndJoinedColumns) {
  const std::vector<float> window = {5, 1, 7, 3};  // samples 100..103
  std::vector<MinMax> cols(4);
  ColumnsOfSamples(window.data(), 100, 4, 99, 1.5, 4, cols.data());
  // [99, 100.5): 100;  [100.5, 102): 100, 101;  [102, 103.5): 102, 103;  [103.5, 105): 103
  const float want[4][2] = {{5, 5}, {1, 5}, {3, 7}, {3, 3}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(cols[k].min, want[k][0]) << k;
    EXPECT_EQ(cols[k].max, want[k][1]) << k;
  }
  MinMax steps[] = {{0, 1}, {5, 6}, {}, {2, 3}, {-4, -3}};
  ConnectColumns(steps, 5);
  EXPECT_EQ(steps[1].min, 1);  // stretched down to meet the column before
  EXPECT_TRUE(steps[2].Empty());
  EXPECT_EQ(steps[3].min, 2);  // after a gap nothing is joined
  EXPECT_EQ(steps[4].max, 2);  // stretched up
}

TEST(ValueAxis, FitZoomTicksAndRows) {
  EXPECT_EQ(FitRange(0, 10), (ValueRange{-0.5, 10.5}));
  EXPECT_EQ(FitRange(2, 2), (ValueRange{1.8, 2.2}));
  EXPECT_EQ(FitRange(0, 0), (ValueRange{-1, 1}));
  EXPECT_EQ(FitRange(INFINITY, -INFINITY), (ValueRange{-1, 1}));  // no data
  EXPECT_EQ(ZoomRange({-1, 3}, 2, 1), (ValueRange{0, 2}));
  EXPECT_EQ(ValueTicks({-0.13, 0.42}, 110, 20), (std::vector<double>{-0.1, 0, 0.1, 0.2, 0.3, 0.4}));

  const ValueView view{-1, 1, 50, 100};
  EXPECT_DOUBLE_EQ(view.YOf(1), 50);
  EXPECT_DOUBLE_EQ(view.YOf(-1), 150);
  EXPECT_DOUBLE_EQ(view.ValueAt(100), 0);

  auto layout = LayOutChart(800, 430, 4, 130, 30, 6);
  EXPECT_EQ(layout.traceLeft, 130);
  EXPECT_EQ(layout.traceWidth, 670);
  EXPECT_EQ(layout.axisTop, 400);
  ASSERT_EQ(layout.rows.size(), 4u);
  EXPECT_EQ(layout.rows[0].top, 3);
  EXPECT_EQ(layout.rows[1].top, 3 + 94 + 6);
  EXPECT_LE(layout.rows[3].top + layout.rows[3].height, layout.axisTop);
  EXPECT_EQ(layout.RowAt(layout.rows[2].top + 5), 2);
  EXPECT_EQ(layout.RowAt(layout.rows[1].top - 1), -1);  // a gap
}
