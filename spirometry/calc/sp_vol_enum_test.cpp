#include "spirometry/calc/sp_vol_enum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "spirometry/calc/memory_source.h"
#include "spirometry/calc/sp_vol_settings.h"

using namespace Spirometry;
using namespace Spirometry::testing;

namespace {
std::wstring VolumeText(bool correction, double deadSpace, double ratio, bool reset) {
  SpVolFields f;
  f.mVolumeCorrection = correction;
  f.mDeadSpace = deadSpace;
  f.mVolumeRatio = ratio;
  f.mResetAtEndOfExpiration = reset;
  f.RebuildParameterString();
  return f.mParameterString;
}

// Online flag of a record being acquired whose checkpoints are not to be shared (bit 30 clear).
constexpr std::int32_t kGrowing = INT32_MIN;

// A reader of its own over the source, as the host opens one per enumerator.
ComPtr<IEnumFloatEx> Reader(MemorySource* source) {
  ComPtr<IEnumFloatEx> reader;
  EXPECT_EQ(source->Clone(reader.Put()), S_OK);
  return reader;
}

HRESULT SetSource(IEnumFloatEx* e, MemorySource* source, std::int32_t online) {
  auto reader = Reader(source);
  IUnknown* s = reader.Get();
  return ComPtr<IEnumFloatEx>(e).As<ICalcEnum>()->SetSources(0, 1, &s, 0, 0.01, online);
}

ComPtr<IEnumFloatEx> Volume(const std::wstring& parameters, MemorySource* source, std::int32_t online = 0) {
  ComPtr<ICalcEnum> e;
  EXPECT_EQ(SpVolEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
  EXPECT_EQ(e->SetParameters(parameters.c_str(), nullptr), S_OK);
  auto v = e.As<IEnumFloatEx>();
  EXPECT_EQ(SetSource(v.Get(), source, online), S_OK);
  return v;
}

std::vector<float> Integrated(const std::wstring& parameters, std::vector<float> flow, std::wstring units = L"L/s") {
  auto source = MakeCom<MemorySource>(std::move(flow), 0.01, std::move(units));
  return ReadToEnd(Volume(parameters, source.Get()).Get(), 37);
}

// Flow in L/s at 100 Hz: `samples` samples of each level in turn.
std::vector<float> Steps(std::initializer_list<std::pair<float, int>> levels) {
  std::vector<float> flow;
  for (auto [value, samples] : levels) flow.insert(flow.end(), static_cast<std::size_t>(samples), value);
  return flow;
}

ComPtr<IEnumFloatEx> Cloned(IEnumFloatEx* e) {
  ComPtr<IEnumFloatEx> c;
  EXPECT_EQ(e->Clone(c.Put()), S_OK);
  return c;
}

std::vector<float> ReadAt(IEnumFloatEx* e, std::int64_t tick, std::int32_t count) {
  std::vector<float> out(static_cast<std::size_t>(count));
  EXPECT_EQ(e->Seek(tick), S_OK) << tick;
  std::int32_t got = 0;
  e->Read(count, out.data(), &got);
  out.resize(static_cast<std::size_t>(got));
  return out;
}

// A slow breathing pattern with a little structure in every sample.
std::vector<float> Breathing(std::size_t n) {
  std::vector<float> flow(n);
  for (std::size_t i = 0; i < n; ++i)
    flow[i] = static_cast<float>(std::sin(static_cast<double>(i) * 0.0021) + 0.05 * std::sin(static_cast<double>(i)));
  return flow;
}
}  // namespace

TEST(SpVolEnum, IntegratesFlowWithCorrectionAndReset) {
  struct Case {
    const char* name;
    std::wstring parameters;
    std::vector<float> flow;
    double expectedLast;
    std::wstring units = L"L/s";
  };
  const Case cases[] = {
      {"1 L/s for 1 s", VolumeText(false, 400, 1.0, false), Steps({{1.0f, 100}}), 1.0},
      {"dead space in full, the rest divided by the ratio", VolumeText(true, 155, 1.25, false), Steps({{-1.0f, 100}}),
       -(0.15 + 0.68)},
      {"ratio 12 switches the correction off", VolumeText(true, 155, 12.0, false), Steps({{-1.0f, 100}}), -1.0},
      {"reset after falling below 90 % of the peak", VolumeText(false, 0, 1.0, true),
       Steps({{1.0f, 50}, {-1.0f, 10}, {0.0f, 5}}), 0.0},
      {"no reset above 90 % of the peak", VolumeText(false, 0, 1.0, true), Steps({{1.0f, 50}, {-1.0f, 4}, {0.0f, 5}}),
       0.46},
      {"older form", L"1 155 1.25 0", Steps({{-1.0f, 100}}), -0.83},
      {"reset switch 2 is no switch", L"0 0 1 2", Steps({{1.0f, 50}, {-1.0f, 10}, {0.0f, 5}}), 0.4},
      // Expired volume exactly at the dead space (0.02 + 0.02 L) is not yet corrected.
      {"dead space reached exactly", VolumeText(true, 40, 2.0, false), Steps({{-2.0f, 3}}), -0.05},
      {"too short for settings: plain integral", L"1 2", Steps({{-1.0f, 100}}), -1.0},
      // Volumes keep the flow's prefix; the dead space of 155 mL is 155 of them or 155000 of µL.
      {"millilitres", VolumeText(true, 155, 1.25, false), Steps({{-1000.0f, 100}}), -830.0, L"mL/sec"},
      {"microlitres", VolumeText(true, 155, 1.25, false), Steps({{-1e6f, 100}}), -830000.0, L"\u00B5L/s"},
  };
  for (const auto& c : cases) {
    auto out = Integrated(c.parameters, c.flow, c.units);
    ASSERT_EQ(out.size(), c.flow.size()) << c.name;
    EXPECT_NEAR(out.back(), c.expectedLast, 1e-6 * std::max(1.0, std::fabs(c.expectedLast))) << c.name;
  }
}

TEST(SpVolEnum, RefusesATextWithAFieldThatDoesNotReadWholeAndKeepsWhatItHad) {
  const std::pair<std::wstring, HRESULT> cases[] = {
      {L"0.5 400 1", E_INVALIDARG},  // read on, the reset would take the ratio's 1
      {std::wstring(L"-2147483648\t0\t400\t1\t1.5\t") + L'\0', E_INVALIDARG},
      {L"0 0 1", S_OK},  // as the expression function writes it: the reset is left out
  };
  // A breath that a reset would bring back to 0 at its end.
  auto source = MakeCom<MemorySource>(Steps({{1.0f, 50}, {-1.0f, 10}, {0.0f, 5}}), 0.01, L"L/s");
  for (const auto& [text, result] : cases) {
    ComPtr<ICalcEnum> e;
    ASSERT_EQ(SpVolEnum::CreateInstance(nullptr, ICalcEnum::kIid, e.PutVoid()), S_OK);
    ASSERT_EQ(e->SetParameters(L"0 0 1 0", nullptr), S_OK);
    EXPECT_EQ(e->SetParameters(text.c_str(), nullptr), result) << text.size();
    auto volume = e.As<IEnumFloatEx>();
    ASSERT_EQ(SetSource(volume.Get(), source.Get(), 0), S_OK);
    EXPECT_NEAR(ReadToEnd(volume.Get()).back(), 0.4, 1e-6) << text.size();
  }
}

TEST(SpVolEnum, OnlyFlowUnitsAreIntegrated) {
  const auto text = VolumeText(false, 0, 1.0, false);
  for (const wchar_t* units : {L"L/s", L"L/sec", L"mL/s", L"mL/sec", L"\u00B5L/s", L"\u00B5L/sec"})
    EXPECT_FLOAT_EQ(Integrated(text, {NAN, 2.0f, 2.0f}, units).back(), 0.04f) << std::wstring(units).size();
  for (const wchar_t* units : {L"V", L"l/s", L"L/min", L"", L"uL/s"}) {
    auto out = Integrated(text, {NAN, 2.0f, 2.0f}, units);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1]) && std::isnan(out[2])) << std::wstring(units).size();
  }
  // The expression function's older form takes its source as flow whatever it says.
  EXPECT_FLOAT_EQ(Integrated(L"0 0 1 0", {2.0f, 2.0f}, L"V").back(), 0.04f);
}

