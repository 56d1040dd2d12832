// The framework with a detector written for the test: upward crossings of a level, every fifth of them
// without a value, in an analysed range narrower than the record. Its events are known from a plain loop,
// so everything the framework adds (steps, restarts, a growing record, dropped events, the range) is
// checked against them.
#include "spirometry/events/eeh3_enumerator.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <tuple>

#include "spirometry/events/event_test_support.h"

namespace Spirometry::testing {
namespace {

constexpr std::int32_t kRangeBegin = 1000;
constexpr std::int32_t kRangeEnd = 300000;

struct CrossingEvent {
  QorEventPosition mPosition;
  double mValue;
  std::int32_t mIndex;  // crossings counted from the range start
  std::int32_t mPad;
};

class CrossingParams final : public EEH3::ParamsBase {
 public:
  CrossingParams() : ParamsBase({EEH3::SourceSlot::Channel()}) {
    mRangeStartTick = kRangeBegin;
    mRangeEndTick = kRangeEnd;
    mRangeEndRecord = 0;
  }
  HRESULT ReadNumbers(std::span<const double> numbers) override {
    mLevel = numbers[0];
    return S_OK;
  }
  std::size_t NumberCount() const override { return 1; }
  double mLevel = 0;
};

class CrossingState final : public EEH3::StateBase {
 public:
  explicit CrossingState(std::int32_t start) : mTick(start) {}
  std::int32_t Position() const override { return mDone ? 2147483647 : mTick; }
  std::int32_t mTick;
  std::uint8_t mAbove = 0;
  std::int32_t mCount = 0;
};

bool CrossingAlgorithm(CrossingState& s, CrossingParams& p, CrossingEvent& out) {
  if (s.mDone) return false;
  EEH3::FloatExWrapper& source = p.FloatSource(0);
  while (s.mTick < s.mStepEnd && source.HasSample()) {
    const float f = source.Value();
    const std::int32_t tick = s.mTick;
    source.Advance();
    ++s.mTick;
    const bool above = f > p.mLevel;
    const bool crossing = above && !s.mAbove;
    s.mAbove = above;
    if (crossing) {
      ++s.mCount;
      out = CrossingEvent{EEH3::EventPositionOf(tick),
                          s.mCount % 5 == 0 ? std::bit_cast<double>(EEH3::kNoValueBits) : f, s.mCount, 0};
      return true;
    }
  }
  return false;
}

class CrossingEnumerator : public CalcEnums::CalcEnumEventBase, public EEH3::EnumeratorBase {
 public:
  using Params = CrossingParams;
  using State = CrossingState;
  using Event = CrossingEvent;
  static bool FindNext(State& s, Params& p, Event& e) { return CrossingAlgorithm(s, p, e); }
  static const CalcEnums::FunctionTable& Table() {
    static const CalcEnums::FunctionTable table{
        L"Crossings",
        L"",
        {},
        {},
        {{L"Source", ParamKind::kChannel, 0, 0, 0}, {L"Level", ParamKind::kNumber, 0, 1, 0}},
        0,
        CalcKind::kEvents};
    return table;
  }
  static EEH3::EventFields Fields() { return {}; }
};

using CrossingDetector = EEH3::EEH3Enumerator<CrossingEnumerator, 8>;

TEST(AnalysedRange, CorrectedAndSeenFromEachRecord) {
  constexpr std::int32_t kMax = 2147483647;
  struct Case {
    const char* name;
    std::array<std::int32_t, 4> given;                           // start tick, start record, end tick, end record
    std::array<std::int32_t, 4> corrected;                       // the same after correction
    std::array<std::pair<std::int32_t, std::int32_t>, 5> ticks;  // [begin, end) seen from records 0 to 4
  };
  const std::pair<std::int32_t, std::int32_t> kWhole{0, kMax}, kNone{0, 0};
  const Case cases[] = {
      {"all zero: every record whole", {0, 0, 0, 0}, {0, 0, kMax, kMax}, {kWhole, kWhole, kWhole, kWhole, kWhole}},
      {"negative bounds", {-5, -1, -7, -2}, {0, 0, kMax, kMax}, {kWhole, kWhole, kWhole, kWhole, kWhole}},
      {"negative start tick only", {-1, 0, 0, 0}, {0, 0, kMax, kMax}, {kWhole, kWhole, kWhole, kWhole, kWhole}},
      {"records 1 to 3", {100, 1, 500, 3}, {100, 1, 500, 3}, {kNone, {100, kMax}, kWhole, {0, 500}, kNone}},
      {"within one record", {100, 2, 500, 2}, {100, 2, 500, 2}, {kNone, kNone, {100, 500}, kNone, kNone}},
      {"up to the start of record 2", {0, 0, 0, 2}, {0, 0, 0, 2}, {kWhole, kWhole, kNone, kNone, kNone}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EEH3::ParamsBaseAutoCopy p;
    std::tie(p.mRangeStartTick, p.mRangeStartRecord, p.mRangeEndTick, p.mRangeEndRecord) = std::tuple_cat(c.given);
    p.CorrectRange();
    EXPECT_EQ((std::array{p.mRangeStartTick, p.mRangeStartRecord, p.mRangeEndTick, p.mRangeEndRecord}), c.corrected);
    for (std::int32_t record = 0; record < 5; ++record) {
      p.mCurrentRecord = record;
      const auto [begin, end] = c.ticks[static_cast<std::size_t>(record)];
      if (begin < end) {
        EXPECT_EQ(p.RangeBegin(), begin) << "record " << record;
        EXPECT_EQ(p.RangeEnd(), end) << "record " << record;
      } else {
        EXPECT_LE(p.RangeEnd(), p.RangeBegin()) << "record " << record << " lies outside the range";
      }
    }
  }
}

class EventFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    signal = NoisyBreathing(350000, 31).flow;
    for (std::size_t t = 0; t < signal.size(); t += 997) signal[t] = std::numeric_limits<float>::quiet_NaN();
    // The crossings a plain loop finds in the range, without the valueless ones.
    bool above = false;
    std::int32_t count = 0;
    for (std::int32_t t = kRangeBegin; t < kRangeEnd; ++t) {
      const bool now = signal[static_cast<std::size_t>(t)] > kLevel;
      if (now && !above && ++count % 5 != 0) expected.push_back(t);
      above = now;
    }
  }
  // A negative `online` makes the record one still being acquired, with `*source` to let it grow.
  ComPtr<CrossingDetector> Make(Samples record, std::int32_t online = 0, ComPtr<MemorySource>* source = nullptr) {
    auto d = MakeCom<CrossingDetector>();
    EXPECT_EQ(d->SetParameters(L"0 0.3", nullptr), S_OK);
    auto reader = SourceOver(std::move(record));
    if (online < 0) reader->SetAcquired(0);
    if (source) *source = reader;
    IUnknown* sources[] = {reader.Get()};
    EXPECT_EQ(d->SetSources(0, 1, sources, 0, kSecsPerTick, online), S_OK);
    return d;
  }
  static std::vector<std::int32_t> Ticks(const std::vector<Record>& records) {
    std::vector<std::int32_t> ticks;
    for (const auto& r : records) ticks.push_back(r.tick);
    return ticks;
  }

