#include "host/calc/sample_readers.h"

#include <algorithm>
#include <cstring>

namespace kymora {

RecordedReader::RecordedReader(std::shared_ptr<const Samples> samples, std::int64_t begin, std::int64_t end,
                               double secsPerTick, ComPtr<IUnits> units)
    : mSamples(std::move(samples)),
      mBegin(begin),
      mEnd(end),
      mPos(begin),
      mSecsPerTick(secsPerTick),
      mUnits(std::move(units)) {}

HRESULT RecordedReader::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPos;
  return S_OK;
}

HRESULT RecordedReader::Seek(std::int64_t tick) {
  if (tick < 0) return E_INVALIDARG;
  mPos = tick;
  return S_OK;
}

HRESULT RecordedReader::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  *length = mEnd;
  return S_OK;
}

HRESULT RecordedReader::GetSecsPerTick(double* secs) {
  if (!secs) return E_POINTER;
  *secs = mSecsPerTick;
  return S_OK;
}

HRESULT RecordedReader::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  auto copy = MakeCom<RecordedReader>(mSamples, mBegin, mEnd, mSecsPerTick, mUnits);
  copy->mPos = mPos;
  *out = copy.Detach();
  return S_OK;
}

HRESULT RecordedReader::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  if (!delivered || (count > 0 && !buffer)) return E_POINTER;
  const float* samples = nullptr;
  const HRESULT hr = Borrow(count, &samples, delivered);
  if (*delivered > 0) std::memcpy(buffer, samples, static_cast<std::size_t>(*delivered) * sizeof(float));
  PrefetchAhead(*delivered);
  return hr;
}

HRESULT RecordedReader::Borrow(std::int32_t count, const float** samples, std::int32_t* delivered) {
  if (!delivered || !samples) return E_POINTER;
  *delivered = 0;
  *samples = nullptr;
  if (count < 0) return E_INVALIDARG;
  const std::int64_t n = std::clamp<std::int64_t>(Limit() - mPos, 0, count);
  if (n > 0) *samples = mSamples->data() + mPos;
  mPos += n;
  *delivered = static_cast<std::int32_t>(n);
  return n == count ? S_OK : S_FALSE;
}

std::int64_t RecordedReader::Limit() const {
  return std::min<std::int64_t>(mEnd, static_cast<std::int64_t>(mSamples ? mSamples->size() : 0));
}

// A reader that walks the samples with Read asks for the next stretch soon (a borrower reads them itself and
// asks for them as it goes). The processor's own prefetcher stops at each 4 KiB page, so every page of a long
// recording would otherwise begin with a wait for memory.
void RecordedReader::PrefetchAhead(std::int64_t justRead) const {
  constexpr std::int64_t kLine = 64 / sizeof(float);
  const std::int64_t end = std::min(Limit(), mPos + std::min<std::int64_t>(justRead, kMaxPrefetch));
  for (std::int64_t i = mPos; i < end; i += kLine) __builtin_prefetch(mSamples->data() + i);
}

HRESULT RecordedReader::GetUnits(IUnits** units) { return mUnits.CopyTo(units); }

ScalingReader::ScalingReader(ComPtr<IEnumFloatEx> source, double factor, ComPtr<IUnits> units, std::int64_t end)
    : mSource(std::move(source)), mFactor(factor), mUnits(std::move(units)), mEnd(end) {}

HRESULT ScalingReader::GetPosition(std::int64_t* tick) { return mSource->GetPosition(tick); }
HRESULT ScalingReader::Seek(std::int64_t tick) { return tick < 0 ? E_INVALIDARG : mSource->Seek(tick); }
HRESULT ScalingReader::GetLength(std::int64_t* length) {
  HRESULT hr = mSource->GetLength(length);
  if (Succeeded(hr) && length) *length = std::min(*length, mEnd);
  return hr;
}
HRESULT ScalingReader::GetSecsPerTick(double* secs) { return mSource->GetSecsPerTick(secs); }

HRESULT ScalingReader::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    ComPtr<IEnumFloatEx> inner;
    HRESULT hr = mSource->Clone(inner.Put());
    if (Failed(hr)) return hr;
    *out = MakeCom<ScalingReader>(inner, mFactor, mUnits, mEnd).Detach();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ScalingReader::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  if (!delivered) return E_POINTER;
  *delivered = 0;
  std::int64_t pos = 0;
  if (mEnd != INT64_MAX && Succeeded(mSource->GetPosition(&pos))) {
    std::int64_t room = std::max<std::int64_t>(0, mEnd - pos);
    if (room < count) {
      std::int32_t got = 0;
      HRESULT hr = room ? Read(static_cast<std::int32_t>(room), buffer, &got) : S_OK;
      *delivered = got;
      return Failed(hr) ? hr : S_FALSE;
    }
  }
  std::int32_t got = 0;
  HRESULT hr = mSource->Read(count, buffer, &got);
  got = std::clamp<std::int32_t>(got, 0, std::max(count, 0));  // never trust a source beyond the buffer
  // A factor of -1 negates exactly (zeros included); 1 leaves the samples as they are.
  if (mFactor != 1.0)
    for (std::int32_t i = 0; i < got; ++i) buffer[i] = static_cast<float>(buffer[i] * mFactor);
  *delivered = got;
  return hr;
}

HRESULT ScalingReader::GetUnits(IUnits** units) { return mUnits ? mUnits.CopyTo(units) : mSource->GetUnits(units); }

}  // namespace kymora
