#include "host/data/data_file.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kymora;

namespace {
DataFile TwoBlocks() {
  DataFile f;
  f.AddChannel(L"Flow");
  f.AddBlock(0.001, 100);
  f.AddBlock(0.01, 50);
  f.SetSamples(0, 0, L"V", 2.0, Samples(100, 0.5f));
  return f;
}
}  // namespace

TEST(DataFile, PositionsMapToAbsoluteIndicesAndTimes) {
  DataFile f = TwoBlocks();
  struct Case {
    DataPosition pos;
    std::int64_t index;
    double time, timeInBlock;
  };
  const Case cases[] = {
      {{0, 0}, 0, 0.0, 0.0},
      {{10, 0}, 10, 0.010, 0.010},
      {{DataPosition::kNotSet, 0}, 100, 0.100, 0.100},
      {{0, 1}, 100, 0.100, 0.0},
      {{5, 1}, 105, 0.150, 0.050},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(f.AbsoluteIndex(c.pos), c.index);
    EXPECT_NEAR(*f.TimeOf(c.pos, false), c.time, 1e-12);
    EXPECT_NEAR(*f.TimeOf(c.pos, true), c.timeInBlock, 1e-12);
  }
  EXPECT_FALSE(f.AbsoluteIndex({0, 2}));
  EXPECT_FALSE(f.TimeOf({-1, 0}, true));
}

TEST(DataFile, CheckFindsInconsistencies) {
  DataFile f = TwoBlocks();
  EXPECT_FALSE(f.Check());
  f.blocks[1].channels[0].samples = std::make_shared<const Samples>(Samples(49));
  EXPECT_TRUE(f.Check());
  f = TwoBlocks();
  f.selection = {true, {0, 0}, {101, 0}};
  EXPECT_TRUE(f.Check());
  f.selection = {true, {0, 0}, {DataPosition::kNotSet, 1}};
  EXPECT_FALSE(f.Check());
  f.blocks[0].secsPerTick = 0;
  EXPECT_TRUE(f.Check());
  const std::pair<UserConversion, bool> conversions[] = {
      {{2.5, -1.0, L"L/s"}, true}, {{-1e-30, 0.0, L""}, true},       {{0.0, 0.0, L"L/s"}, false},
      {{NAN, 0.0, L"L/s"}, false}, {{1.0, INFINITY, L"L/s"}, false},
  };
  for (const auto& [conversion, usable] : conversions) {
    f = TwoBlocks();
    f.blocks[0].channels[0].userConversion = conversion;
    EXPECT_EQ(!f.Check(), usable) << conversion.scale << " " << conversion.offset;
  }
  f = TwoBlocks();
  f.blocks[1].channels[0].userConversion = UserConversion{};
  EXPECT_EQ(f.Check(), "block 2, channel 1: a units conversion without recorded data");
}

TEST(DataFile, NewChannelsAndBlocksStartWithoutData) {
  DataFile f = TwoBlocks();
  auto c = f.AddChannel(L"Volume");
  EXPECT_EQ(c, 1);
  EXPECT_FALSE(f.blocks[0].channels[1].HasData());
  EXPECT_TRUE(f.blocks[0].channels[0].HasData());
  EXPECT_DOUBLE_EQ(f.blocks[0].channels[0].Scale(), 2.0 / 32000);
}

TEST(NiceRange, IsTheSmallestOneTwoOrFiveDecadeStepAtOrAbove) {
  const std::pair<double, double> cases[] = {{0, 1},    {0.3, 0.5}, {1, 1},     {1.0001, 2}, {2, 2},
                                             {2.5, 5},  {5.1, 10},  {7, 10},    {10, 10},    {123, 200},
                                             {1e-7, 1e-7}, {3e-7, 5e-7}, {-1, 1}};
  for (auto [in, out] : cases) EXPECT_DOUBLE_EQ(NiceRange(in), out) << in;
}
