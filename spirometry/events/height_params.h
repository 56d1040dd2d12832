#pragma once
// The parameters of the breath detectors that take a Height (SPEEFlow, SpBreathEvent): their sources and
// the one number, in flow units from 0 to the largest double.
#include <cfloat>
#include <span>
#include <string>

#include "spirometry/events/enumerator_base.h"
#include "spirometry/events/params_base.h"

namespace Spirometry {

class HeightParams : public EEH3::ParamsBase {
 public:
  HRESULT ReadNumbers(std::span<const double> numbers) override {
    if (numbers.size() != 1 || !(numbers[0] >= 0 && numbers[0] <= DBL_MAX)) return E_INVALIDARG;
    mHeight = numbers[0];
    return S_OK;
  }
  void WriteNumbers(std::wstring& text) const override { text += EEH3::EnumeratorBase::FormatNumber(mHeight); }
  std::size_t NumberCount() const override { return 1; }

  // Inspirations must exceed +Height and expirations fall below -Height to count.
  double mHeight = 0;

 protected:
  using ParamsBase::ParamsBase;
};

}  // namespace Spirometry
