#include "host/expr/threshold_enum.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kymora::expr {

ThresholdEnum::ThresholdEnum(const ThresholdEnum& other)
    : SampleFunction(other), mLevel(other.mLevel), mSource(CloneOf(other.mSource.Get())) {}

HRESULT ThresholdEnum::TakeNumbers(const std::vector<double>& numbers) {
  if (numbers.size() != 1 || std::isnan(numbers[0])) return E_INVALIDARG;
  mLevel = numbers[0];
  return S_OK;
}

HRESULT ThresholdEnum::TakeSources(std::int32_t count, IUnknown* const* sources) {
  return SampleSource(count, sources, &mSource);
}

HRESULT ThresholdEnum::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  if (!mSource) return E_UNEXPECTED;
  return mSource->GetPosition(tick);
}

HRESULT ThresholdEnum::Seek(std::int64_t tick) {
  if (!mSource) return E_UNEXPECTED;
  return tick < 0 ? E_INVALIDARG : mSource->Seek(tick);
}

HRESULT ThresholdEnum::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  if (!mSource) return E_UNEXPECTED;
  return mSource->GetLength(length);
}

HRESULT ThresholdEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  std::int32_t ignored = 0;
  if (!delivered) delivered = &ignored;
  *delivered = 0;
  if (!mSource) return E_UNEXPECTED;
  if (count < 0 || (count > 0 && !buffer)) return E_INVALIDARG;
  const HRESULT hr = mSource->Read(count, buffer, delivered);
  *delivered = std::clamp(*delivered, 0, count);
  for (std::int32_t i = 0; i < *delivered; ++i) {
    const float x = buffer[i];
    buffer[i] = std::isnan(x) ? std::numeric_limits<float>::quiet_NaN() : double{x} > mLevel ? 1.0f : 0.0f;
  }
  return hr;
}

}  // namespace kymora::expr
