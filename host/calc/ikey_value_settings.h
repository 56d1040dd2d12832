#pragma once
// Optional face of a calculation's settings object through which the command line (and scripts) set
// fields by name instead of through the calculation's setup dialog.
#include <string>

#include "host/com/iunknown.h"

struct IKeyValueSettings : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E0A}");
  // in: key and value texts (numbers in the classic locale; switches "on"/"off"). S_OK when taken;
  // E_INVALIDARG with *error set when the key is unknown or the value unacceptable (nothing changes).
  virtual HRESULT SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) = 0;  // slot 3
  // out: a one-line description of the current values, for listings ("source=1 preset=3 ...").
  virtual HRESULT Describe(std::wstring* text) = 0;  // slot 4
};

// Second face: the settings taken as a whole once every KEY=VALUE of a request is set, for what no single
// assignment can decide (a custom head scale asked for but never given, whichever key came first).
struct IKeyValueSettings2 : IKeyValueSettings {
  using Base = IKeyValueSettings;
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E0C}");
  // out: S_OK when the settings can be applied as they stand; E_INVALIDARG with *error (may be null)
  // saying what is missing or wrong, in the words of the keys, otherwise. Changes nothing.
  virtual HRESULT CheckWhole(std::wstring* error) = 0;  // slot 5
};
