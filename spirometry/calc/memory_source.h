#pragma once
// For the calculations' tests and benchmarks: a sample source over samples in memory, with units, a
// count of the samples it has delivered (shared with its clones), and an optional acquisition limit that
// makes it behave like a record still being acquired.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/iunits.h"

namespace Spirometry::testing {

class MemoryUnits final : public ComObject<IUnits> {
 public:
  explicit MemoryUnits(std::wstring text, std::int32_t prefixCode = 8) : mText(std::move(text)), mPrefix(prefixCode) {}
  HRESULT GetText(std::wstring* text) override;
  HRESULT GetPrefixCode(std::int32_t* code) override;

 private:
  std::wstring mText;
  std::int32_t mPrefix;
};

class MemorySource final : public ComObject<IEnumFloatEx> {
 public:
  MemorySource(std::shared_ptr<const std::vector<float>> samples, double secsPerTick, std::wstring units);
  MemorySource(std::vector<float> samples, double secsPerTick, std::wstring units)
      : MemorySource(std::make_shared<const std::vector<float>>(std::move(samples)), secsPerTick, std::move(units)) {}

  // A clone: same samples and counts, own position.
  MemorySource(const MemorySource& other)
      : ComObject(),
        mSamples(other.mSamples),
        mShared(other.mShared),
        mPosition(other.mPosition),
        mSecsPerTick(other.mSecsPerTick),
        mUnits(other.mUnits) {}

  // Samples beyond this many are not yet acquired: Read stops there with KYM_S_PENDING. Shared with clones.
  void SetAcquired(std::int64_t count) { mShared->acquired = count; }
  // Samples delivered by this source and its clones so far.
  std::int64_t Delivered() const { return mShared->delivered; }
  void ResetDelivered() { mShared->delivered = 0; }

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;

 private:
  struct Shared {
    std::atomic<std::int64_t> delivered{0};
    std::atomic<std::int64_t> acquired{INT64_MAX};
  };
  std::shared_ptr<const std::vector<float>> mSamples;
  std::shared_ptr<Shared> mShared;
  std::int64_t mPosition = 0;
  double mSecsPerTick;
  ComPtr<IUnits> mUnits;
};

// Reads a source to its end in chunks of the given size.
std::vector<float> ReadToEnd(IEnumFloatEx* source, std::int32_t chunk = 1000);

}  // namespace Spirometry::testing
