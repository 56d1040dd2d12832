// The tidal-volume detectors against what their description states: a plain reference loop written from
// it, the half-cycles of a sine, the hysteresis of a breath's end, and the breaths between boundary events.
#include "spirometry/events/det_ex_enumerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "spirometry/events/det_ex_expiratory_enumerator.h"
#include "spirometry/events/event_test_support.h"

namespace Spirometry::testing {
namespace {

struct Breath {
  std::int32_t tick;
  double volume;
};

// Each breath starts at the first non-negative sample after an expiration and is worth its expired volume;
// an expiration begins once the inspired volume exceeds a tenth of the previous expired volume, and a breath
// ends once its expired volume exceeds a tenth of its inspired volume. Missing samples add nothing.
std::vector<Breath> ReferenceTidalVolumes(const std::vector<float>& flow) {
  std::vector<Breath> out;
  int half = 0;
  double insp = 0, exp = 0, previous = 0;
  std::int32_t start = 0;
  for (std::size_t i = 0; i < flow.size(); ++i) {
    if (!std::isfinite(flow[i])) continue;
    const double dv = double{flow[i]} * kSecsPerTick;
    if (half == 0) half = dv >= 0 ? 1 : 2;
    (dv >= 0 ? insp : exp) += std::fabs(dv);
    if (half == 2 && dv >= 0 && exp > 0.1 * insp) {
      out.push_back({start, exp});
      start = static_cast<std::int32_t>(i);
      previous = exp;
      insp = dv;
      exp = 0;
      half = 1;
    } else if (half == 1 && dv < 0 && insp > 0.1 * previous) {
      half = 2;
    }
  }
  return out;
}

std::vector<Breath> Breaths(const std::vector<Record>& records) {
  std::vector<Breath> out;
  for (const auto& e : As<DetEx_Event>(records)) {
    EXPECT_EQ(e.mPosition.mFraction, 0.0f);
    out.push_back({e.mPosition.mTickPosition, e.mValue});
  }
  return out;
}

void ExpectBreaths(const std::vector<Breath>& got, const std::vector<Breath>& wanted, double tolerance) {
  ASSERT_EQ(got.size(), wanted.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].tick, wanted[i].tick) << "breath " << i;
    EXPECT_NEAR(got[i].volume, wanted[i].volume, tolerance) << "breath " << i;
  }
}

std::vector<float> Pieces(std::initializer_list<std::pair<int, float>> pieces) {
  std::vector<float> flow;
  for (auto [count, value] : pieces) flow.insert(flow.end(), static_cast<std::size_t>(count), value);
  return flow;
}

TEST(SpTidVol, GivesTheReferenceBreathsOnIrregularSignals) {
  const Signal signals[] = {NoisyBreathing(150000, 31), WithNotANumbers(150000, 32), SingleExpirations(150000, 33),
                            EndsMidBreath(150000, 34)};
  for (const auto& s : signals) {
    SCOPED_TRACE(s.name);
    const auto wanted = ReferenceTidalVolumes(s.flow);
    ASSERT_GE(wanted.size(), 10u);
    ExpectBreaths(Breaths(Detect(DetectorKind::kTidVol, s.flow, s.volume, s.height)), wanted, 0.0);
  }
}

TEST(SpTidVol, EachHalfCycleOfASineIsOneBreathOfOneOverPi) {
  // sin(2π t / 1000) at 1000 samples per second: the sample at t = 1000 m is just below zero, so each breath
  // after the first starts one tick later.
  std::vector<float> flow(10010);
  for (std::size_t t = 0; t < flow.size(); ++t)
    flow[t] = static_cast<float>(std::sin(2 * std::numbers::pi * static_cast<double>(t) / 1000));
  const auto got = Breaths(Detect(DetectorKind::kTidVol, flow, {}, 0.5));
  ASSERT_EQ(got.size(), 10u);
  for (std::size_t m = 0; m < got.size(); ++m) {
    EXPECT_EQ(got[m].tick, m == 0 ? 0 : static_cast<std::int32_t>(1000 * m + 1));
    EXPECT_NEAR(got[m].volume, 1 / std::numbers::pi, 0.001 / std::numbers::pi);
  }
}

