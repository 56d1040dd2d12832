#include "spirometry/events/event_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "spirometry/events/det_ex_enumerator.h"
#include "spirometry/events/det_ex_expiratory_enumerator.h"
#include "spirometry/events/sp_breath_event_enumerator.h"
#include "spirometry/events/sp_flow_enumerator.h"
#include "spirometry/events/sp_vol_enumerator.h"

namespace Spirometry::testing {

Samples Share(std::vector<float> samples) { return std::make_shared<const std::vector<float>>(std::move(samples)); }

ComPtr<MemorySource> SourceOver(Samples samples) {
  return MakeCom<MemorySource>(std::move(samples), kSecsPerTick, L"");
}

std::vector<float> SineFlow(std::size_t n, int period, double amplitude) {
  std::vector<float> flow(n);
  for (std::size_t t = 0; t < n; ++t)
    flow[t] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(t % period) / period));
  return flow;
}

std::vector<float> VolumeOf(const std::vector<float>& flow, double driftPerTick) {
  std::vector<float> volume(flow.size());
  double v = 0;
  for (std::size_t t = 0; t < flow.size(); ++t) {
    if (std::isfinite(flow[t])) v += flow[t] * kSecsPerTick;
    v += driftPerTick;
    volume[t] = static_cast<float>(v);
  }
  return volume;
}

void AppendBreath(std::vector<float>& flow, int inspTicks, double insp, int expTicks, double exp) {
  for (int i = 0; i < inspTicks; ++i)
    flow.push_back(static_cast<float>(insp * std::sin(std::numbers::pi * i / inspTicks)));
  for (int i = 0; i < expTicks; ++i)
    flow.push_back(static_cast<float>(-exp * std::sin(std::numbers::pi * i / expTicks)));
}

namespace {

std::vector<float> NoisyFlow(std::size_t n, std::mt19937& random) {
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> noise(0, 0.03);
  std::vector<float> flow;
  flow.reserve(n + 10000);
  while (flow.size() < n) {
    const double kind = u(random);
    if (kind < 0.08) {  // a pause: chatter around zero
      const int length = 300 + static_cast<int>(u(random) * 1200);
      for (int i = 0; i < length; ++i) flow.push_back(static_cast<float>(2 * noise(random)));
      continue;
    }
    const int period = 2000 + static_cast<int>(u(random) * 3000);
    const int insp = static_cast<int>(period * (0.35 + 0.15 * u(random)));
    const bool shallow = kind < 0.18;
    const double a = shallow ? 0.15 + 0.15 * u(random) : 0.6 + 0.9 * u(random);
    const double b = shallow ? 0.15 + 0.15 * u(random) : 0.5 + 1.0 * u(random);
    AppendBreath(flow, insp, a, period - insp, b);
  }
  flow.resize(n);
  for (auto& f : flow) f = static_cast<float>(f + noise(random));
  return flow;
}
}  // namespace

Signal CleanSine(std::size_t n) {
  Signal s{"clean_sine", SineFlow(n, 4000, 1.0), {}, 0.4};
  s.volume = VolumeOf(s.flow);
  return s;
}

Signal NoisyBreathing(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  Signal s{"noisy_breathing", NoisyFlow(n, random), {}, 0.4};
  s.volume = VolumeOf(s.flow, 2e-6);
  return s;
}

Signal SingleExpirations(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> noise(0, 0.02);
  std::vector<float> flow;
  flow.reserve(n + 20000);
  for (int i = 0; i < 50; ++i) flow.push_back(0.01f);  // starts slightly above zero
  while (flow.size() < n) {
    // A forced expiration from rest, with its slow tail.
    const int length = 1000 + static_cast<int>(u(random) * 2000);
    const double depth = 2 + 2 * u(random);
    for (int i = 0; i < length; ++i) {
      const double x = static_cast<double>(i) / length;
      flow.push_back(static_cast<float>(-depth * std::sin(std::numbers::pi * std::sqrt(x)) * (1 - 0.3 * x)));
    }
    const int rest = 500 + static_cast<int>(u(random) * 2000);
    for (int i = 0; i < rest; ++i) flow.push_back(static_cast<float>(noise(random)));
    if (u(random) < 0.5) {
      const int breaths = 1 + static_cast<int>(u(random) * 3);
      for (int b = 0; b < breaths; ++b) AppendBreath(flow, 1200, 0.8 + 0.4 * u(random), 1800, 0.8 + 0.4 * u(random));
      for (int i = 0; i < rest; ++i) flow.push_back(static_cast<float>(noise(random)));
    }
  }
  flow.resize(n);
  Signal s{"single_expirations", std::move(flow), {}, 0.5};
  s.volume = VolumeOf(s.flow);
  return s;
}

