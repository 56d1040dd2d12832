#pragma once
// Timers on the user-interface thread. Implemented by the desktop host; reached by QueryInterface on
// IHostDocument. A timer fires from the host's event loop, so its sink never runs inside another call.
// Every timer set through one host document is killed when that document closes.
#include "host/com/iunknown.h"

struct ITimerSink;

struct ITimerService : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B09}");
  // in: the sink (the host holds a reference until the timer is killed or, for a single shot, has fired),
  // the interval in milliseconds (0: as soon as the event loop is idle), whether it repeats.
  // out: the timer's id, never 0. E_INVALIDARG for a null sink.
  virtual HRESULT SetTimer(ITimerSink* sink, std::uint32_t milliseconds, Bool16 repeat,
                           std::uint32_t* timerId) = 0;  // slot 3
  // in: a timer id. The sink is not called for it again, even when its time has already come. S_FALSE when
  // no such timer is running (already fired, killed, or never set).
  virtual HRESULT KillTimer(std::uint32_t timerId) = 0;  // slot 4
};
