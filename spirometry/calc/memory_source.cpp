#include "spirometry/calc/memory_source.h"

#include <algorithm>
#include <cstring>

namespace Spirometry::testing {

HRESULT MemoryUnits::GetText(std::wstring* text) {
  if (!text) return E_POINTER;
  *text = mText;
  return S_OK;
}

HRESULT MemoryUnits::GetPrefixCode(std::int32_t* code) {
  if (!code) return E_POINTER;
  *code = mPrefix;
  return S_OK;
}

MemorySource::MemorySource(std::shared_ptr<const std::vector<float>> samples, double secsPerTick, std::wstring units)
    : mSamples(std::move(samples)), mShared(std::make_shared<Shared>()), mSecsPerTick(secsPerTick) {
  if (!units.empty()) mUnits = MakeCom<MemoryUnits>(std::move(units));
}

HRESULT MemorySource::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPosition;
  return S_OK;
}

HRESULT MemorySource::Seek(std::int64_t tick) {
  if (tick < 0) return E_INVALIDARG;
  mPosition = tick;
  return S_OK;
}

HRESULT MemorySource::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  *length = std::min<std::int64_t>(static_cast<std::int64_t>(mSamples->size()), mShared->acquired);
  return S_OK;
}

HRESULT MemorySource::GetSecsPerTick(double* secs) {
  if (!secs) return E_POINTER;
  *secs = mSecsPerTick;
  return S_OK;
}

HRESULT MemorySource::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  auto copy = MakeCom<MemorySource>(*this);
  *out = copy.Detach();
  return S_OK;
}

HRESULT MemorySource::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  if (!delivered) return E_POINTER;
  *delivered = 0;
  if (count < 0) return E_INVALIDARG;
  const auto total = static_cast<std::int64_t>(mSamples->size());
  const std::int64_t acquired = std::min<std::int64_t>(total, mShared->acquired);
  const std::int64_t n = std::clamp<std::int64_t>(acquired - mPosition, 0, count);
  if (n > 0) std::memcpy(buffer, mSamples->data() + mPosition, static_cast<std::size_t>(n) * sizeof(float));
  mPosition += n;
  mShared->delivered += n;
  *delivered = static_cast<std::int32_t>(n);
  if (n == count) return S_OK;
  return acquired < total ? KYM_S_PENDING : S_FALSE;
}

HRESULT MemorySource::GetUnits(IUnits** units) {
  if (!units) return E_POINTER;
  return mUnits.CopyTo(units);
}

std::vector<float> ReadToEnd(IEnumFloatEx* source, std::int32_t chunk) {
  std::vector<float> all, buffer(static_cast<std::size_t>(chunk));
  for (;;) {
    std::int32_t got = 0;
    HRESULT hr = source->Read(chunk, buffer.data(), &got);
    all.insert(all.end(), buffer.begin(), buffer.begin() + std::max(got, 0));
    if (hr != S_OK || got < chunk) return all;
  }
}

}  // namespace Spirometry::testing
