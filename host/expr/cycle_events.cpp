#include "host/expr/cycle_events.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "host/expr/sample_function.h"

namespace kymora::expr {

namespace {
constexpr std::int32_t kBlockSamples = 1024;
}  // namespace

CycleEvents::CycleEvents(const CycleEvents& other)
    : ComObject(),
      mHost(other.mHost),
      mText(other.mText),
      mLevel(other.mLevel),
      mQuietSeconds(other.mQuietSeconds),
      mWindow(other.mWindow),
      mBaseline(other.mBaseline),
      mSecsPerTick(other.mSecsPerTick),
      mQuiet(other.mQuiet),
      mSamples(other.mSamples),
      mSamplesStart(other.mSamplesStart),
      mSamplesCount(other.mSamplesCount),
      mDataEnd(other.mDataEnd),
      mRing(other.mRing),
      mRingFilled(other.mRingFilled),
      mRingNext(other.mRingNext),
      mBelow(other.mBelow),
      mScan(other.mScan),
      mCountFrom(other.mCountFrom),
      mReportFrom(other.mReportFrom),
      mPosition(other.mPosition),
      mPending(other.mPending) {
  if (other.mSource) {
    if (Failed(other.mSource->Clone(mSource.Put())) || !mSource) throw std::runtime_error("source cannot be cloned");
    // The clone reads on from where the block that is buffered ends.
    mSource->Seek(mSamplesStart + mSamplesCount);
  }
}

HRESULT CycleEvents::GetOutputKind(std::uint32_t* kind) {
  if (!kind) return E_POINTER;
  *kind = CalcKind::kEvents;
  return S_OK;
}

HRESULT CycleEvents::SetHost(IChannelData* host) {
  mHost = host;
  return S_OK;
}

HRESULT CycleEvents::SetParameters(const wchar_t* text, std::uint32_t* outputKind) {
  if (outputKind) *outputKind = 0;
  if (!text) return E_POINTER;
  return Guarded([&] {
    auto numbers = ParseParameterNumbers(text);
    if (!numbers || numbers->size() != 5) return E_INVALIDARG;
    const double level = (*numbers)[1], quiet = (*numbers)[2], window = (*numbers)[3], baseline = (*numbers)[4];
    if (!(level >= 0 && std::isfinite(level)) || !(quiet >= 0 && quiet <= kMaxCycleQuietSeconds) ||
        !(window >= 1 && window <= kMaxCycleWindow && window == std::floor(window)) || !std::isfinite(baseline))
      return E_INVALIDARG;
    mLevel = level;
    mQuietSeconds = quiet;
    mWindow = static_cast<std::int32_t>(window);
    mBaseline = baseline;
    mText = text;
    mSource.Reset();
    if (outputKind) *outputKind = CalcKind::kEvents;
    return S_OK;
  });
}

HRESULT CycleEvents::GetParameters(std::wstring* text) {
  if (!text) return E_POINTER;
  return Guarded([&] {
    *text = mText;
    return S_OK;
  });
}

HRESULT CycleEvents::Clone(ICalcEnum** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    *out = static_cast<ICalcEnum*>(MakeCom<CycleEvents>(*this).Detach());
    return S_OK;
  });
}

HRESULT CycleEvents::Clone(IEnumEventEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    *out = static_cast<IEnumEventEx*>(MakeCom<CycleEvents>(*this).Detach());
    return S_OK;
  });
}

HRESULT CycleEvents::SetSources(std::int32_t, std::int32_t count, IUnknown* const* sources, std::int32_t,
                                double secsPerTick, std::int32_t) {
  if (count < 1 || !sources || !sources[0]) return E_INVALIDARG;
  return Guarded([&] {
    ComPtr<IEnumFloatEx> source;
    if (Failed(sources[0]->QueryInterface(IEnumFloatEx::kIid, source.PutVoid())) || !source) return E_INVALIDARG;
    mSource = source;
    mSecsPerTick = secsPerTick;
    const double quiet = secsPerTick > 0 ? std::round(mQuietSeconds / secsPerTick) : 1.0;
    mQuiet = static_cast<std::int32_t>(std::clamp(quiet, 1.0, 1e9));
    mSamples.assign(kBlockSamples, 0.0f);
    mRing.assign(static_cast<std::size_t>(mWindow), 0.0f);
    mDataEnd = INT64_MAX;
    return Restart(0);
  });
}

HRESULT CycleEvents::SetPosition(std::int64_t tick) {
  if (!mSource) return E_UNEXPECTED;
  return Restart(static_cast<std::int32_t>(std::clamp<std::int64_t>(tick, 0, kRecordEndOffset)));
}

HRESULT CycleEvents::ReleaseSources() {
  mSource.Reset();
  return S_OK;
}

HRESULT CycleEvents::Restart(std::int32_t tick) {
  // m(t) for t in [tick - quiet, tick) needs the samples from tick - quiet - window + 1 on.
  const std::int64_t from = std::max<std::int64_t>(0, std::int64_t{tick} - mQuiet - mWindow + 1);
  mScan = static_cast<std::int32_t>(from);
  mCountFrom = from == 0 ? 0 : static_cast<std::int32_t>(from + mWindow - 1);
  mBelow = from == 0 ? mQuiet : 0;  // the record counts as quiet before its start
  mRingFilled = mRingNext = 0;
  mReportFrom = tick;
  mPosition = tick;
  mPending.reset();
  mSamplesStart = from;
  mSamplesCount = 0;
  return mSource->Seek(from);
}

