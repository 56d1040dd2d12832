#include "host/expr/decimate_enum.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kymora::expr {

namespace {
constexpr std::int32_t kChunk = 1024;
constexpr double kMaxSeconds = 1e9;
}  // namespace

DecimateEnum::DecimateEnum(const DecimateEnum& other)
    : SampleFunction(other),
      mSeconds(other.mSeconds),
      mSource(CloneOf(other.mSource.Get())),
      mWindow(other.mWindow),
      mPosition(other.mPosition),
      mWindowStart(other.mWindowStart),
      mWindowEnd(other.mWindowEnd),
      mRecordEnds(other.mRecordEnds),
      mMean(other.mMean),
      mScratch(kChunk) {}

std::int64_t DecimateEnum::WindowSamples(double seconds, double secsPerTick) {
  if (!(secsPerTick > 0)) return 1;
  const double n = std::round(seconds / secsPerTick);
  return n < 1 ? 1 : n > 1e15 ? static_cast<std::int64_t>(1e15) : static_cast<std::int64_t>(n);
}

HRESULT DecimateEnum::TakeNumbers(const std::vector<double>& numbers) {
  if (numbers.size() != 1 || !(numbers[0] >= 0 && numbers[0] <= kMaxSeconds)) return E_INVALIDARG;
  mSeconds = numbers[0];
  return S_OK;
}

HRESULT DecimateEnum::TakeSources(std::int32_t count, IUnknown* const* sources) {
  HRESULT hr = SampleSource(count, sources, &mSource);
  if (Failed(hr)) return hr;
  mWindow = WindowSamples(mSeconds, mSecsPerTick);
  mScratch.resize(kChunk);
  mWindowStart = -1;
  return S_OK;
}

HRESULT DecimateEnum::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPosition;
  return S_OK;
}

HRESULT DecimateEnum::Seek(std::int64_t tick) {
  if (!mSource) return E_UNEXPECTED;
  if (tick < 0) return E_INVALIDARG;
  mPosition = tick;
  return S_OK;
}

HRESULT DecimateEnum::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  if (!mSource) return E_UNEXPECTED;
  return mSource->GetLength(length);
}

HRESULT DecimateEnum::ComputeWindow() {
  const std::int64_t start = mPosition / mWindow * mWindow;
  HRESULT hr = mSource->Seek(start);
  if (Failed(hr)) return hr;
  double sum = 0;
  std::int64_t finite = 0, read = 0;
  bool ends = false;
  while (read < mWindow) {
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kChunk, mWindow - read));
    std::int32_t got = 0;
    hr = mSource->Read(want, mScratch.data(), &got);
    got = std::clamp(got, 0, want);
    for (std::int32_t i = 0; i < got; ++i)
      if (std::isfinite(mScratch[static_cast<std::size_t>(i)])) {
        sum += mScratch[static_cast<std::size_t>(i)];
        ++finite;
      }
    read += got;
    if (got == want && hr == S_OK) continue;
    // A record still being acquired, or a failure: the window is not complete yet.
    if (hr == KYM_S_PENDING || Failed(hr)) return hr;
    ends = true;  // S_FALSE, or S_OK with fewer: the record ends here
    break;
  }
  mWindowStart = start;
  mWindowEnd = start + read;
  mRecordEnds = ends;
  mMean = finite > 0 ? static_cast<float>(sum / static_cast<double>(finite)) : std::numeric_limits<float>::quiet_NaN();
  return S_OK;
}

HRESULT DecimateEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  std::int32_t ignored = 0;
  if (!delivered) delivered = &ignored;
  *delivered = 0;
  if (!mSource) return E_UNEXPECTED;
  if (count < 0 || (count > 0 && !buffer)) return E_INVALIDARG;
  std::int32_t done = 0;
  while (done < count) {
    if (mWindowStart >= 0 && mRecordEnds && mPosition >= mWindowEnd) break;
    if (mWindowStart < 0 || mPosition < mWindowStart || mPosition >= mWindowStart + mWindow) {
      const HRESULT hr = ComputeWindow();
      if (hr != S_OK) {
        *delivered = done;
        return hr;
      }
    }
    if (mPosition >= mWindowEnd) {  // beyond the end of the record
      *delivered = done;
      return S_FALSE;
    }
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count - done, mWindowEnd - mPosition));
    std::fill_n(buffer + done, n, mMean);
    done += n;
    mPosition += n;
  }
  *delivered = done;
  return done < count ? S_FALSE : S_OK;
}

}  // namespace kymora::expr
