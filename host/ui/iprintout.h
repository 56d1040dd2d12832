#pragma once
// Something to print: a view's page (or pages). Implemented by the extension (and by the host's own views);
// the host's print service, the print preview, PDF and picture output and the clipboard's pictures all draw
// through it. Called on the user-interface thread.
#include <string>

#include "host/com/iunknown.h"

class QPainter;

// Where a page is drawn: a rectangle in the painter's device coordinates (the printable area of a printer
// page, the whole of an image or a picture) and the device's resolution in dots per inch, from which a
// printout scales its fonts and pens so that every device shows the screen's proportions.
struct PrintArea {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  std::int32_t dpiX = 96, dpiY = 96;
};

struct IPrintout : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B03}");
  // out: the title of the print job, the preview window and the PDF document.
  virtual HRESULT GetTitle(std::wstring* title) = 0;  // slot 3
  // out: the number of pages, at least 1. Asked at the start of every job; the answer holds for that job.
  virtual HRESULT GetPageCount(std::int32_t* count) = 0;  // slot 4
  // in: the page number (from 1), an active painter on the device (the host owns it and ends it), and the
  // area to draw into. The painter's state on return does not matter. A failure stops the job; the host
  // tells the user.
  virtual HRESULT PrintPage(std::int32_t page, QPainter* painter, const PrintArea* area) = 0;  // slot 5
};