TEST(SpVolEnum, SeekRestartsFromTheNearestCheckpointAndMatchesReadingStraightThrough) {
  auto flow = Breathing(50000);
  auto source = MakeCom<MemorySource>(flow, 0.01, L"L/s");
  const auto text = VolumeText(true, 150, 1.1, true);
  const auto straight = ReadToEnd(Volume(text, source.Get()).Get(), 4096);
  ASSERT_EQ(straight.size(), flow.size());

  auto vol = Volume(text, source.Get());
  ReadAt(vol.Get(), 0, 45000);
  source->ResetDelivered();
  EXPECT_EQ(ReadAt(vol.Get(), 40000, 100), std::vector<float>(straight.begin() + 40000, straight.begin() + 40100));
  EXPECT_EQ(source->Delivered(), 8000 + 100) << "integrates from the checkpoint at 32000";

  // A clone shares the checkpoints: it restarts from 32000 as well.
  auto clone = Cloned(vol.Get());
  source->ResetDelivered();
  EXPECT_EQ(ReadAt(clone.Get(), 39000, 10), std::vector<float>(straight.begin() + 39000, straight.begin() + 39010));
  EXPECT_EQ(source->Delivered(), 7000 + 10);

  // Back to before the first checkpoint: from the record start.
  source->ResetDelivered();
  EXPECT_EQ(ReadAt(vol.Get(), 5000, 10), std::vector<float>(straight.begin() + 5000, straight.begin() + 5010));
  EXPECT_EQ(source->Delivered(), 5000 + 10);

  // Forward within reach of the current position: no restart.
  source->ResetDelivered();
  EXPECT_EQ(ReadAt(vol.Get(), 5900, 10), std::vector<float>(straight.begin() + 5900, straight.begin() + 5910));
  EXPECT_EQ(source->Delivered(), 890 + 10);
}

