// Readers of one flow channel are clones of one enumerator and share the flow they compute. Whatever they
// read, in whatever order, on whatever thread, each must get exactly what a reader of its own would get:
// here, a twin over the same volts that lends nothing and so shares nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "host/calc/channel_data.h"
#include "spirometry/calc/memory_source.h"
#include "spirometry/calc/sp_flow_enum.h"

using namespace Spirometry;
using namespace Spirometry::testing;

namespace {
constexpr wchar_t kNonLinearHead[] = L"0 0 11.79 0.37";  // older form: no drift, channel 0, scale, coefficient
constexpr std::int64_t kLength = 150'000;                // more than twice what the family keeps

std::vector<float> RandomVolts(std::uint32_t seed, std::int64_t n) {
  std::mt19937 random(seed);
  std::normal_distribution<float> volts(0.0f, 0.6f);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (auto& x : v) x = volts(random);
  for (std::int64_t i = 0; i < n; i += 7919) v[static_cast<std::size_t>(i)] = NAN;
  return v;
}

// A recording of one channel of volts, read as the host reads it: samples that lie in memory.
struct Recording {
  explicit Recording(std::vector<float> v) : volts(std::move(v)) {
    file->AddChannel(L"Raw flow");
    file->AddBlock(0.01, static_cast<std::int64_t>(volts.size()));
    file->SetSamples(0, 0, L"V", 1.0, volts);
    data = MakeCom<kymora::ChannelData>(file, kymora::HostServices{});
  }
  ComPtr<IEnumFloatEx> Reader(std::int64_t end = kLength) {
    ComPtr<IEnumFloatEx> raw;
    EXPECT_EQ(data->OpenReader(0x1001, 0, {0, 0}, {static_cast<std::int32_t>(end), 0}, raw.Put()), S_OK);
    return raw;
  }
  std::vector<float> volts;
  std::shared_ptr<kymora::DataFile> file = std::make_shared<kymora::DataFile>();
  ComPtr<kymora::ChannelData> data;
};

ComPtr<ICalcEnum> Prototype(const wchar_t* parameters) {
  ComPtr<ICalcEnum> e;
  EXPECT_EQ(SpFlowEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
  EXPECT_EQ(e->SetParameters(parameters, nullptr), S_OK);
  return e;
}

// What the host does for each reader of a calculated channel: a clone of the prepared enumerator, given its
// own reader of the source. `parameters` set on the clone when given.
ComPtr<IEnumFloatEx> ReaderOf(ICalcEnum* prototype, IEnumFloatEx* source, const wchar_t* parameters = nullptr) {
  ComPtr<ICalcEnum> clone;
  EXPECT_EQ(prototype->Clone(clone.Put()), S_OK);
  if (parameters) {
    EXPECT_EQ(clone->SetParameters(parameters, nullptr), S_OK);
  }
  IUnknown* sources[] = {source};
  EXPECT_EQ(clone->SetSources(0, 1, sources, 0, 0.01, 0), S_OK);
  return clone.As<IEnumFloatEx>();
}

ComPtr<IEnumFloatEx> LoneReader(const wchar_t* parameters, const std::vector<float>& volts) {
  auto source = MakeCom<MemorySource>(volts, 0.01, L"V");
  return ReaderOf(Prototype(parameters).Get(), source.Get());
}

bool SameBits(const float* a, const float* b, std::int32_t n) {
  return std::memcmp(a, b, static_cast<std::size_t>(n) * sizeof(float)) == 0;
}
}  // namespace

TEST(SharedFlow, ClonesReadingInAnyOrderGetWhatAReaderOfTheirOwnGets) {
  Recording recording(RandomVolts(11, kLength));
  const auto prototype = Prototype(kNonLinearHead);
  constexpr int kReaders = 3;
  ComPtr<IEnumFloatEx> shared[kReaders], lone[kReaders];
  for (int r = 0; r < kReaders; ++r) {
    shared[r] = ReaderOf(prototype.Get(), recording.Reader().Get());
    lone[r] = LoneReader(kNonLinearHead, recording.volts);
  }
  std::mt19937 random(5);
  std::vector<float> got(70'000), want(70'000);
  std::int64_t leader = 0;  // where reader 0, the one ahead, stands
  for (int step = 0; step < 4000; ++step) {
    const int r = static_cast<int>(random() % kReaders);
    const unsigned op = random() % 10;
    if (op < 7) {
      // Mostly the host's pieces; now and then more than the family keeps at once.
      const auto count = static_cast<std::int32_t>(op < 4 ? 4096 : op < 6 ? random() % 9000 + 1 : 70'000);
      std::int32_t gotCount = -1, wantCount = -1;
      const HRESULT gotResult = shared[r]->Read(count, got.data(), &gotCount);
      const HRESULT wantResult = lone[r]->Read(count, want.data(), &wantCount);
      ASSERT_EQ(gotCount, wantCount) << "step " << step;
      ASSERT_EQ(gotResult == S_OK, wantResult == S_OK) << "step " << step;
      ASSERT_TRUE(SameBits(got.data(), want.data(), gotCount)) << "step " << step;
      if (r == 0 && Succeeded(shared[0]->GetPosition(&leader)) && leader >= kLength) leader = 0;
    } else {
      // Behind the leader (within and beyond what the family keeps), or anywhere at all.
      const std::int64_t tick = op < 9
                                    ? std::max<std::int64_t>(0, leader - static_cast<std::int64_t>(random() % 100'000))
                                    : static_cast<std::int64_t>(random() % (kLength + 5000));
      ASSERT_EQ(shared[r]->Seek(tick), lone[r]->Seek(tick));
      if (r == 0) leader = tick;
    }
  }
}

TEST(SharedFlow, TheOldestTicksHeldAndThoseJustBeforeThemComeOutRight) {
  Recording recording(RandomVolts(21, kLength));
  constexpr std::int64_t kHeld = RecentFlow::kCapacity;
  struct Read {
    std::int64_t from;
    std::int32_t count;
  };
  struct Case {
    const char* name;
    Read leader;  // the leader reads from the start to leader.from in pieces of leader.count
    Read follower;
  };
  const Case cases[] = {
      {"just before the oldest held", {kLength, 4096}, {kLength - kHeld - 1, 10}},
      {"the oldest held", {kLength, 4096}, {kLength - kHeld, 10}},
      {"the newest held", {kLength, 4096}, {kLength - 3, 10}},
      {"read at once, more than is held", {120'000, 120'000}, {120'000 - kHeld - 2, 10}},
      {"read at once, the newest of it", {120'000, 120'000}, {120'000 - 5, 10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto prototype = Prototype(kNonLinearHead);
    auto leader = ReaderOf(prototype.Get(), recording.Reader().Get());
    auto follower = ReaderOf(prototype.Get(), recording.Reader().Get());
    auto lone = LoneReader(kNonLinearHead, recording.volts);
    std::vector<float> got(static_cast<std::size_t>(c.leader.count)), want(got.size());
    std::int32_t n = 0, m = 0;
    ASSERT_EQ(follower->Read(1, got.data(), &n), S_OK);  // it knows its source from now on
    for (std::int64_t at = 0; at < c.leader.from; at += c.leader.count)
      ASSERT_TRUE(Succeeded(leader->Read(c.leader.count, got.data(), &n)));
    ASSERT_EQ(follower->Seek(c.follower.from), S_OK);
    ASSERT_EQ(lone->Seek(c.follower.from), S_OK);
    follower->Read(c.follower.count, got.data(), &n);
    lone->Read(c.follower.count, want.data(), &m);
    ASSERT_EQ(n, m);
    EXPECT_TRUE(SameBits(got.data(), want.data(), n));
  }
}

TEST(SharedFlow, AReaderOfOtherSamplesOnOtherParametersOrWithAnEarlierEndComputesItsOwnFlow) {
  Recording recording(RandomVolts(3, kLength));
  Recording other(RandomVolts(4, kLength));
  constexpr wchar_t kOtherHead[] = L"0 0 5.5 1.0";
  constexpr std::int64_t kFrom = 100'000;
  struct Case {
    const char* name;
    Recording& follows;         // the recording the second reader reads
    const wchar_t* parameters;  // set on its clone, when not null
    std::int64_t end;           // where its source ends
  };
  const Case cases[] = {
      {"other samples", other, nullptr, kLength},
      {"other parameters", recording, kOtherHead, kLength},
      {"an earlier end", recording, nullptr, kFrom + 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto prototype = Prototype(kNonLinearHead);
    auto first = ReaderOf(prototype.Get(), recording.Reader().Get());
    auto second = ReaderOf(prototype.Get(), c.follows.Reader(c.end).Get(), c.parameters);
    const std::vector<float> volts(c.follows.volts.begin(), c.follows.volts.begin() + c.end);
    auto lone = LoneReader(c.parameters ? c.parameters : kNonLinearHead, volts);
    std::vector<float> buffer(8192);
    std::int32_t got = 0;
    // Each reads once, the second first; then the second reads what the first computed last.
    ASSERT_EQ(second->Read(100, buffer.data(), &got), S_OK);
    ASSERT_EQ(first->Seek(kFrom), S_OK);
    ASSERT_EQ(first->Read(8192, buffer.data(), &got), S_OK);
    ASSERT_EQ(second->Seek(kFrom), S_OK);
    ASSERT_EQ(lone->Seek(kFrom), S_OK);
    const auto want = ReadToEnd(lone.Get(), 4096);
    const auto taken = ReadToEnd(second.Get(), 4096);
    ASSERT_EQ(taken.size(), want.size());
    EXPECT_TRUE(SameBits(taken.data(), want.data(), static_cast<std::int32_t>(want.size())));
  }
}

TEST(SharedFlow, ClonesReadAtOnceOnTwoThreadsEachGetTheWholeFlow) {
  Recording recording(RandomVolts(8, kLength));
  const auto prototype = Prototype(kNonLinearHead);
  const auto want = ReadToEnd(LoneReader(kNonLinearHead, recording.volts).Get(), 4096);
  auto a = ReaderOf(prototype.Get(), recording.Reader().Get());
  auto b = ReaderOf(prototype.Get(), recording.Reader().Get());
  std::vector<float> fromA, fromB;
  std::thread other([&] { fromA = ReadToEnd(a.Get(), 4096); });
  fromB = ReadToEnd(b.Get(), 3001);
  other.join();
  ASSERT_EQ(fromA.size(), want.size());
  ASSERT_EQ(fromB.size(), want.size());
  EXPECT_TRUE(SameBits(fromA.data(), want.data(), static_cast<std::int32_t>(want.size())));
  EXPECT_TRUE(SameBits(fromB.data(), want.data(), static_cast<std::int32_t>(want.size())));
}
