#pragma once
// The settings of the host's cycle detector (the engine's function Cycles), handed to extensions that build
// event expressions over a channel without knowing the channel's scale. Obtained from IExpressionEngine2.
//
// Numbered parameters:
//   3  level, in percent of the channel's full-scale range (default 1)
//   5  quiet time before a cycle, in seconds (default 0.25)
//   8  samples averaged before the comparison (default 1)
//   9  baseline, in the channel's units (default 0)
// Other numbers name no parameter.
#include <string>

#include "host/com/iunknown.h"

struct IDetectorSettings : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{5A7E3D10-2B6C-4C8F-A1E4-9D0F3B2C7A03}");
  // Puts every parameter back to its default.
  virtual HRESULT SetDefaults() = 0;  // slot 3
  // in: parameter number and value. E_INVALIDARG for a number that names no parameter or a value out of its
  // range (nothing changes then).
  virtual HRESULT SetParameter(std::int32_t index, double value) = 0;  // slot 4
  // out: the value of a parameter; E_INVALIDARG for a number that names none.
  virtual HRESULT GetParameter(std::int32_t index, double* value) = 0;  // slot 5
  // in: the source as written in expressions ("Ch3"), the block and the channel whose full-scale range
  // turns the level into the channel's units (-1: the channel the source names), and the read flags for the
  // range; out: the event expression of the detector over the source. Fails when the range cannot be had.
  virtual HRESULT GetText(const wchar_t* source, std::int32_t block, std::int32_t channel, std::uint32_t flags,
                          std::wstring* text) = 0;  // slot 6
};
