#pragma once
// Turns namespace ids into the 16-bit namespace indices that form the upper half of command and message
// ids ((index << 16) | local id). The same GUID always gets the same index within a process.
#include "host/com/iunknown.h"

struct IIdService : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{C7482422-F548-4440-909D-C8E9FAFEEA10}");
  // in: namespace GUID; out: its index (1, 2, … in order of first request; 0 is the host's own).
  virtual HRESULT GetNamespaceIndex(const Guid& nameSpace, std::uint16_t* index) = 0;  // slot 3
};
