#pragma once
// Class objects of channel calculations, registered by extensions with the class registry. The host
// stores a calculated channel as the class id plus the settings stream.
#include <string>

#include "host/com/ipersist_object.h"

struct ICalcSite;
struct IChannelCalc;

struct ICalculationClass : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E09}");
  // out: the class id stored in data files.
  virtual HRESULT GetClassId(Guid* classId) = 0;  // slot 3
  // out: the class name (the calculation-menu key, for example L"SpFlow").
  virtual HRESULT GetName(std::wstring* name) = 0;  // slot 4
  // out: the display name shown on the calculation menu.
  virtual HRESULT GetDisplayName(std::wstring* name) = 0;  // slot 5
  // in: the host site of the channel; out: a new calculation with default settings, one reference.
  virtual HRESULT CreateCalculation(ICalcSite* site, IChannelCalc** calc) = 0;  // slot 6
  // out: a new settings object with defaults (the host loads a stored stream into it).
  virtual HRESULT CreateSettings(IPersistObject** settings) = 0;  // slot 7
};
