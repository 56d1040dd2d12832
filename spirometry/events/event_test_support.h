#pragma once
// For the detector tests: in-memory sample sources (also records still being acquired), breathing signals,
// the three detectors built over them, and readers that check the enumerator contract on every call.
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/ienum_event_ex.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"

namespace Spirometry::testing {

// Samples of one record and how many of them have been acquired so far.
struct GrowingRecord {
  std::vector<float> samples;
  std::int64_t visible = 0;
  bool Complete() const { return visible >= static_cast<std::int64_t>(samples.size()); }
};

// Reads a GrowingRecord: KYM_S_PENDING at the acquired end while the record grows, S_FALSE at its real end.
class FakeFloatSource final : public ComObject<IEnumFloatEx> {
 public:
  FakeFloatSource(std::shared_ptr<const GrowingRecord> record, double secsPerTick)
      : mRecord(std::move(record)), mSecsPerTick(secsPerTick) {}

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;

 private:
  std::shared_ptr<const GrowingRecord> mRecord;
  double mSecsPerTick;
  std::int64_t mPosition = 0;
};

std::shared_ptr<GrowingRecord> CompleteRecord(std::vector<float> samples);
ComPtr<IEnumFloatEx> SourceOver(std::shared_ptr<const GrowingRecord> record);

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

enum class DetectorKind { kFlow, kVol, kBreath };
std::string NameOf(DetectorKind kind);

// A detector over a signal's records: SPEEFlow(flow, H), SPEEVol(volume, SPEEFlow(flow, H)) or
// SpBreathEvent(flow, volume, H). `online` is the flag handed to SetSources.
struct Detector {
  ComPtr<ICalcEnum> calc;
  ComPtr<IEnumEventEx> events;
  std::int32_t elementSize = 0;
};
Detector MakeDetector(DetectorKind kind, const std::shared_ptr<const GrowingRecord>& flow,
                      const std::shared_ptr<const GrowingRecord>& volume, double height, std::int32_t online = 0);

// One event record as delivered.
struct Record {
  std::int32_t tick = 0;
  std::vector<std::byte> bytes;
  friend bool operator==(const Record&, const Record&) = default;
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