// A move forward through a stretch read before restarts from the last step mark (every 1000 samples) when
// that is nearer than the current position; a move back still goes to a checkpoint.
TEST(SpVolEnum, ForwardMovesRestartFromTheNearestStepMark) {
  auto flow = Breathing(50000);
  auto source = MakeCom<MemorySource>(flow, 0.01, L"L/s");
  const auto text = VolumeText(true, 150, 1.1, true);
  const auto straight = ReadToEnd(Volume(text, source.Get()).Get(), 4096);
  auto vol = Volume(text, source.Get());
  ReadAt(vol.Get(), 0, 30000);
  auto stepper = Cloned(vol.Get());  // shares the marks; stands at 30000 as well
  ReadAt(stepper.Get(), 100, 1);     // back: from the record start

  struct Case {
    std::int64_t tick;
    std::int64_t delivered;  // samples the source gives for the move and one sample
  } cases[] = {
      {2500, 500 + 1},    // from the mark at 2000, not from 101
      {2900, 399 + 1},    // from 2501: nearer than the mark
      {7250, 250 + 1},    // over several marks
      {16000, 0 + 1},     // a mark that is also a checkpoint
      {29999, 999 + 1},   // the last mark of the stretch read
      {31000, 1000 + 1},  // beyond it: from 30000, the furthest read
      {17500, 1500 + 1},  // back: from the checkpoint at 16000
  };
  for (const auto& c : cases) {
    source->ResetDelivered();
    EXPECT_EQ(ReadAt(stepper.Get(), c.tick, 1), std::vector<float>{straight[c.tick]}) << c.tick;
    EXPECT_EQ(source->Delivered(), c.delivered) << c.tick;
  }
  // Read on from a mark across checkpoints: each is stored where it belongs.
  auto fresh = Volume(text, source.Get());
  ReadAt(fresh.Get(), 0, 13000);
  auto onward = Cloned(fresh.Get());
  ReadAt(onward.Get(), 100, 1);
  EXPECT_EQ(ReadAt(onward.Get(), 12500, 37000), std::vector<float>(straight.begin() + 12500, straight.begin() + 49500));
  EXPECT_EQ(ReadAt(fresh.Get(), 16500, 1), std::vector<float>{straight[16500]});  // from the checkpoint at 16000
  EXPECT_EQ(ReadAt(fresh.Get(), 33000, 1), std::vector<float>{straight[33000]});
}

