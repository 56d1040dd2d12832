#pragma once
// The receiver of a timer set through ITimerService. Implemented by the extension (a document or a view
// that needs to act later without blocking, for example a delayed redraw). Called on the user-interface
// thread, from the host's event loop, never from inside another call into the extension.
#include "host/com/iunknown.h"

struct ITimerSink : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B08}");
  // in: the id that ITimerService::SetTimer gave. The return value is ignored.
  virtual HRESULT OnTimer(std::uint32_t timerId) = 0;  // slot 3
};
