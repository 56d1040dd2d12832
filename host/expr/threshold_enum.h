#pragma once
// threshold(x, level): 1 where x is above level, 0 where it is not, not-a-number where x is.
#include "host/expr/sample_function.h"

namespace kymora::expr {

class ThresholdEnum final : public SampleFunction {
 public:
  ThresholdEnum() = default;
  ThresholdEnum(const ThresholdEnum& other);

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;

 protected:
  HRESULT TakeNumbers(const std::vector<double>& numbers) override;
  HRESULT TakeSources(std::int32_t count, IUnknown* const* sources) override;
  void DropSources() override { mSource.Reset(); }
  ComPtr<SampleFunction> Copy() const override { return MakeCom<ThresholdEnum>(*this); }

 private:
  double mLevel = 0;
  ComPtr<IEnumFloatEx> mSource;
};

}  // namespace kymora::expr