TEST(SpVolEnum, CheckpointsOfOneRecordNeverServeAnother) {
  const auto text = VolumeText(false, 0, 1.0, false);
  auto first = MakeCom<MemorySource>(Breathing(41000), 0.01, L"L/s");
  auto second = MakeCom<MemorySource>(Steps({{0.5f, 41000}}), 0.01, L"L/s");
  const auto straight = ReadToEnd(Volume(text, first.Get()).Get());
  auto vol = Volume(text, first.Get());
  auto other = Cloned(vol.Get());
  auto reader = Reader(second.Get());
  IUnknown* s = reader.Get();
  ASSERT_EQ(other.As<ICalcEnum>()->SetSources(1, 1, &s, 0, 0.01, 0), S_OK);
  ReadAt(other.Get(), 0, 41000);  // checkpoints of record 1 in the shared table
  EXPECT_EQ(ReadAt(vol.Get(), 40000, 1), std::vector<float>{straight[40000]});
}

TEST(SpVolEnum, GrowingRecordsKeepTheirCheckpointsToThemselves) {
  auto flow = Breathing(50000);
  auto source = MakeCom<MemorySource>(flow, 0.01, L"L/s");
  const auto text = VolumeText(false, 0, 1.0, false);
  auto straight = ReadToEnd(Volume(text, source.Get()).Get());

  auto online = Volume(text, source.Get(), kGrowing);
  ReadAt(online.Get(), 0, 49000);
  source->ResetDelivered();
  EXPECT_EQ(ReadAt(online.Get(), 40000, 5), std::vector<float>(straight.begin() + 40000, straight.begin() + 40005));
  EXPECT_EQ(source->Delivered(), 8000 + 5) << "its own checkpoints serve it";
  source->ResetDelivered();
  ReadAt(online.Get(), 17000, 5);
  EXPECT_EQ(source->Delivered(), 1000 + 5) << "it keeps more than its last few checkpoints";

  auto offline = Cloned(online.Get());
  ASSERT_EQ(SetSource(offline.Get(), source.Get(), 0), S_OK);
  source->ResetDelivered();
  ReadAt(offline.Get(), 40000, 5);
  EXPECT_EQ(source->Delivered(), 40000 + 5) << "nothing was shared while the record grew";

  auto sharing = Volume(text, source.Get(), static_cast<std::int32_t>(0xC0000000u));
  auto other = Cloned(sharing.Get());  // before any checkpoint exists: only the shared table can serve it
  ReadAt(sharing.Get(), 0, 33000);
  source->ResetDelivered();
  EXPECT_EQ(ReadAt(other.Get(), 32500, 1), std::vector<float>(straight.begin() + 32500, straight.begin() + 32501));
  EXPECT_EQ(source->Delivered(), 500 + 1) << "bit 30 of the online flag shares all the same";
}

