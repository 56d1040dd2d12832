#pragma once
// A linear units conversion: value = raw × scale + offset.
#include "host/com/com_object.h"
#include "host/data/iunits_conversion.h"

namespace kymora {

class UnitsConversion final : public ComObject<IUnitsConversion> {
 public:
  UnitsConversion(double scale, double offset) : mScale(scale), mOffset(offset) {}
  HRESULT GetScaleOffset(double* scale, double* offset) override {
    if (!scale || !offset) return E_POINTER;
    *scale = mScale;
    *offset = mOffset;
    return S_OK;
  }
  HRESULT ValueOfRaw(double raw, std::uint32_t, double* value) override {
    if (!value) return E_POINTER;
    *value = raw * mScale + mOffset;
    return S_OK;
  }

 private:
  double mScale, mOffset;
};

}  // namespace kymora
