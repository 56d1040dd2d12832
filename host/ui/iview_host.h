#pragma once
// The desktop host's side of the windows of views. Implemented by the host; reached by QueryInterface on
// IHostDocument (the command line does not answer it: its views have no windows). Called on the
// user-interface thread by views open on that host document.
#include "host/com/iunknown.h"

struct IDocView;

struct IViewHost : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B02}");
  // in: a view open on this host document, its new title. S_FALSE when the view has no sub-window;
  // E_INVALIDARG when it is not a view of this host document.
  virtual HRESULT SetViewTitle(IDocView* view, const wchar_t* title) = 0;  // slot 3
  // in: a view; brings its sub-window to the front and gives it the focus. S_FALSE when it has none.
  virtual HRESULT ActivateView(IDocView* view) = 0;  // slot 4
  // in: a view; closes it as the user closing its sub-window would: the host takes the widget out of the
  // sub-window, calls IDocView::Close and lets go of the view. The close happens after the caller's current
  // operation returns (a view may ask for its own close from one of its handlers). S_FALSE when the view is
  // not open.
  virtual HRESULT CloseView(IDocView* view) = 0;  // slot 5
};
