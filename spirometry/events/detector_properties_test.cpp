// Properties every detector on the framework has, on several signals of 350000 samples (so that detection
// crosses snapshot boundaries): one pass, arbitrary steps, restarts and a growing record give the same
// events, and Next and Find keep their contract.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "spirometry/events/event_test_support.h"

namespace Spirometry::testing {
namespace {

constexpr std::size_t kSamples = 350000;

// Made on first use: ctest runs every case in a process of its own.
const Signal& SignalNamed(const std::string& name) {
  static std::map<std::string, Signal> signals;
  auto it = signals.find(name);
  if (it != signals.end()) return it->second;
  Signal s = name == "clean_sine"           ? CleanSine(kSamples)
             : name == "noisy_breathing"    ? NoisyBreathing(kSamples, 11)
             : name == "single_expirations" ? SingleExpirations(kSamples, 12)
             : name == "ends_mid_breath"    ? EndsMidBreath(kSamples, 13)
                                            : WithNotANumbers(kSamples, 14);
  return signals.emplace(name, std::move(s)).first->second;
}

class DetectorProperties : public ::testing::TestWithParam<std::tuple<DetectorKind, std::string>> {
 protected:
  void SetUp() override {
    kind = std::get<0>(GetParam());
    signal = &SignalNamed(std::get<1>(GetParam()));
    flow = Share(signal->flow);
    volume = Share(signal->volume);
    detector = MakeDetector(kind, flow, volume, signal->height);
    onePass = ReadToEnd(detector.events.Get(), detector.elementSize);
    random.seed(static_cast<std::uint32_t>(std::hash<std::string>{}(NameOf(kind) + signal->name)));
  }

  Detector Fresh(std::int32_t online = 0) { return MakeDetector(kind, flow, volume, signal->height, online); }
  std::vector<Record> From(std::int32_t tick) const {
    std::vector<Record> rest;
    for (const auto& r : onePass)
      if (r.tick >= tick) rest.push_back(r);
    return rest;
  }