TEST(SpVolEnum, PendingSourceEndsTheReadEarly) {
  auto source = MakeCom<MemorySource>(Steps({{1.0f, 100}}), 0.01, L"L/s");
  source->SetAcquired(40);
  auto vol = Volume(VolumeText(false, 0, 1.0, false), source.Get(), kGrowing);
  float buffer[100];
  std::int32_t got = 0;
  EXPECT_EQ(vol->Read(100, buffer, &got), KYM_S_PENDING);
  EXPECT_EQ(got, 40);
  source->SetAcquired(100);
  EXPECT_EQ(vol->Read(100, buffer, &got), S_FALSE);
  EXPECT_EQ(got, 60);
  EXPECT_NEAR(buffer[59], 1.0, 1e-6);
}

TEST(SpVolEnum, NewParametersDoNotUseTheOldParametersCheckpoints) {
  auto flow = Breathing(40000);
  auto source = MakeCom<MemorySource>(flow, 0.01, L"L/s");
  const auto corrected = VolumeText(true, 100, 2.0, false);
  auto vol = Volume(VolumeText(false, 0, 1.0, false), source.Get());
  ReadAt(vol.Get(), 0, 35000);

  auto changed = Cloned(vol.Get());
  ASSERT_EQ(changed.As<ICalcEnum>()->SetParameters(corrected.c_str(), nullptr), S_OK);
  ASSERT_EQ(SetSource(changed.Get(), source.Get(), 0), S_OK);
  const auto expected = ReadToEnd(Volume(corrected, source.Get()).Get());
  EXPECT_EQ(ReadAt(changed.Get(), 33000, 10), std::vector<float>(expected.begin() + 33000, expected.begin() + 33010));

  // New parameters for an enumerator already reading: it starts again at the record start.
  auto reading = Volume(VolumeText(false, 0, 1.0, false), source.Get());
  ReadAt(reading.Get(), 0, 500);
  ASSERT_EQ(reading.As<ICalcEnum>()->SetParameters(corrected.c_str(), nullptr), S_OK);
  std::int64_t position = -1;
  reading->GetPosition(&position);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(Spirometry::testing::ReadToEnd(reading.Get()), expected);

  // The enumerator it was cloned from keeps its own checkpoints.
  source->ResetDelivered();
  ReadAt(vol.Get(), 33000, 1);
  EXPECT_EQ(source->Delivered(), 1001);
}

TEST(SpVolEnum, ClonesReadAtRandomOnTwoThreadsGiveTheStraightThroughSamples) {
  auto flow = Breathing(200000);
  auto source = MakeCom<MemorySource>(flow, 0.01, L"L/s");
  const auto text = VolumeText(true, 150, 1.2, true);
  const auto straight = ReadToEnd(Volume(text, source.Get()).Get(), 4096);
  ASSERT_EQ(straight.size(), flow.size());

  auto prototype = Volume(text, source.Get());
  ComPtr<IEnumFloatEx> readers[2] = {Cloned(prototype.Get()), Cloned(prototype.Get())};
  int mismatches[2] = {0, 0};
  auto work = [&](int which, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> tick(0, static_cast<std::int64_t>(flow.size()) - 1);
    std::uniform_int_distribution<std::int32_t> length(1, 3000);
    std::vector<float> buffer(3000);
    for (int round = 0; round < 150; ++round) {
      const std::int64_t at = tick(random);
      const std::int32_t want = length(random);
      std::int32_t got = 0;
      if (readers[which]->Seek(at) != S_OK || Failed(readers[which]->Read(want, buffer.data(), &got))) {
        ++mismatches[which];
        continue;
      }
      for (std::int32_t i = 0; i < got; ++i)
        if (buffer[static_cast<std::size_t>(i)] != straight[static_cast<std::size_t>(at + i)]) {
          ++mismatches[which];
          break;
        }
    }
  };
  std::thread a(work, 0, 1u), b(work, 1, 2u);
  a.join();
  b.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);
}

