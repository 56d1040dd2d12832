// The breath detectors against a plain reading of their rules: one loop over the samples each, without
// steps, snapshots or sources. Short random records whose samples sit exactly on the height, go missing
// and stop anywhere are read in one pass, in random steps, from a random tick, and after Find; every
// byte of every record must match.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "spirometry/events/event_test_support.h"
#include "spirometry/events/sp_breath_event.h"

namespace Spirometry::testing {
namespace {

constexpr std::int32_t kNone = 2147483647;
constexpr std::int32_t kMinSamples = 3;  // of inspiration and of expiration, for a breath to count
const float kNaN = std::numeric_limits<float>::quiet_NaN();

SpFlowEvent BlankBreath(std::int32_t start) {
  SpFlowEvent b;
  std::memset(&b, 0, sizeof b);
  b.mStartTick = start;
  b.mEndTick = b.mMaxFlowTick = b.mMinFlowTick = b.mExpStartTick = kNone;
  return b;
}

// SPEEFlow. A breath starts at the sign change before an inspiration above +H and ends at the sign change
// before the next one, once it has had enough samples of negative flow; it counts with an inspiration
// reaching H (or as a single expiration), an expiration reaching -H and enough samples of positive flow
// (counted from the sign change) and of negative flow. A record's first breath that starts with an
// expiration is a single expiration ending at the next inspiration. Missing samples are passed over.
std::vector<SpFlowEvent> ReferenceFlow(const std::vector<float>& flow, double h) {
  std::vector<SpFlowEvent> out;
  SpFlowEvent b = BlankBreath(kNone);
  int phase = 1;
  bool collecting = false, negSeen = true, overHeight = true, wasPositive = false, first = true;
  std::int32_t signChange = 0, positives = 0, negatives = 0;
  float cross = 0, last = 0;
  const auto finish = [&](std::int32_t end) {
    b.mEndTick = end;
    const bool single = b.mSingleExpiration;
    if ((b.mMaxFlow >= h || single) && b.mMinFlow <= -h && (single || positives >= kMinSamples) &&
        negatives >= kMinSamples) {
      b.mPosition = {b.mStartTick, 0.0f};
      b.mValue = b.mMaxFlow;
      out.push_back(b);
    }
  };
  const auto n = static_cast<std::int32_t>(flow.size());
  for (std::int32_t t = 0; t < n; ++t) {
    const float f = flow[static_cast<std::size_t>(t)];
    if (!std::isfinite(f)) continue;
    last = f;
    const bool positive = f > 0;
    if (first) wasPositive = positive;
    first = false;
    if (positive != wasPositive) {
      signChange = t;
      if (phase == 1) phase = 2;
    }
    wasPositive = positive;
    if ((phase == 5 && negSeen && f > h && negatives >= kMinSamples) || (phase == 2 && (f > h || f < -h)) ||
        (phase == 4 && f > h)) {
      if (collecting) {
        b.mSingleExpiration = phase == 4;
        finish(signChange);
      }
      b = BlankBreath(signChange);
      positives = t - signChange;
      negatives = 0;
      phase = 3;
      negSeen = false;
      collecting = true;
    }
    if (phase == 3) phase = f > h || (f < -h && !out.empty()) ? 5 : f < -h ? 4 : 3;
    if (!collecting) continue;
    if (f > 0 && f > b.mMaxFlow && phase != 4) {
      b.mMaxFlow = f;
      b.mMaxFlowTick = t;
    }
    if (f < 0 && f < b.mMinFlow) {
      b.mMinFlow = f;
      b.mMinFlowTick = t;
    }
    if (std::fabs(f) > h) overHeight = true;
    if (!negSeen && ((std::fabs(f) < h && std::fabs(f) < std::fabs(cross)) || (overHeight && f < h))) {
      b.mExpStartTick = t;
      cross = f;
      overHeight = false;
    }
    if (f < 0) negSeen = true;
    positives += f > 0;
    negatives += f < 0;
  }
  // The breath the record ends in counts once its flow is back within the height, or as a single expiration.
  if (collecting && (phase == 4 || std::fabs(last) < h)) {
    b.mSingleExpiration = phase == 4;
    finish(n);
  }
  return out;
}

// SPEEVol: each breath whose start the volume covers, with the largest volume of its finite readings and the
// smallest one at or after it; a breath without any finite reading has no-number landmarks at its start.
std::vector<SpBreathEvent> ReferenceVol(const std::vector<float>& volume, const std::vector<SpFlowEvent>& breaths) {
  std::vector<SpBreathEvent> out;
  for (const SpFlowEvent& e : breaths) {
    const auto start = static_cast<std::size_t>(e.mStartTick);
    if (start >= volume.size()) continue;
    SpBreathEvent r;
    std::memset(&r, 0, sizeof r);
    r.mPosition = e.mPosition;
    r.mValue = e.mValue;
    std::memcpy(&r.mFlowEvent, &e, sizeof e);
    r.mMaxVolTick = r.mMinVolTick = e.mStartTick;
    r.mMaxVol = r.mMinVol = kNaN;
    const std::size_t end = std::min(volume.size(), static_cast<std::size_t>(e.mEndTick));
    for (std::size_t t = start; t < end; ++t) {
      const float v = volume[t];
      if (!std::isfinite(v)) continue;
      if (std::isnan(r.mMaxVol) || v > r.mMaxVol) {
        r.mMaxVol = r.mMinVol = v;
        r.mMaxVolTick = r.mMinVolTick = static_cast<std::int32_t>(t);
      } else if (v < r.mMinVol) {
        r.mMinVol = v;
        r.mMinVolTick = static_cast<std::int32_t>(t);
      }
    }
    out.push_back(r);
  }
  return out;
}

// SpBreathEvent, its phases written out: 1 searching for the start crossing, 2 above +H, 3 below +H. A
// breath is reported when the flow leaves phase 3 after an expiration. Samples with a missing flow are
// passed over; missing volumes give no landmark.
std::vector<SpBreathEvent> ReferenceBreath(const std::vector<float>& flow, const std::vector<float>& volume, double h) {
  std::vector<SpBreathEvent> out;
  const std::size_t n = std::min(flow.size(), volume.size());
  const float below = static_cast<float>(h - 1.0), above = static_cast<float>(h + 1.0);
  int phase = 1;
  std::int32_t start = 0, end = 0, maxTick = 0, minTick = 0, expTick = 0, maxVolTick = 0, minVolTick = 0;
  float startFlow = 0, endFlow = 0, maxFlow = 0, minFlow = 0, expFlow = 0, maxVol = 0, minVol = 0;
  bool single = false, expSeen = false, startValid = false, searching = false, reported = false;
  for (std::size_t i = 0; i < n; ++i) {
    const float f = flow[i], v = volume[i];
    const auto t = static_cast<std::int32_t>(i);
    if (phase == 1 && !searching) {
      start = end = maxTick = minTick = expTick = t;
      maxFlow = below;
      minFlow = above;
      startFlow = expFlow = endFlow = FLT_MAX;
      maxVolTick = minVolTick = 0;
      maxVol = -FLT_MAX;
      minVol = FLT_MAX;
      expSeen = false;
      searching = true;
    }
    if (!std::isfinite(f)) continue;
    if (phase == 1) {
      if (f > h) phase = 2;
      if (std::fabs(startFlow) > f) start = end = t, startFlow = f, startValid = true;
      if (f < -h) single = true, phase = 3, start = end = t + 1, startFlow = f, startValid = true;
      continue;
    }
    if (!startValid) start = end, startFlow = endFlow, startValid = true, endFlow = FLT_MAX;
    if (phase == 2) {
      single = false;
      if (f > maxFlow) maxTick = t, maxFlow = f;
      if (f < h) phase = 3;
      continue;
    }
    if (f < minFlow && f < 0) minTick = t, minFlow = f, endFlow = f;
    if (f > h) {
      phase = 2;
      if (end == start) end = t;
    }
    if (std::fabs(expFlow) > std::fabs(f) && t == minTick) expTick = t, expFlow = f, expSeen = true;
    if (std::fabs(endFlow) > f && t > minTick) end = t, endFlow = f;
    if (f > -h && single) phase = 1, searching = false;
    if (std::isfinite(v) && v > maxVol) maxVolTick = minVolTick = t, maxVol = minVol = v;
    if (std::isfinite(v) && v < minVol) minVolTick = t, minVol = v;
    reported = phase != 3 && (expSeen || single);
    if (!reported) continue;
    SpBreathEvent r;
    std::memset(&r, 0, sizeof r);
    r.mPosition = {start, 0.0f};
    r.mValue = startFlow;
    SpFlowEvent& b = r.mFlowEvent;
    b.mMaxFlow = maxFlow;
    b.mMinFlow = minFlow;
    b.mSingleExpiration = single;
    b.mStartTick = start;
    b.mEndTick = end;
    b.mMaxFlowTick = maxTick;
    b.mMinFlowTick = minTick;
    b.mExpStartTick = expTick;
    r.mMaxVolTick = maxVolTick;
    r.mMaxVol = maxVol;
    r.mMinVolTick = minVolTick;
    r.mMinVol = minVol;
    out.push_back(r);
    maxFlow = below;
    minFlow = above;
    startFlow = expFlow = FLT_MAX;
    maxVol = -FLT_MAX;
    minVol = FLT_MAX;
    startValid = single = expSeen = false;
  }
  return out;
}

template <class E>
std::vector<Record> AsRecords(const std::vector<E>& events) {
  std::vector<Record> out;
  for (const E& e : events) {
    Record r;
    r.tick = e.mPosition.mTickPosition;
    r.bytes.resize(sizeof e);
    std::memcpy(r.bytes.data(), &e, sizeof e);
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<Record> From(const std::vector<Record>& records, std::int32_t tick) {
  std::vector<Record> out;
  for (const auto& r : records)
    if (r.tick >= tick) out.push_back(r);
  return out;
}

// Runs of levels on and around ±H, zero, missing and infinite samples, with whole half-sine breaths among
// them; the volume is the flow's, with gaps of its own, and may stop before or after the flow.
struct RandomRecord {
  std::vector<float> flow, volume;
};

RandomRecord MakeRecord(std::mt19937& random, double h) {
  const float hf = static_cast<float>(h), inf = std::numeric_limits<float>::infinity();
  const float levels[] = {-2 * hf, -hf, -hf / 2, 0, hf / 2, hf, 2 * hf, kNaN, inf, -inf};
  std::uniform_int_distribution<int> pick(0, 99), length(1, 12);
  std::uniform_int_distribution<std::size_t> size(2, 300);
  RandomRecord r;
  const std::size_t n = size(random);
  while (r.flow.size() < n) {
    const int kind = pick(random);
    if (kind < 25) {
      // Some breaths long enough that whole runs of four samples rise and fall within them, without the
      // zero between inspiration and expiration (which would take the crossing mark whatever came before).
      const bool longer = kind < 8;
      const int stretch = longer ? 10 : 3, inspiration = 2 + length(random) * stretch;
      const std::size_t start = r.flow.size();
      AppendBreath(r.flow, inspiration, 3 * h * pick(random) / 99, 2 + length(random) * stretch,
                   3 * h * pick(random) / 99);
      if (longer) r.flow.erase(r.flow.begin() + static_cast<std::ptrdiff_t>(start + inspiration));
    } else
      r.flow.insert(r.flow.end(), static_cast<std::size_t>(length(random)), levels[kind < 90 ? kind % 7 : kind % 10]);
  }
  r.flow.resize(n);
  r.volume = VolumeOf(r.flow);
  for (auto& v : r.volume)
    if (pick(random) < 4) v = kNaN;
  if (pick(random) < 20) r.volume.resize(std::min(n, size(random)));
  if (pick(random) < 10) r.volume.resize(n + 20, 0.5f);
  return r;
}

// One detector over a record against the expected records: in one pass, in random steps, from a random
// tick, and through Find, whose pending result a later SetPosition must drop.
void ReadsAsExpected(DetectorKind kind, const RandomRecord& rec, double h, const std::vector<Record>& expected,
                     std::mt19937& random) {
  SCOPED_TRACE(NameOf(kind));
  const auto n = static_cast<std::int32_t>(rec.flow.size());
  std::uniform_int_distribution<std::int32_t> tick(0, n);
  const auto flow = Share(rec.flow), volume = Share(rec.volume);
  auto d = MakeDetector(kind, flow, volume, h);
  ASSERT_EQ(ReadToEnd(d.events.Get(), d.elementSize), expected);
  EXPECT_EQ(ReadInRandomSteps(MakeDetector(kind, flow, volume, h).events.Get(), d.elementSize, random), expected);
  const std::int32_t from = tick(random);
  d.calc->SetPosition(from);
  EXPECT_EQ(ReadToEnd(d.events.Get(), d.elementSize), From(expected, from)) << "from " << from;

  // Find forwards from 0 gives the first event, unless that lies at tick 0, which Find does not report.
  const bool atZero = !expected.empty() && expected.front().tick == 0;
  const HRESULT found = d.events->Find(0, 0, 0, kRecordEndOffset);
  EXPECT_EQ(found, expected.empty() || atZero ? S_FALSE : S_OK);
  if (found == S_OK) {
    d.calc->SetPosition(from);
    EXPECT_EQ(ReadToEnd(d.events.Get(), d.elementSize), From(expected, from)) << "after Find, from " << from;
  }
}

TEST(BreathDetectors, MatchAPlainReadingOfTheirRules) {
  std::mt19937 random(20240611);
  int flowBreaths = 0, breathEvents = 0, singles = 0;
  for (int i = 0; i < 300 && !HasFailure(); ++i) {
    const double h = i % 3 == 0 ? 0.25 : 0.5;
    const RandomRecord rec = MakeRecord(random, h);
    SCOPED_TRACE("record " + std::to_string(i));
    const auto breaths = ReferenceFlow(rec.flow, h);
    const auto both = ReferenceBreath(rec.flow, rec.volume, h);
    for (const auto& b : breaths) singles += b.mSingleExpiration;
    flowBreaths += static_cast<int>(breaths.size());
    breathEvents += static_cast<int>(both.size());
    ReadsAsExpected(DetectorKind::kFlow, rec, h, AsRecords(breaths), random);
    ReadsAsExpected(DetectorKind::kVol, rec, h, AsRecords(ReferenceVol(rec.volume, breaths)), random);
    ReadsAsExpected(DetectorKind::kBreath, rec, h, AsRecords(both), random);
  }
  // The records must hold enough of each kind for the comparison to mean something.
  EXPECT_GT(flowBreaths, 150);
  EXPECT_GT(singles, 10);
  EXPECT_GT(breathEvents, 150);
}

// Long runs at exactly +Height and -Height and within them: the detector takes runs of samples together, and
// a sample exactly at the height neither starts a breath nor counts as beyond it.
TEST(BreathDetectors, MatchTheirRulesOnLongRunsAtExactlyTheHeight) {
  std::mt19937 random(7);
  const double h = 0.5;
  const float levels[] = {-0.5f, 0.5f, -0.25f, 0.25f, -0.5f, 0.5f, 1.0f, -1.0f};
  std::uniform_int_distribution<int> level(0, 7), length(1, 16);
  for (int i = 0; i < 200 && !HasFailure(); ++i) {
    RandomRecord rec;
    while (rec.flow.size() < 200)
      rec.flow.insert(rec.flow.end(), static_cast<std::size_t>(length(random)), levels[level(random)]);
    rec.volume = VolumeOf(rec.flow);
    SCOPED_TRACE("record " + std::to_string(i));
    ReadsAsExpected(DetectorKind::kFlow, rec, h, AsRecords(ReferenceFlow(rec.flow, h)), random);
  }
}

// Long noisy breaths, so that the detector takes many samples together inside each: rises, plateaus and
// falls through the height with spikes across it, and now and then a missing sample.
TEST(BreathDetectors, MatchTheirRulesOnLongNoisyBreaths) {
  std::mt19937 random(31);
  const double h = 0.5;
  std::uniform_int_distribution<int> ticks(40, 400), pick(0, 99);
  std::uniform_real_distribution<double> peak(0.5 * h, 3 * h);
  for (int i = 0; i < 30 && !HasFailure(); ++i) {
    std::normal_distribution<double> noise(0, (i % 2 ? 0.03 : 0.15) * h);
    RandomRecord rec;
    while (rec.flow.size() < 3000) AppendBreath(rec.flow, ticks(random), peak(random), ticks(random), peak(random));
    for (float& f : rec.flow) f = static_cast<float>(f + noise(random));
    rec.volume = VolumeOf(rec.flow);
    for (float& f : rec.flow) f = pick(random) == 0 ? kNaN : f;
    SCOPED_TRACE("record " + std::to_string(i));
    const auto breaths = ReferenceFlow(rec.flow, h);
    ReadsAsExpected(DetectorKind::kFlow, rec, h, AsRecords(breaths), random);
    ReadsAsExpected(DetectorKind::kVol, rec, h, AsRecords(ReferenceVol(rec.volume, breaths)), random);
  }
}

}  // namespace
}  // namespace Spirometry::testing
