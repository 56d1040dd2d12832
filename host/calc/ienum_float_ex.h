#pragma once
// A source of float samples within one block (record): recorded channels, calculated channels and
// sample expressions all read through it. Implemented by the host (readers) and by the extension's
// sample enumerators. One thread at a time; Clone gives an independent reader for another thread.
#include <cstdint>

#include "host/com/iunknown.h"

struct IUnits;

// Result of Read when fewer samples than asked were delivered because the record is still being acquired
// (online): more may come later. Bit 0x8000 marks it.
constexpr HRESULT KYM_S_PENDING = 0x00008001;

struct IEnumFloatEx : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E01}");
  // out: index within the record of the next sample Read delivers.
  virtual HRESULT GetPosition(std::int64_t* tick) = 0;  // slot 3
  // Skip and seek: the next Read starts at the given index within the record (backwards too).
  virtual HRESULT Seek(std::int64_t tick) = 0;  // slot 4
  // out: number of samples the record holds now (grows while the record is being acquired).
  virtual HRESULT GetLength(std::int64_t* length) = 0;  // slot 5
  // out: seconds per sample.
  virtual HRESULT GetSecsPerTick(double* secs) = 0;  // slot 6
  // out: an independent reader at the same position, one reference for the caller.
  virtual HRESULT Clone(IEnumFloatEx** out) = 0;  // slot 7
  // in: count wanted, buffer of that many floats; out: *delivered. S_OK when count samples were delivered;
  // S_FALSE when fewer because the record ends; KYM_S_PENDING when fewer because the record is still
  // growing; a failure code when the samples cannot be had (then *delivered tells how many are valid).
  virtual HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) = 0;  // slot 8
  // out: the units of the samples (one reference), or null when unknown.
  virtual HRESULT GetUnits(IUnits** units) = 0;  // slot 9
};
