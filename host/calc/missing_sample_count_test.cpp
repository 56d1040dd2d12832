#include "host/calc/missing_sample_count.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "host/calc/calc_test_fakes.h"
#include "host/calc/channel_data.h"

using namespace kymora;
using namespace kymora::fakes;

namespace {
constexpr std::int32_t kLength = 10000;

// Missing samples on both sides of the counter's piece boundaries and at the ends of the block.
std::vector<float> Recording() {
  std::vector<float> s(kLength);
  for (std::int32_t i = 0; i < kLength; ++i) s[i] = static_cast<float>(i % 97) - 40.0f;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (std::int32_t at : {0, 17, 4095, 4096, 4097, 6000, 8191, 8192, kLength - 1}) s[at] = nan;
  s[100] = inf;
  s[5000] = -inf;
  return s;
}

std::int64_t Reference(const std::vector<float>& s, std::int32_t from, std::int32_t to) {
  std::int64_t n = 0;
  for (std::int32_t i = from; i < to; ++i) n += std::isfinite(s[i]) ? 0 : 1;
  return n;
}
}  // namespace

// Both forms of the count, whichever this processor runs, on pieces of every length up to 40 with NaNs and
// infinities at every place.
TEST(CountNotFinite, EachFormCountsWhatASampleBySampleLoopCounts) {
  using Count = std::int64_t (*)(const float*, std::int32_t);
  std::vector<std::pair<const char*, Count>> forms = {{"baseline", detail::CountNotFiniteBaseline}};
#ifdef KYMORA_WIDE_COUNT
  if (__builtin_cpu_supports("avx2")) forms.emplace_back("avx2", detail::CountNotFiniteWide);
#endif
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float oddOnes[] = {nan, inf, -inf, -nan, std::numeric_limits<float>::max(), -0.0f};
  std::vector<float> s(40);
  for (const auto& [name, count] : forms)
    for (std::int32_t n = 0; n <= 40; ++n)
      for (std::int32_t at = 0; at < n; ++at)
        for (const float odd : oddOnes) {
          for (std::int32_t i = 0; i < n; ++i) s[i] = i % 3 == 0 ? nan : static_cast<float>(i);
          s[at] = odd;
          ASSERT_EQ(count(s.data(), n), Reference(s, 0, n)) << name << ", " << n << " samples, odd one at " << at;
        }
}

TEST(MissingSampleCounter, FollowingAReaderCountsWhatOnePassCounts) {
  FakeHost host;
  auto file = std::make_shared<DataFile>();
  file->AddChannel(L"Flow");
  file->AddBlock(0.001, kLength);
  const std::vector<float> samples = Recording();
  file->SetSamples(0, 0, L"L/s", 10.0, samples);
  ComPtr<ChannelData> data = MakeCom<ChannelData>(file, host.Services());

  struct Case {
    std::int32_t from, to;
    std::vector<std::int64_t> follow;  // ticks the counter is brought to before it finishes
  };
  const Case cases[] = {
      {0, kLength, {}},
      {0, kLength, {1, 4096, 4096, 4097, 9000}},
      {18, 8192, {2000, 1000, 8192, 20000}},  // a step back counts nothing again; a step past the end stops there
      {4096, 4098, {4097}},
      {500, 500, {600}},
  };
  for (const Case& c : cases) {
    MissingSampleCounter counter(*data, 0, {c.from, 0}, {c.to, 0});
    for (std::int64_t tick : c.follow) counter.CountTo(tick);
    EXPECT_EQ(counter.Finish(), Reference(samples, c.from, c.to)) << c.from << ".." << c.to;
  }
  // A channel the data does not have is no count of zero.
  EXPECT_EQ(MissingSampleCounter(*data, 5, {0, 0}, {kLength, 0}).Finish(), std::nullopt);
  data->Shutdown();
}