  DetectorKind kind{};
  const Signal* signal = nullptr;
  Samples flow, volume;
  Detector detector;
  std::vector<Record> onePass;
  std::mt19937 random;
};

TEST_P(DetectorProperties, FindsBreathsAcrossTheWholeRecord) {
  // A detector that found nothing would pass every comparison below.
  ASSERT_GE(onePass.size(), 30u);
  EXPECT_GT(onePass.back().tick, 300000);
  std::int32_t position = 0;
  detector.events->GetPosition(&position);
  EXPECT_EQ(position, kRecordEndOffset);
  std::int32_t count = -1, next = -1;
  std::vector<std::byte> buffer(static_cast<std::size_t>(detector.elementSize) * 4);
  EXPECT_EQ(detector.events->Next(-1, buffer.data(), static_cast<std::int32_t>(buffer.size()), &count, &next), S_FALSE);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(next, kRecordEndOffset);
}

TEST_P(DetectorProperties, ArbitraryStepsGiveTheOnePassEvents) {
  for (int run = 0; run < 3; ++run) {
    auto d = Fresh();
    EXPECT_EQ(ReadInRandomSteps(d.events.Get(), d.elementSize, random), onePass) << "run " << run;
  }
}

TEST_P(DetectorProperties, StepsEndingJustAfterTheFirstEventLoseNothing) {
  // Between the tick at which the first event will start and the sample that makes it an event, a step end
  // finds the detector holding a start it has not reported yet; the next step must still report it.
  const std::int32_t first = onePass.front().tick;
  for (std::int32_t after : {1, 2, 5, 10, 30, 60, 100, 150, 200, 300, 500, 1000, 2000}) {
    SCOPED_TRACE("step end " + std::to_string(first + after));
    auto d = Fresh();
    std::vector<Record> got;
    CheckedNext(d.events.Get(), d.elementSize, first + after, 8, true, got);
    CheckedNext(d.events.Get(), d.elementSize, -1, 3, true, got);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got, std::vector<Record>(onePass.begin(), onePass.begin() + static_cast<std::ptrdiff_t>(got.size())));
  }
}

TEST_P(DetectorProperties, RestartsFromAnyTickGiveTheEventsFromThere) {
  std::uniform_int_distribution<std::int32_t> tick(0, static_cast<std::int32_t>(flow->size()) + 50);
  std::vector<std::int32_t> starts{0, 99999, 100000, 100001, 200000};
  for (int i = 0; i < 6; ++i) starts.push_back(tick(random));
  if (!onePass.empty()) starts.push_back(onePass[onePass.size() / 2].tick);  // exactly at an event
  for (std::int32_t start : starts) {
    SCOPED_TRACE("start " + std::to_string(start));
    ASSERT_EQ(detector.calc->SetPosition(start), S_OK);
    std::int32_t position = -1;
    detector.events->GetPosition(&position);
    EXPECT_EQ(position, start);
    EXPECT_EQ(ReadToEnd(detector.events.Get(), detector.elementSize), From(start));
  }
}

TEST_P(DetectorProperties, SettingSourcesAgainRestartsTheSame) {
  std::uniform_int_distribution<std::int32_t> tick(0, static_cast<std::int32_t>(flow->size()));
  for (int i = 0; i < 3; ++i) {
    const std::int32_t start = tick(random);
    SCOPED_TRACE("start " + std::to_string(start));
    auto again = Fresh();  // sources of a new detector, handed to the old one
    std::vector<IUnknown*> sources;
    if (kind == DetectorKind::kVol || kind == DetectorKind::kTidVolExp) {
      auto inner = MakeDetector(DetectorKind::kFlow, flow, volume, signal->height);
      auto sampleSource = SourceOver(kind == DetectorKind::kVol ? volume : flow);
      IUnknown* list[] = {sampleSource.Get(), inner.events.Get()};
      ASSERT_EQ(detector.calc->SetSources(0, 2, list, 0, kSecsPerTick, 0), S_OK);
    } else {
      auto flowSource = SourceOver(flow);
      auto volumeSource = SourceOver(volume);
      IUnknown* list[] = {flowSource.Get(), volumeSource.Get()};
      const bool oneSource = kind == DetectorKind::kFlow || kind == DetectorKind::kTidVol;
      ASSERT_EQ(detector.calc->SetSources(0, oneSource ? 1 : 2, list, 0, kSecsPerTick, 0), S_OK);
    }
    std::int32_t position = -1;
    detector.events->GetPosition(&position);
    EXPECT_EQ(position, 0);
    ASSERT_EQ(detector.calc->SetPosition(start), S_OK);
    EXPECT_EQ(ReadToEnd(detector.events.Get(), detector.elementSize), From(start));
  }
}

TEST_P(DetectorProperties, AGrowingRecordGivesTheSameEvents) {
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    auto d = Fresh(-1);
    std::vector<Record> got;
    std::uniform_int_distribution<std::int64_t> piece(1, run == 0 ? 30000 : 3000);
    const auto total = static_cast<std::int64_t>(flow->size());
    HRESULT hr = S_OK;
    std::int64_t visible = 0;
    while (hr == S_OK) {
      visible = std::min(total, visible + piece(random));
      d.Acquire(visible);
      // Read what has come; online a call returns fewer events than asked once the data runs out.
      for (int calls = 0; calls < 100000; ++calls) {
        const std::size_t before = got.size();
        hr = CheckedNext(d.events.Get(), d.elementSize, -1, 8, false, got);
        if (hr != S_OK || got.size() - before < 8 || HasFailure()) break;
      }
      if (visible == total && hr == S_OK) {
        hr = CheckedNext(d.events.Get(), d.elementSize, -1, 8, false, got);
        EXPECT_EQ(hr, S_FALSE) << "the complete record did not end";
        break;
      }
      if (HasFailure()) break;
    }
    EXPECT_EQ(got, onePass);
  }
}

