#pragma once
// The units of a channel in a block. The host hands out one object per distinct text, so two channels or
// blocks have the same units exactly when their units objects are the same object (compare pointers).
#include <string>

#include "host/com/iunknown.h"

struct IUnits : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{2E54A1C3-7D0B-4F8E-8B11-4A3C9D7E6F01}");
  // out: the units text as shown to the user, for example L"mL/s". Implemented by the host.
  virtual HRESULT GetText(std::wstring* text) = 0;  // slot 3
  // out: the unit prefix code of the text's SI prefix (6 µ, 7 m, 8 none, 9 k, ...), 8 when there is none.
  virtual HRESULT GetPrefixCode(std::int32_t* code) = 0;  // slot 4
};
