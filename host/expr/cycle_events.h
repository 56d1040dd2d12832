#pragma once
// Cycles(x, level, quiet, window, baseline): an event where a cycle of x begins, for signals that rest near
// a baseline between excursions (a flow that carries only the expiration, a pressure, a force).
//
// m(t) is the mean distance |x - baseline| over the `window` samples ending at t (fewer at the record's
// start; samples that are not finite are left out, and a window without one gives no m). An event lies at
// t when m(t) reaches `level` after m has stayed below it (or had no value) for at least `quiet` seconds;
// the record counts as quiet before its start. The event's value is m(t).
//
// Whether t is an event depends only on the quiet time and window before it, so detection restarts
// anywhere from that stretch alone and gives the events of one pass over the record.
#include <optional>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/icalc_enum_class.h"
#include "host/calc/ienum_event_ex.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/ichannel_data.h"

namespace kymora::expr {

constexpr std::int32_t kMaxCycleWindow = 1000;
constexpr double kMaxCycleQuietSeconds = 3600;

class CycleEvents final : public ComObject<ICalcEnum, IEnumEventEx> {
 public:
  CycleEvents() = default;
  CycleEvents(const CycleEvents& other);

  // ICalcEnum
  HRESULT GetOutputKind(std::uint32_t* kind) override;
  HRESULT SetHost(IChannelData* host) override;
  // The settings word, then level, quiet, window and baseline.
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override;
  HRESULT GetParameters(std::wstring* text) override;
  HRESULT Clone(ICalcEnum** out) override;
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override;
  HRESULT SetPosition(std::int64_t tick) override;
  HRESULT ReleaseSources() override;

  // IEnumEventEx
  HRESULT Next(std::int32_t endTick, void* buffer, std::int32_t bufferBytes, std::int32_t* count,
               std::int32_t* nextTick) override;
  HRESULT Find(std::int32_t direction, std::int32_t fromTick, std::int32_t lower, std::int32_t upper) override;
  HRESULT GetPosition(std::int32_t* tick) override;
  HRESULT GetElementSize(std::int32_t* bytes) override;
  HRESULT Clone(IEnumEventEx** out) override;
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT Reserved3() override { return 0; }

 private:
  // Detection stands at `tick`: it resumes from the stretch before it, and reports nothing before it.
  HRESULT Restart(std::int32_t tick);
  // The sample at mScan: S_OK, S_FALSE at the end of the record, KYM_S_PENDING while it has not come, or a
  // failure of the source.
  HRESULT Sample(float* value);
  // Takes the sample at mScan; true with the event when one lies there.
  bool Step(float x, QorEventBase& event);
  // Scans [mScan, end) for the first event at or after mReportFrom; S_OK found, S_FALSE not found up to
  // `end` or the end of the record (*atEnd), KYM_S_PENDING, or a failure.
  HRESULT ScanTo(std::int32_t end, QorEventBase& event, bool* atEnd);

  ComPtr<IChannelData> mHost;
  std::wstring mText;
  double mLevel = 0;
  double mQuietSeconds = 0;
  std::int32_t mWindow = 1;
  double mBaseline = 0;

  ComPtr<IEnumFloatEx> mSource;
  double mSecsPerTick = 0;
  std::int32_t mQuiet = 1;  // quiet ticks

  std::vector<float> mSamples;     // a block of the source, allocated once
  std::int64_t mSamplesStart = 0;  // tick of mSamples[0]
  std::int32_t mSamplesCount = 0;
  std::int64_t mDataEnd = INT64_MAX;  // the record ends here, once known

  std::vector<float> mRing;  // distances of the last mWindow samples (not-a-number where missing)
  std::int32_t mRingFilled = 0;
  std::int32_t mRingNext = 0;
  std::int32_t mBelow = 0;       // ticks m has stayed below the level, at most mQuiet
  std::int32_t mScan = 0;        // next tick to take
  std::int32_t mCountFrom = 0;   // ticks before it only fill the window
  std::int32_t mReportFrom = 0;  // events before it are not reported
  std::int32_t mPosition = 0;
  std::optional<QorEventBase> mPending;  // found by Find, delivered by the next Next
};

}  // namespace kymora::expr
