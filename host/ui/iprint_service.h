#pragma once
// Printing, print preview, page set-up and PDF output. Implemented by the desktop host; reached by
// QueryInterface on IHostDocument. Views call it from their print commands (HostCommands::kPrint,
// kPrintPreview, kPrintSetup). Called on the user-interface thread; every operation that shows a dialog is
// modal and returns when the dialog is closed.
#include "host/com/iunknown.h"

struct IPrintout;

struct IPrintService : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B04}");
  // in: the printout (the host holds a reference while it prints). Shows the print dialog and prints every
  // page on the chosen printer (or into the PDF file chosen there). S_OK printed, S_FALSE cancelled by the
  // user, a failure when printing failed (the host has told the user).
  virtual HRESULT Print(IPrintout* printout) = 0;  // slot 3
  // in: the printout. Shows its pages in the print-preview window, from which the user may print them.
  // S_OK when the window was shown and closed.
  virtual HRESULT PrintPreview(IPrintout* printout) = 0;  // slot 4
  // Shows the page set-up dialog. The paper, orientation and margins chosen hold for every later job of
  // the process. S_OK when confirmed, S_FALSE when cancelled.
  virtual HRESULT PageSetup() = 0;  // slot 5
  // in: the printout and a file path. Writes every page into a PDF file with the page set-up, without a
  // dialog. A failure leaves no file at the path (a file already there stays as it was).
  virtual HRESULT PrintToPdf(IPrintout* printout, const wchar_t* path) = 0;  // slot 6
};
