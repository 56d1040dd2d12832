#pragma once
// Pictures on the clipboard: the desktop host's clipboard renders a drawing as SVG (image/svg+xml) and as
// PNG (image/png), so that drawing programs take the vector form and everything else the bitmap.
// Implemented by the host's clipboard; reached by QueryInterface on the IClipboard that IHostDocument
// answers. Called on the user-interface thread.
#include "host/com/iunknown.h"

struct IPrintout;

struct IClipboardPicture : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B05}");
  // in: the drawing (its page 1 is drawn, with PrintArea {0, 0, width, height} at 96 dpi) and the size of
  // the picture in pixels (each 1 to 10000). Only while the clipboard is open (IClipboard::Open); the
  // picture joins the formats placed since the last Empty and reaches the system clipboard on Close.
  // E_INVALIDARG for a size out of range; a failure of the drawing places nothing.
  virtual HRESULT SetPicture(IPrintout* drawing, std::int32_t width, std::int32_t height) = 0;  // slot 3
};
