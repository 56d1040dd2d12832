#pragma once
// An optional companion of IEnumFloatEx for readers whose samples already lie in memory (recorded
// channels): Borrow moves on exactly as Read does, but hands out where the samples lie instead of copying
// them into a buffer. A calculation that transforms its source sample by sample can then read each sample
// once, where it lies, and write its result once. Readers that compute their samples do not offer it.
#include <cstdint>

#include "host/com/iunknown.h"

struct IEnumFloatSpan : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E0D}");
  // in: count wanted; out: *samples, the first of *delivered samples, valid while the reader lives (and
  // until it is next moved). Results as IEnumFloatEx::Read.
  virtual HRESULT Borrow(std::int32_t count, const float** samples, std::int32_t* delivered) = 0;
};
