#pragma once
// The desktop host's browser engine. Implemented by the host; reached by QueryInterface on IHostDocument
// (the command line does not answer it: it shows no pages). Called on the user-interface thread.
#include "host/com/iunknown.h"

struct IHtmlWindow;

struct IBrowserService : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B0B}");
  // out: a new, empty browser window (one reference for the caller). E_NOTIMPL when this host has no
  // browser engine; the pointer is null on every failure.
  virtual HRESULT CreateHtmlWindow(IHtmlWindow** window) = 0;  // slot 3
};