TEST(SpTidVol, BreathsEndOnlyOnceATenthOfTheInspirationIsExpired) {
  struct Case {
    const char* name;
    std::vector<float> flow;
    std::vector<Breath> wanted;
  };
  const Case cases[] = {
      {"never negative", Pieces({{3000, 0.5f}}), {}},
      // Starts in the expiratory half: the first breath ends at the first non-negative sample.
      {"negative from the start", Pieces({{100, -1}, {100, 1}, {100, -1}, {1, 1}}), {{0, 0.1}, {100, 0.1}}},
      // 1 L in; 0.05 L out, a blip in, 0.95 L out: the blip comes before a tenth is out and is passed over.
      {"early blip", Pieces({{1000, 1}, {50, -1}, {5, 1}, {950, -1}, {1, 1}}), {{0, 1.0}}},
      // The same blip after 0.5 L out ends the breath there.
      {"late blip", Pieces({{1000, 1}, {500, -1}, {5, 1}, {500, -1}, {1, 1}}), {{0, 0.5}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectBreaths(Breaths(Detect(DetectorKind::kTidVol, c.flow, {}, 0.5)), c.wanted, 1e-9);
  }
}

// Events at fixed ticks, for the boundaries of SpTidVolExp.
class TickEvents final : public ComObject<IEnumEventEx> {
 public:
  explicit TickEvents(std::vector<std::int32_t> ticks) : mTicks(std::move(ticks)) {}
  HRESULT Next(std::int32_t endTick, void* buffer, std::int32_t bytes, std::int32_t* count,
               std::int32_t* next) override {
    const std::int32_t end = endTick < 0 ? kRecordEndOffset : endTick;
    auto* out = static_cast<QorEventBase*>(buffer);
    *count = 0;
    while (mIndex < mTicks.size() && mTicks[mIndex] < end && (*count + 1) * 16 <= bytes)
      out[(*count)++] = QorEventBase{{mTicks[mIndex++], 0.0f}, 1.0};
    mPosition = mIndex == mTicks.size() ? kRecordEndOffset : *count > 0 ? out[*count - 1].mPosition.mTickPosition : end;
    *next = mPosition;
    return mPosition == kRecordEndOffset ? S_FALSE : S_OK;
  }
  HRESULT Find(std::int32_t, std::int32_t from, std::int32_t, std::int32_t) override {
    mIndex = 0;
    while (mIndex < mTicks.size() && mTicks[mIndex] < from) ++mIndex;
    mPosition = from;
    return S_OK;
  }
  HRESULT GetPosition(std::int32_t* tick) override {
    *tick = mPosition;
    return S_OK;
  }
  HRESULT GetElementSize(std::int32_t* bytes) override {
    *bytes = 16;
    return S_OK;
  }
  HRESULT Clone(IEnumEventEx** out) override {
    *out = MakeCom<TickEvents>(*this).Detach();
    return S_OK;
  }
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT Reserved3() override { return 0; }

  TickEvents(const TickEvents& other) : ComObject(), mTicks(other.mTicks), mIndex(other.mIndex) {}

 private:
  std::vector<std::int32_t> mTicks;
  std::size_t mIndex = 0;
  std::int32_t mPosition = 0;
};

TEST(SpTidVolExp, EachBreathRunsFromOneBoundaryToTheNext) {
  struct Case {
    const char* name;
    std::vector<std::int32_t> boundaries;
    std::vector<Breath> wanted;
  };
  // A constant flow of -1 at 100 samples per second: 0.01 L a sample.
  const Case cases[] = {
      {"samples 0..100, then 101..200", {100, 200}, {{0, 1.01}, {100, 1.0}}},
      // A boundary at the first tick starts the first breath instead of closing an empty one at that tick.
      {"boundary at the start", {0, 100, 200}, {{0, 1.01}, {100, 1.0}}},
      {"no boundaries", {}, {}},
      {"last boundary beyond the flow", {100, 900}, {{0, 1.01}}},
  };
  for (const auto& c : cases) {
    for (bool online : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (online ? ", acquired in pieces" : ""));
      auto flow = MakeCom<MemorySource>(std::vector<float>(500, -1.0f), 0.01, L"L/s");
      auto boundaries = MakeCom<TickEvents>(c.boundaries);
      auto detector = MakeCom<Expiratory::SpTidVolExpDetector>();
      ASSERT_EQ(detector->SetParameters(L"0", nullptr), S_OK);
      IUnknown* sources[] = {flow.Get(), static_cast<IEnumEventEx*>(boundaries.Get())};
      ASSERT_EQ(detector->SetSources(0, 2, sources, 0, 0.01, online ? -1 : 0), S_OK);
      std::vector<Record> got;
      // The boundaries are known before the flow has come: the detector must wait for the flow.
      for (std::int64_t acquired = online ? 37 : 500;; acquired = std::min<std::int64_t>(500, acquired + 37)) {
        flow->SetAcquired(acquired);
        HRESULT hr = S_OK;
        for (int calls = 0; calls < 100 && hr == S_OK; ++calls)
          hr = CheckedNext(detector.Get(), 16, -1, 8, !online, got);
        if (hr != S_OK || acquired == 500) break;
      }
      ExpectBreaths(Breaths(got), c.wanted, 1e-9);
    }
  }
}

}  // namespace
}  // namespace Spirometry::testing