  static constexpr double kLevel = 0.3;
  std::vector<float> signal;
  std::vector<std::int32_t> expected;
  std::mt19937 random{17};
};

TEST_F(EventFramework, DropsValuelessEventsAndKeepsToTheRange) {
  auto d = Make(Share(signal));
  std::int32_t position = -1;
  d->GetPosition(&position);
  EXPECT_EQ(position, 0) << "sources set: the position is 0, wherever the range starts";
  const auto records = ReadToEnd(d.Get(), sizeof(CrossingEvent));
  ASSERT_GT(expected.size(), 50u);
  EXPECT_EQ(Ticks(records), expected);
  for (const auto& r : records) EXPECT_NE(FieldAt<std::int32_t>(r, 16) % 5, 0);
  d->SetPosition(10);
  d->GetPosition(&position);
  EXPECT_EQ(position, kRangeBegin) << "no position before the range start";
}

TEST_F(EventFramework, StepsRestartsAndGrowthGiveTheSameEvents) {
  auto record = Share(signal);
  const auto onePass = ReadToEnd(Make(record).Get(), sizeof(CrossingEvent));
  EXPECT_EQ(ReadInRandomSteps(Make(record).Get(), sizeof(CrossingEvent), random), onePass);

  auto d = Make(record);
  for (std::int32_t start : {350000, 250001, 5000, 199999, 100000, 120000}) {
    d->SetPosition(start);
    std::vector<Record> rest;
    for (const auto& r : onePass)
      if (r.tick >= start) rest.push_back(r);
    EXPECT_EQ(ReadToEnd(d.Get(), sizeof(CrossingEvent)), rest) << "from " << start;
  }

  ComPtr<MemorySource> growing;
  auto online = Make(record, -1, &growing);
  std::vector<Record> got;
  std::uniform_int_distribution<std::int64_t> piece(1, 20000);
  const auto total = static_cast<std::int64_t>(signal.size());
  std::int64_t visible = 0;
  while (!HasFailure()) {
    visible = std::min(total, visible + piece(random));
    growing->SetAcquired(visible);
    HRESULT hr = S_OK;
    std::size_t before = 0;
    do {
      before = got.size();
      hr = CheckedNext(online.Get(), sizeof(CrossingEvent), -1, 8, false, got);
    } while (hr == S_OK && got.size() - before == 8 && !HasFailure());
    if (hr == S_FALSE) break;
    ASSERT_LT(visible, total) << "the range has ended once all data has come";
  }
  EXPECT_EQ(got, onePass);
}

TEST_F(EventFramework, FindMovesThePositionOnlyInItsDirection) {
  // A gap between two events: [a, b) holds none, b is an event.
  std::size_t k = 1;
  while (expected[k + 1] - expected[k] < 50) ++k;
  const std::int32_t before = expected[k], a = expected[k] + 1, b = expected[k + 1];
  constexpr std::int32_t kEnd = kRecordEndOffset;
  struct Case {
    const char* name;
    std::int32_t position;  // where the enumerator stands before the call (kEnd: the record read to its end)
    std::int32_t direction, from, lower, upper;
    HRESULT result;
    std::int32_t after;  // the position after the call
  };
  const Case cases[] = {
      {"forwards onto an event", before, 0, a, a, b + 1, S_OK, b},
      {"forwards over nothing, from before the window", before, 0, a, a, b, S_FALSE, a},
      {"forwards over nothing, from beyond the window", b + 100, 0, a, a, b, S_FALSE, b + 100},
      {"forwards over nothing, at the record end", kEnd, 0, a, a, b, S_FALSE, kEnd},
      {"backwards onto an event", kEnd, 1, b, a, kEnd, S_OK, b},
      {"backwards over nothing, from beyond the window", b + 100, 1, b - 1, a, kEnd, S_FALSE, b - 1},
      {"backwards over nothing, from before the window", before, 1, b - 1, a, kEnd, S_FALSE, before},
      {"equal bounds", before, 0, a, 7000, 7000, S_FALSE, 7000},
      {"upper bound 0", before, 1, a, 0, 0, S_FALSE, 0},
      {"backwards from tick 0", before, 1, 0, 2000, b, S_FALSE, 2000},
      {"forwards below the lowest tick", before, 0, 5, 3, std::numeric_limits<std::int32_t>::min(), S_FALSE, before},
      {"backwards below the lowest tick", before, 1, 5, 3, std::numeric_limits<std::int32_t>::min(), S_FALSE, before},
  };
  auto d = Make(Share(signal));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.position == kEnd)
      ReadToEnd(d.Get(), sizeof(CrossingEvent));
    else
      d->SetPosition(c.position);
    EXPECT_EQ(d->Find(c.direction, c.from, c.lower, c.upper), c.result);
    std::int32_t position = -1;
    d->GetPosition(&position);
    EXPECT_EQ(position, c.after);
  }
}

