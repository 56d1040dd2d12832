#pragma once
// For the detector tests: breathing signals, the three detectors built over in-memory sources (also records
// still being acquired), and readers that check the enumerator contract on every call.
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/ienum_event_ex.h"
#include "spirometry/calc/memory_source.h"

namespace Spirometry::testing {

// Samples of one record, shared by every source read over it.
using Samples = std::shared_ptr<const std::vector<float>>;
Samples Share(std::vector<float> samples);
// A source over samples; SetAcquired on it (or on a clone) makes it a record still being acquired.
ComPtr<MemorySource> SourceOver(Samples samples);

// A breathing record: flow (positive inspiration, L/s), its volume (L) and the detection height to use.
struct Signal {
  std::string name;
  std::vector<float> flow;
  std::vector<float> volume;
  double height = 0.4;
};

constexpr double kSecsPerTick = 0.001;  // 1000 samples per second

// sin(2π t / period) × amplitude, exactly periodic in t.
std::vector<float> SineFlow(std::size_t n, int period, double amplitude);
// Running sum of flow × seconds per tick (the volume of the flow), with an optional drift per tick.
std::vector<float> VolumeOf(const std::vector<float>& flow, double driftPerTick = 0);

Signal CleanSine(std::size_t n);
// Irregular breaths (period, depth, inspiratory share varying), noise, shallow breaths below the height,
// pauses where the flow chatters around zero.
Signal NoisyBreathing(std::size_t n, std::uint32_t seed);
// Forced expirations that start from rest (no inspiration before them), rests, and ordinary breaths between.
Signal SingleExpirations(std::size_t n, std::uint32_t seed);
// Noisy breathing cut off in the middle of an inspiration.
Signal EndsMidBreath(std::size_t n, std::uint32_t seed);
// Noisy breathing with runs of not-a-number samples in flow and volume.
Signal WithNotANumbers(std::size_t n, std::uint32_t seed);

enum class DetectorKind { kFlow, kVol, kBreath, kTidVol, kTidVolExp };
std::string NameOf(DetectorKind kind);

// A detector over a signal's records: SPEEFlow(flow, H), SPEEVol(volume, SPEEFlow(flow, H)),
// SpBreathEvent(flow, volume, H), SpTidVol(flow, 1) or SpTidVolExp(flow, SPEEFlow(flow, H)) (whose second
// reader of the flow is kept as `volume`). `online` is the flag handed to SetSources.
// A negative `online` starts the record with no samples acquired; Acquire lets it grow.
struct Detector {
  ComPtr<ICalcEnum> calc;
  ComPtr<IEnumEventEx> events;
  std::int32_t elementSize = 0;
  ComPtr<MemorySource> flow, volume;  // the sources the detector reads (volume null for SPEEFlow)

  void Acquire(std::int64_t count) const;
};
Detector MakeDetector(DetectorKind kind, const Samples& flow, const Samples& volume, double height,
                      std::int32_t online = 0);

// One event record as delivered.
struct Record {
  std::int32_t tick = 0;
  std::vector<std::byte> bytes;
  friend bool operator==(const Record&, const Record&) = default;
  friend void PrintTo(const Record& r, std::ostream* out) { *out << "event at " << r.tick; }
};

// Calls Next and checks the contract of the result, the position and the events. `delivered` is the list
// so far (events must come after its last one); new events are appended. `offline` adds the checks that
// hold when the record is complete.
HRESULT CheckedNext(IEnumEventEx* events, std::int32_t elementSize, std::int32_t endTick, std::int32_t capacity,
                    bool offline, std::vector<Record>& delivered);

// Every event from the current position to the end of the record, in blocks of 8.
std::vector<Record> ReadToEnd(IEnumEventEx* events, std::int32_t elementSize);
// The same with random end ticks (sometimes before the position) and random buffer sizes.
std::vector<Record> ReadInRandomSteps(IEnumEventEx* events, std::int32_t elementSize, std::mt19937& random);

// One pass of a detector over complete records.
std::vector<Record> Detect(DetectorKind kind, std::vector<float> flow, std::vector<float> volume, double height);

template <class E>
std::vector<E> As(const std::vector<Record>& records) {
  std::vector<E> out(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) std::memcpy(&out[i], records[i].bytes.data(), sizeof(E));
  return out;
}

// Appends a breath: a positive half-sine of inspiration, then a negative half-sine of expiration.
void AppendBreath(std::vector<float>& flow, int inspTicks, double insp, int expTicks, double exp);

// Field access into a record's bytes.
template <class T>
T FieldAt(const Record& r, std::size_t offset) {
  T v;
  std::memcpy(&v, r.bytes.data() + offset, sizeof v);
  return v;
}

}  // namespace Spirometry::testing