TEST_P(DetectorProperties, FindForwardsAndBackwardsKeepTheirContract) {
  if (onePass.size() < 3) GTEST_SKIP() << "too few events";
  auto d = Fresh();
  std::uniform_int_distribution<std::size_t> pick(1, onePass.size() - 1);
  for (int i = 0; i < 6; ++i) {
    const std::size_t k = pick(random);
    const Record& known = onePass[k];
    const Record& previous = onePass[k - 1];
    SCOPED_TRACE("event at " + std::to_string(known.tick));
    std::int32_t position = -1;

    // Forwards from just after the previous event: that event is found and delivered first by Next.
    EXPECT_EQ(d.events->Find(0, previous.tick + 1, 0, kRecordEndOffset), S_OK);
    d.events->GetPosition(&position);
    EXPECT_EQ(position, known.tick);
    std::vector<Record> got;
    CheckedNext(d.events.Get(), d.elementSize, -1, 3, true, got);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), known);
    EXPECT_EQ(got, std::vector<Record>(
                       onePass.begin() + static_cast<std::ptrdiff_t>(k),
                       onePass.begin() + static_cast<std::ptrdiff_t>(std::min(onePass.size(), k + got.size()))));

    // Backwards from the event's position: found, after the previous event and at or before the known one.
    EXPECT_EQ(d.events->Find(1, known.tick, 0, kRecordEndOffset), S_OK);
    d.events->GetPosition(&position);
    EXPECT_GT(position, previous.tick);
    EXPECT_LE(position, known.tick);
    got.clear();
    CheckedNext(d.events.Get(), d.elementSize, -1, 1, true, got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.front(), known);

    // Backwards over a window that holds no event: S_FALSE, the position moved back to where the search began.
    if (known.tick - previous.tick > 2) {
      EXPECT_EQ(d.events->Find(1, known.tick - 1, previous.tick + 1, kRecordEndOffset), S_FALSE);
      d.events->GetPosition(&position);
      EXPECT_EQ(position, known.tick - 1);
    }
    // Backwards from far after the event, bounded below it: the last event of the record before the bound.
    EXPECT_EQ(d.events->Find(1, kRecordEndOffset - 1, 0, known.tick + 1), S_OK);
    d.events->GetPosition(&position);
    EXPECT_EQ(position, known.tick);
  }
  EXPECT_EQ(d.events->Find(0, onePass.back().tick + 1, 0, kRecordEndOffset), S_FALSE);
}

TEST_P(DetectorProperties, AClonePartWayGoesOnLikeTheOriginal) {
  auto d = Fresh();
  std::vector<Record> first;
  CheckedNext(d.events.Get(), d.elementSize, 150000, 5, true, first);
  ComPtr<IEnumEventEx> clone;
  ASSERT_EQ(d.events->Clone(clone.Put()), S_OK);
  std::int32_t a = -1, b = -2;
  d.events->GetPosition(&a);
  clone->GetPosition(&b);
  EXPECT_EQ(a, b);
  auto rest = ReadToEnd(d.events.Get(), d.elementSize);
  EXPECT_EQ(ReadToEnd(clone.Get(), d.elementSize), rest);
  first.insert(first.end(), rest.begin(), rest.end());
  EXPECT_EQ(first, onePass);
}

TEST(DetectorRecords, EachRecordKeepsItsOwnSnapshots) {
  // Record 1 read between two reads of record 0 must leave record 0's snapshots alone: a restart just after
  // a chunk boundary resumes from the snapshot there.
  const Signal a = NoisyBreathing(kSamples, 21), b = NoisyBreathing(kSamples, 22);
  for (DetectorKind kind : {DetectorKind::kFlow, DetectorKind::kTidVol}) {
    SCOPED_TRACE(NameOf(kind));
    auto d = MakeDetector(kind, Share(a.flow), {}, a.height);
    const auto first = ReadToEnd(d.events.Get(), d.elementSize);
    auto other = SourceOver(Share(b.flow));
    IUnknown* otherList[] = {other.Get()};
    ASSERT_EQ(d.calc->SetSources(1, 1, otherList, 0, kSecsPerTick, 0), S_OK);
    EXPECT_NE(ReadToEnd(d.events.Get(), d.elementSize), first);
    IUnknown* list[] = {d.flow.Get()};
    ASSERT_EQ(d.calc->SetSources(0, 1, list, 0, kSecsPerTick, 0), S_OK);
    ASSERT_EQ(d.calc->SetPosition(200000), S_OK);
    std::vector<Record> expected;
    for (const auto& r : first)
      if (r.tick >= 200000) expected.push_back(r);
    EXPECT_EQ(ReadToEnd(d.events.Get(), d.elementSize), expected);
  }
}

std::string CaseName(const ::testing::TestParamInfo<DetectorProperties::ParamType>& info) {
  return NameOf(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
}

INSTANTIATE_TEST_SUITE_P(AllDetectors, DetectorProperties,
                         ::testing::Combine(::testing::Values(DetectorKind::kFlow, DetectorKind::kVol,
                                                              DetectorKind::kBreath, DetectorKind::kTidVol,
                                                              DetectorKind::kTidVolExp),
                                            ::testing::Values("clean_sine", "noisy_breathing", "single_expirations",
                                                              "ends_mid_breath", "not_a_numbers")),
                         CaseName);

}  // namespace
}  // namespace Spirometry::testing