TEST_F(EventFramework, EventSourcesAreRepositionedWithTheirReader) {
  // A wrapper over an event source, restored to saved positions in any order, offers the same events.
  auto source = Make(Share(signal));
  EEH3::EventWrapper wrapper(ComPtr<IEnumEventEx>(source.Get()), sizeof(CrossingEvent), 8);
  std::vector<std::int32_t> ticks;
  std::vector<EEH3::SourcePosition> saved;
  while (wrapper.HasEvent()) {
    saved.push_back(wrapper.Save());
    ticks.push_back(wrapper.CurrentTick());
    wrapper.Advance();
  }
  EXPECT_TRUE(wrapper.AtEnd());
  EXPECT_EQ(ticks, expected);
  std::uniform_int_distribution<std::size_t> pick(0, saved.size() - 1);
  for (int i = 0; i < 20; ++i) {
    const std::size_t k = pick(random);
    wrapper.Restore(saved[k], 2147483647);
    ASSERT_TRUE(wrapper.HasEvent());
    EXPECT_EQ(wrapper.CurrentTick(), ticks[k]);
    wrapper.Advance();
    if (k + 1 < ticks.size()) {
      ASSERT_TRUE(wrapper.HasEvent());
      EXPECT_EQ(wrapper.CurrentTick(), ticks[k + 1]);
    }
  }
}

}  // namespace
}  // namespace Spirometry::testing
