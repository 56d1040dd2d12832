#pragma once
// The host's side of one calculated channel, handed to the calculation when it is created. Through it the
// calculation describes its output (sources, scaling, units, parameter text) and asks the host to apply it.
// Implemented by the host; called by the calculation on the document's thread.
#include <string>

#include "host/com/iunknown.h"

struct IChannelData;
struct ICalcEnum;

// One source channel of a calculation.
struct CCalcEnumSourceInfo {
  std::int32_t channel;  // zero-based source channel
  std::uint32_t flags;   // read flags for the source (ReadFlags)
  std::int32_t third;    // reserved, 0x80000000
};

// Apply flag: recompute the channel from the description given so far.
constexpr std::uint32_t kCalcApplyRecompute = 0x40000000;

struct ICalcSite : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E07}");
  // out: the host data of the document (one reference).
  virtual HRESULT GetChannelData(IChannelData** data) = 0;  // slot 3
  // out: the name of the calculation's class as registered (for example L"SpFlow").
  virtual HRESULT GetClassName(std::wstring* name) = 0;  // slot 4
  // Rebinds the channel to the class of that name (after a forced application).
  virtual HRESULT Rebind(const wchar_t* className) = 0;  // slot 5
  // in: the source list of the calculation.
  virtual HRESULT SetSources(std::int32_t count, const CCalcEnumSourceInfo* sources) = 0;  // slot 6
  // in: output scaling: a raw value r maps to r × scale + offset, raw ±32000 spanning the output range.
  virtual HRESULT SetOutputScaling(double scale, double offset) = 0;  // slot 7
  // in: the parameter text the calculation's enumerators are created with.
  virtual HRESULT SetParameterString(const wchar_t* text) = 0;  // slot 8
  // in: units text without prefix (for example L"L/s"), unit prefix code shown before it, and the factor by
  // which the host multiplies each enumerator sample to obtain the channel value.
  virtual HRESULT SetOutputUnits(const wchar_t* units, std::int32_t prefixCode, double valueFactor) = 0;  // slot 9
  // in: output limits and the output format code.
  virtual HRESULT SetOutputLimits(double top, double bottom, std::int32_t formatCode) = 0;  // slot 10
  // Applies the calculation to the channel with the given flags; returns the result of doing so.
  virtual HRESULT Apply(std::uint32_t flags) = 0;  // slot 11
  // The host's enumerator factory. in: calc-enum class name and parameter text; out: the enumerator,
  // parameters set, host set, sources not yet set.
  virtual HRESULT CreateEnum(const wchar_t* className, const wchar_t* parameters, ICalcEnum** out) = 0;  // slot 12
  // Shows a message box. in: text, caption, style. Returns the button chosen (1 = OK).
  virtual HRESULT ShowMessage(const wchar_t* text, const wchar_t* caption, std::uint32_t style) = 0;  // slot 13
  // out: the zero-based channel this calculation is on.
  virtual HRESULT GetChannel(std::int32_t* channel) = 0;  // slot 14
};