Signal EndsMidBreath(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  Signal s{"ends_mid_breath", NoisyFlow(n, random), {}, 0.4};
  std::size_t cut = n - 1;
  while (cut > n / 2 && !(s.flow[cut] > s.height + 0.2f)) --cut;
  s.flow.resize(cut + 1);
  s.volume = VolumeOf(s.flow);
  return s;
}

Signal WithNotANumbers(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  Signal s{"not_a_numbers", NoisyFlow(n, random), {}, 0.4};
  s.volume = VolumeOf(s.flow);
  std::uniform_int_distribution<std::size_t> where(0, n - 1);
  std::uniform_int_distribution<std::size_t> length(1, 300);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int i = 0; i < 60; ++i) {
    const std::size_t at = where(random), len = length(random);
    for (std::size_t k = at; k < std::min(n, at + len); ++k) s.flow[k] = s.volume[k] = nan;
  }
  for (int i = 0; i < 20; ++i) s.volume[where(random)] = nan;
  return s;
}

std::string NameOf(DetectorKind kind) {
  switch (kind) {
    case DetectorKind::kFlow:
      return "SPEEFlow";
    case DetectorKind::kVol:
      return "SPEEVol";
    case DetectorKind::kBreath:
      return "SpBreathEvent";
    case DetectorKind::kTidVol:
      return "SpTidVol";
    case DetectorKind::kTidVolExp:
      return "SpTidVolExp";
  }
  return "?";
}

namespace {
std::wstring HeightText(double height) { return L"0 " + EEH3::EnumeratorBase::FormatNumber(height); }

template <class D>
void Make(Detector& out, const std::wstring& settings, std::vector<IUnknown*> sources, std::int32_t online) {
  auto d = MakeCom<D>();
  EXPECT_EQ(d->SetParameters(settings.c_str(), nullptr), S_OK);
  EXPECT_EQ(d->SetSources(0, static_cast<std::int32_t>(sources.size()), sources.data(), 0, kSecsPerTick, online), S_OK);
  out.calc = ComPtr<ICalcEnum>(d.Get());
  out.events = ComPtr<IEnumEventEx>(d.Get());
  d->GetElementSize(&out.elementSize);
}
}  // namespace

void Detector::Acquire(std::int64_t count) const {
  flow->SetAcquired(count);
  if (volume) volume->SetAcquired(count);
}

Detector MakeDetector(DetectorKind kind, const Samples& flow, const Samples& volume, double height,
                      std::int32_t online) {
  Detector out;
  out.flow = SourceOver(flow);
  if (kind == DetectorKind::kTidVolExp)
    out.volume = SourceOver(flow);
  else if (kind != DetectorKind::kFlow && kind != DetectorKind::kTidVol)
    out.volume = SourceOver(volume);
  if (online < 0) out.Acquire(0);
  switch (kind) {
    case DetectorKind::kFlow:
      Make<SpFlowDetector>(out, HeightText(height), {out.flow.Get()}, online);
      break;
    case DetectorKind::kVol: {
      Detector inner;
      Make<SpFlowDetector>(inner, HeightText(height), {out.flow.Get()}, online);
      Make<SpVolDetector>(out, L"0", {out.volume.Get(), inner.events.Get()}, online);
      break;
    }
    case DetectorKind::kBreath:
      Make<SpBreathEventDetector>(out, HeightText(height), {out.flow.Get(), out.volume.Get()}, online);
      break;
    case DetectorKind::kTidVol:
      Make<SpTidVolDetector>(out, HeightText(1), {out.flow.Get()}, online);
      break;
    case DetectorKind::kTidVolExp: {
      Detector boundaries;
      Make<SpFlowDetector>(boundaries, HeightText(height), {out.volume.Get()}, online);
      Make<Expiratory::SpTidVolExpDetector>(out, L"0", {out.flow.Get(), boundaries.events.Get()}, online);
      break;
    }
  }
  return out;
}

