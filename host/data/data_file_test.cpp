#include "host/data/data_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

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
      {{0, 0}, 0, 0.0, 0.0},     {{10, 0}, 10, 0.010, 0.010}, {{DataPosition::kNotSet, 0}, 100, 0.100, 0.100},
      {{0, 1}, 100, 0.100, 0.0}, {{5, 1}, 105, 0.150, 0.050},
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
  f.blocks[1].channels[0].SetSamples(std::make_shared<const Samples>(Samples(49)));
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
  const std::pair<double, double> cases[] = {{0, 1},       {0.3, 0.5},   {1, 1},  {1.0001, 2}, {2, 2},
                                             {2.5, 5},     {5.1, 10},    {7, 10}, {10, 10},    {123, 200},
                                             {1e-7, 1e-7}, {3e-7, 5e-7}, {-1, 1}};
  for (auto [in, out] : cases) EXPECT_DOUBLE_EQ(NiceRange(in), out) << in;
}

// Threads that ask for deferred samples at once share one read; a failed read is the answer from then on,
// and a read that brings back another number of samples than the file promised is a failure, not data.
TEST(DataFile, DeferredSamplesAreReadOnceForEveryone) {
  struct Case {
    const char* name;
    Expected<Samples> answer;
    std::string failure;
  };
  const Case cases[] = {
      {"read", Samples(50, 2.0f), ""},
      {"damaged", Error{"f.kymo is damaged."}, "f.kymo is damaged."},
      {"short", Samples(49, 2.0f),
       "the samples read back differ in number from those the file held when it was opened"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> reads = 0;
    DataFile f = TwoBlocks();
    f.blocks[1].channels[0].DeferSamples(std::make_shared<DeferredSamples>(50, [&] {
      ++reads;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return c.answer;
    }));
    EXPECT_FALSE(f.Check());  // the promised count against the block length, without reading
    f.blocks[1].length = 100;
    EXPECT_TRUE(f.Check());
    f.blocks[1].length = 50;
    EXPECT_EQ(reads, 0);
    const DataFile copy = f;
    std::vector<Expected<std::shared_ptr<const Samples>>> got(4, Error{});
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t)
      threads.emplace_back([&, t] { got[t] = (t % 2 ? copy : f).blocks[1].channels[0].ReadSamples(); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(f.ReadFailure().value_or(""), c.failure);
    for (const auto& g : got) {
      EXPECT_EQ(g.HasValue(), c.failure.empty());
      if (g && got[0]) {
        EXPECT_EQ(*g, *got[0]);
      }
    }
  }
}
