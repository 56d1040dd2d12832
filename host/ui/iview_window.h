#pragma once
// A view that shows itself in a window of the desktop host. Implemented by the extension's views; the desktop
// host asks every view it opens for this interface right after IDocView::Setup and shows the widget as a
// sub-window of its main window. A view that does not answer it has no window (on the command line every
// view is windowless). Called on the user-interface thread only.
#include <string>

#include "host/com/iunknown.h"

class QWidget;

struct IViewWindow : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B01}");
  // out: the view's widget, the same one on every call. The view creates it without a parent and owns it:
  // the host places it in a sub-window, and takes it out again before it calls IDocView::Close, where the
  // view deletes it. The host never deletes the widget. E_FAIL (and null) when the view has none.
  virtual HRESULT GetWidget(QWidget** widget) = 0;  // slot 3
  // out: the title of the view's sub-window (the host adds nothing to it).
  virtual HRESULT GetTitle(std::wstring* title) = 0;  // slot 4
};