HRESULT CycleEvents::Sample(float* value) {
  if (mScan >= mDataEnd) return S_FALSE;
  if (mScan >= mSamplesStart + mSamplesCount) {
    mSamplesStart = mScan;
    mSamplesCount = 0;
    std::int32_t got = 0;
    const HRESULT hr = mSource->Read(kBlockSamples, mSamples.data(), &got);
    mSamplesCount = std::clamp(got, 0, kBlockSamples);
    if (mSamplesCount < kBlockSamples && hr != KYM_S_PENDING) {
      if (Failed(hr)) return hr;
      mDataEnd = mSamplesStart + mSamplesCount;  // S_FALSE, or S_OK with fewer: the record ends
    }
    if (mSamplesCount == 0) return mScan >= mDataEnd ? S_FALSE : KYM_S_PENDING;
  }
  *value = mSamples[static_cast<std::size_t>(mScan - mSamplesStart)];
  return S_OK;
}

bool CycleEvents::Step(float x, QorEventBase& event) {
  const double distance = std::fabs(double{x} - mBaseline);
  mRing[static_cast<std::size_t>(mRingNext)] =
      std::isfinite(distance) ? static_cast<float>(distance) : std::numeric_limits<float>::quiet_NaN();
  mRingNext = (mRingNext + 1) % mWindow;
  mRingFilled = std::min(mRingFilled + 1, mWindow);
  const std::int32_t t = mScan++;
  if (t < mCountFrom) return false;
  // Summed oldest first, whatever the ring's phase, so that a restart gives the same m to the bit.
  double sum = 0;
  std::int32_t finite = 0;
  const std::int32_t oldest = (mRingNext - mRingFilled + mWindow) % mWindow;
  for (std::int32_t i = 0; i < mRingFilled; ++i) {
    const float d = mRing[static_cast<std::size_t>((oldest + i) % mWindow)];
    if (!std::isnan(d)) {
      sum += d;
      ++finite;
    }
  }
  const bool reached = finite > 0 && sum / finite >= mLevel;
  const bool cycle = reached && mBelow >= mQuiet;
  mBelow = reached ? 0 : std::min(mBelow + 1, mQuiet);
  if (!cycle || t < mReportFrom) return false;
  event.mPosition = QorEventPosition{t, 0.0f};
  event.mValue = sum / finite;
  return true;
}

HRESULT CycleEvents::ScanTo(std::int32_t end, QorEventBase& event, bool* atEnd) {
  *atEnd = false;
  while (mScan < end) {
    float x = 0;
    const HRESULT hr = Sample(&x);
    if (hr == S_FALSE) {
      *atEnd = true;
      return S_FALSE;
    }
    if (hr != S_OK) return hr;
    if (Step(x, event)) return S_OK;
  }
  return S_FALSE;
}

HRESULT CycleEvents::Next(std::int32_t endTick, void* buffer, std::int32_t bufferBytes, std::int32_t* count,
                          std::int32_t* nextTick) {
  if (count) *count = 0;
  if (nextTick) *nextTick = mPosition;
  if (!count || !nextTick || (bufferBytes > 0 && !buffer)) return E_POINTER;
  if (!mSource) return E_UNEXPECTED;
  const std::int32_t end = endTick < 0 ? kRecordEndOffset : endTick;
  const std::int32_t capacity = std::max(0, bufferBytes) / static_cast<std::int32_t>(sizeof(QorEventBase));
  auto* out = static_cast<QorEventBase*>(buffer);
  std::int32_t n = 0;
  bool atEnd = false;
  HRESULT hr = S_OK;
  if (mPending && capacity > 0 && mPending->mPosition.mTickPosition < end) {
    out[n++] = *mPending;
    mPosition = mPending->mPosition.mTickPosition;
    mPending.reset();
  }
  while (n < capacity) {
    QorEventBase event{};
    hr = ScanTo(end, event, &atEnd);
    if (hr != S_OK) break;
    out[n++] = event;
    mPosition = event.mPosition.mTickPosition;
  }
  if (Failed(hr)) return hr;
  if (atEnd)
    mPosition = kRecordEndOffset;
  else if (n < capacity)
    mPosition = std::min(std::max(mPosition, mScan), end);  // the end tick, or where the data stops for now
  *count = n;
  *nextTick = mPosition;
  return mPosition == kRecordEndOffset ? S_FALSE : S_OK;
}

HRESULT CycleEvents::Find(std::int32_t direction, std::int32_t fromTick, std::int32_t lower, std::int32_t upper) {
  if (!mSource) return E_UNEXPECTED;
  return Guarded([&]() -> HRESULT {
    if (lower == upper || upper == 0) {
      Restart(std::max(upper, 0));
      return S_FALSE;
    }
    std::int32_t t = std::max({fromTick, lower, 0});
    if (t >= upper) t = upper - 1;
    QorEventBase event{}, last{};
    bool found = false, atEnd = false;
    HRESULT hr = Restart(direction == 0 ? t : std::max(lower, 0));
    if (Failed(hr)) return hr;
    const std::int32_t end = direction == 0 ? upper : t + 1;
    while ((hr = ScanTo(end, event, &atEnd)) == S_OK) {
      last = event;
      found = true;
      if (direction == 0) break;
    }
    if (Failed(hr)) return hr;
    if (!found) {
      Restart(t);
      return S_FALSE;
    }
    // Detection goes on right after the event, which the next Next delivers first.
    Restart(last.mPosition.mTickPosition + 1);
    mPending = last;
    mPosition = last.mPosition.mTickPosition;
    return S_OK;
  });
}

HRESULT CycleEvents::GetPosition(std::int32_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPosition;
  return S_OK;
}

HRESULT CycleEvents::GetElementSize(std::int32_t* bytes) {
  if (!bytes) return E_POINTER;
  *bytes = static_cast<std::int32_t>(sizeof(QorEventBase));
  return S_OK;
}

}  // namespace kymora::expr
