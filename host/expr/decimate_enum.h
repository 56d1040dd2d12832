#pragma once
// decimatesec(x, seconds): the mean of x over consecutive windows of that many seconds, the first starting
// at the record's start, held for the whole window. Samples that are not finite are left out of the mean; a
// window without a finite sample is not-a-number. The last window ends with the record. A window takes
// round(seconds / seconds per sample) samples, at least one.
//
// A window is delivered only once all of it has been acquired, since its mean depends on every sample.
#include <vector>

#include "host/expr/sample_function.h"

namespace kymora::expr {

class DecimateEnum final : public SampleFunction {
 public:
  DecimateEnum() = default;
  DecimateEnum(const DecimateEnum& other);

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;

  // Samples per window for a source interval (for tests).
  static std::int64_t WindowSamples(double seconds, double secsPerTick);

 protected:
  HRESULT TakeNumbers(const std::vector<double>& numbers) override;
  HRESULT TakeSources(std::int32_t count, IUnknown* const* sources) override;
  void DropSources() override { mSource.Reset(); }
  ComPtr<SampleFunction> Copy() const override { return MakeCom<DecimateEnum>(*this); }

 private:
  // Reads the window holding mPosition and sets its mean and end; S_OK, or the source's code when the
  // window cannot be completed (then nothing is set).
  HRESULT ComputeWindow();

  double mSeconds = 1.0;
  ComPtr<IEnumFloatEx> mSource;
  std::int64_t mWindow = 1;        // samples per window
  std::int64_t mPosition = 0;      // next output tick
  std::int64_t mWindowStart = -1;  // the window whose mean is held, -1 for none
  std::int64_t mWindowEnd = 0;     // one past its last sample (shorter at the end of the record)
  bool mRecordEnds = false;        // the record ends at mWindowEnd
  float mMean = 0;
  std::vector<float> mScratch;  // one chunk of the source, allocated once
};

}  // namespace kymora::expr