std::vector<Record> Detect(DetectorKind kind, std::vector<float> flow, std::vector<float> volume, double height) {
  if (volume.empty()) volume = VolumeOf(flow);
  auto d = MakeDetector(kind, Share(std::move(flow)), Share(std::move(volume)), height);
  return ReadToEnd(d.events.Get(), d.elementSize);
}

HRESULT CheckedNext(IEnumEventEx* events, std::int32_t elementSize, std::int32_t endTick, std::int32_t capacity,
                    bool offline, std::vector<Record>& delivered) {
  std::int32_t begin = -1;
  EXPECT_EQ(events->GetPosition(&begin), S_OK);
  // A few bytes more than whole records: the capacity is the size divided by the element size.
  const std::int32_t bytes = capacity * elementSize + capacity % 3;
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::max(bytes, 1)));
  std::int32_t count = -1, next = -1;
  const HRESULT hr = events->Next(endTick, buffer.data(), bytes, &count, &next);
  const std::int32_t end = endTick < 0 ? kRecordEndOffset : endTick;
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
  EXPECT_EQ(hr == S_FALSE, next == kRecordEndOffset) << "result and position disagree";
  std::int32_t position = -1;
  events->GetPosition(&position);
  EXPECT_EQ(position, next);
  EXPECT_GE(count, 0);
  EXPECT_LE(count, capacity);
  if (next != kRecordEndOffset) {
    EXPECT_LE(next, end);
  }
  if (offline && count < capacity) {
    EXPECT_TRUE(next == end || next == kRecordEndOffset) << "position " << next;
  }
  const bool beginIsLastEvent = !delivered.empty() && delivered.back().tick == begin;
  for (std::int32_t i = 0; i < std::max(count, 0); ++i) {
    Record r;
    r.bytes.assign(buffer.begin() + i * elementSize, buffer.begin() + (i + 1) * elementSize);
    std::memcpy(&r.tick, r.bytes.data(), sizeof r.tick);
    // The three bytes after mSingleExpiration of the breath records are padding: the host receives them too.
    const std::size_t padding = elementSize == 48 ? 25 : elementSize == 80 ? 41 : 0;
    if (padding) {
      EXPECT_EQ(FieldAt<std::uint32_t>(r, padding - 1) >> 8, 0u) << "padding of the event at " << r.tick;
    }
    EXPECT_GE(r.tick, begin);
    if (beginIsLastEvent) {
      EXPECT_GT(r.tick, begin);
    }
    EXPECT_LT(r.tick, end);
    if (!delivered.empty()) {
      EXPECT_GT(r.tick, delivered.back().tick) << "events out of order";
    }
    delivered.push_back(std::move(r));
  }
  return hr;
}

std::vector<Record> ReadToEnd(IEnumEventEx* events, std::int32_t elementSize) {
  std::vector<Record> out;
  for (int calls = 0; calls < 1000000; ++calls) {
    if (CheckedNext(events, elementSize, -1, 8, true, out) != S_OK) return out;
    if (::testing::Test::HasFailure()) return out;  // a broken contract would not end
  }
  ADD_FAILURE() << "the record never ended";
  return out;
}

std::vector<Record> ReadInRandomSteps(IEnumEventEx* events, std::int32_t elementSize, std::mt19937& random) {
  std::vector<Record> out;
  std::uniform_real_distribution<double> u(0, 1);
  for (int calls = 0; calls < 1000000; ++calls) {
    std::int32_t position = 0;
    events->GetPosition(&position);
    std::int32_t end;
    const double choice = u(random);
    if (choice < 0.08)
      end = std::max(0, position - static_cast<std::int32_t>(u(random) * 2000));
    else if (choice < 0.12)
      end = -1;
    else
      end = position + 1 + static_cast<std::int32_t>(u(random) * u(random) * 40000);
    const auto capacity = static_cast<std::int32_t>(u(random) * 13);
    if (CheckedNext(events, elementSize, end, capacity, true, out) == S_FALSE) return out;
    if (::testing::Test::HasFailure()) return out;
  }
  ADD_FAILURE() << "the record never ended";
  return out;
}

}  // namespace Spirometry::testing
