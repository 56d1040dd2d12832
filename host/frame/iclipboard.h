#pragma once
// The host's clipboard: the system clipboard in the desktop application, memory (or files) on the command
// line and in tests. Reached by QueryInterface on IHostDocument. Used on the user-interface thread.
#include <string>

#include "host/com/iunknown.h"

// The standard format of NUL-terminated UTF-16 text.
constexpr std::uint32_t kClipboardUnicodeText = 13;

struct IClipboard : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A07}");
  // in: a format name; out: its id, the same for the same name for the life of the process.
  virtual HRESULT RegisterFormat(const wchar_t* name, std::uint32_t* format) = 0;  // slot 3
  // in: the owner window (0 when none). Fails when another owner holds the clipboard open.
  virtual HRESULT Open(std::uintptr_t owner) = 0;  // slot 4
  // Removes every format. Only while open.
  virtual HRESULT Empty() = 0;  // slot 5
  // in: format and bytes; the clipboard copies them. Only while open. A failure leaves nothing placed.
  virtual HRESULT SetData(std::uint32_t format, const void* bytes, std::uint32_t size) = 0;  // slot 6
  virtual HRESULT Close() = 0;                                                               // slot 7
};
