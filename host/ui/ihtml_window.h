#pragma once
// A browser window that shows a page held in memory: an extension's view shows its HTML through it and
// prints it. Implemented by the desktop host, made by IBrowserService. Called on the user-interface thread.
#include "host/com/iunknown.h"

class QWidget;

struct IHtmlWindow : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B0A}");
  // out: the window's widget, the same one on every call, made without a parent. The window object owns
  // it and deletes it when its last reference goes; whoever shows it (a view's sub-window) takes it out
  // before letting go of the window.
  virtual HRESULT GetWidget(QWidget** widget) = 0;  // slot 3
  // in: a whole HTML page. Replaces what the window shows; the page loads in the event loop, later.
  virtual HRESULT ShowPage(const wchar_t* html) = 0;  // slot 4
  // in: plain text, shown as it is in place of a page (a message when there is nothing to show).
  virtual HRESULT ShowText(const wchar_t* text) = 0;  // slot 5
  // in: the title of the print job. Shows the print dialog and prints what the window shows, as laid out
  // for paper by the browser. S_OK printed, S_FALSE cancelled; a failure after the user has been told.
  // Returns when the pages are on the printer (the event loop runs meanwhile).
  virtual HRESULT Print(const wchar_t* title) = 0;  // slot 6
  // in: the title. Shows the pages in the print-preview window, from which the user may print them.
  virtual HRESULT PrintPreview(const wchar_t* title) = 0;  // slot 7
};