namespace {
// The integrator as the volume calculation describes it, written apart from the code: V, E, the previous
// increment and the peak P, one flow sample at a time; a missing (non-finite) sample changes nothing.
std::vector<float> ReferenceVolume(const std::vector<float>& flow, double dt, bool correction, double deadSpaceMl,
                                   double ratio, bool reset) {
  if (ratio < 0.01 || ratio > 10.0) correction = false;
  const double deadSpace = deadSpaceMl / 1000.0;
  double v = 0, e = 0, previous = 0, peak = 0;
  std::vector<float> out;
  for (float x : flow) {
    if (std::isfinite(x)) {
      const double d = x * dt;
      if (reset && d >= 0 && previous < 0 && 0.9 * peak > v) v = peak = 0;
      e = std::max(e - d, 0.0);
      previous = d;
      double increment = d;
      if (correction && d < 0 && e > deadSpace) {
        e = deadSpace;
        increment = d / ratio;
      }
      v += increment;
      peak = std::max(peak, v);
    }
    out.push_back(static_cast<float>(v));
  }
  return out;
}

// Breaths of random depth and length with noise, still stretches and missing or infinite samples.
std::vector<float> RandomBreathing(std::mt19937& random, std::size_t n) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double period = 20.0 + 300.0 * unit(random), depth = 0.2 + 2.0 * unit(random);
  std::vector<float> flow(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double breath = std::sin(6.283185307179586 * static_cast<double>(i) / period);
    flow[i] = static_cast<float>(depth * breath + 0.1 * (unit(random) - 0.5));
    if (unit(random) < 0.05) flow[i] = 0.0f;
  }
  const float gaps[] = {NAN, INFINITY, -INFINITY};
  for (std::size_t k = random() % 4; k > 0 && n > 0; --k) flow[random() % n] = gaps[random() % 3];
  return flow;
}

bool SameSample(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }
}  // namespace

TEST(SpVolEnum, EverySampleMatchesTheDescribedIntegratorOnRandomBreathing) {
  std::mt19937 random(32);
  for (int round = 0; round < 300 && !HasFailure(); ++round) {
    // A few records long enough for checkpoints, the rest short.
    const std::size_t n = round % 50 == 0 ? 40000 + random() % 9000 : 1 + random() % 400;
    const auto flow = RandomBreathing(random, n);
    const bool correction = random() % 2, reset = random() % 2;
    const double deadSpace = 50.0 * static_cast<double>(random() % 10);
    const double ratio = round % 10 == 0 ? 12.0 : 0.5 + static_cast<double>(random() % 2000) / 1000.0;
    const auto want = ReferenceVolume(flow, 0.01, correction, deadSpace, ratio, reset);
    auto source = MakeCom<MemorySource>(flow, 0.01, L"L/s");
    auto volume = Volume(VolumeText(correction, deadSpace, ratio, reset), source.Get());
    const auto got = ReadToEnd(volume.Get(), 1 + static_cast<std::int32_t>(random() % 700));
    ASSERT_EQ(got.size(), n);
    // Read again from somewhere in the record, as a reader that seeks does.
    const std::int64_t at = static_cast<std::int64_t>(random() % n);
    const auto tail = ReadAt(volume.Get(), at, static_cast<std::int32_t>(n - static_cast<std::size_t>(at)));
    ASSERT_EQ(tail.size(), n - static_cast<std::size_t>(at));
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_TRUE(SameSample(got[i], want[i]))
          << "round " << round << " sample " << i << ": " << got[i] << " for " << want[i] << (reset ? ", reset" : "")
          << (correction ? ", corrected" : "");
      if (i >= static_cast<std::size_t>(at)) {
        ASSERT_TRUE(SameSample(tail[i - static_cast<std::size_t>(at)], want[i])) << "round " << round << " from " << at;
      }
    }
  }
}
