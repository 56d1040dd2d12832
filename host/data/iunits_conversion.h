#pragma once
// The host's mapping of raw converter values onto a channel's units: value = raw × scale + offset.
// A recorded channel maps the raw value ±32000 onto ± its full-scale range (scale = range / 32000).
#include "host/com/iunknown.h"

struct IUnitsConversion : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{2E54A1C3-7D0B-4F8E-8B11-4A3C9D7E6F02}");
  // out: scale and offset. Implemented by the host.
  virtual HRESULT GetScaleOffset(double* scale, double* offset) = 0;  // slot 3
  // in: raw value, read flags; out: the value in units (32000.0 gives the full-scale value).
  virtual HRESULT ValueOfRaw(double raw, std::uint32_t flags, double* value) = 0;  // slot 4
};
