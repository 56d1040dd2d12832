#pragma once
// The windows of extension views: each view that answers IViewWindow is shown as a sub-window of the main
// window's workspace. Closing the sub-window closes the view; a view closed by the frame loses its
// sub-window. The view's widget is taken out of the sub-window before the view is closed, so that the view
// alone deletes it.
#include <QPointer>
#include <map>

#include "host/frame/document_frame.h"

class QMdiArea;
class QMdiSubWindow;

namespace kymora::ui {

class ViewHost final : public DocumentFrame::ViewObserver {
 public:
  explicit ViewHost(QMdiArea* area) : mArea(area) {}
  ~ViewHost();
  // The frame whose views this host shows (null detaches: every sub-window is closed first).
  void Attach(DocumentFrame* frame);

  void ViewOpened(const Guid& viewClassId, IDocView* view) override;
  void ViewClosing(IDocView* view) override;

  // S_OK, S_FALSE when the view has no sub-window.
  HRESULT SetTitle(IDocView* view, const wchar_t* title);
  HRESULT Activate(IDocView* view);
  // Closes the view from the event loop (the caller may be the view itself).
  HRESULT RequestClose(IDocView* view);
  // The view whose sub-window is active, or null.
  IDocView* ActiveView() const;
  QMdiSubWindow* SubWindowOf(IDocView* view) const;
  bool IsOpen(IDocView* view) const { return mWindows.count(view) != 0; }

 private:
  friend class ViewSubWindow;
  void UserClosed(IDocView* view);
  void TakeOut(IDocView* view, bool closeWindow);

  QMdiArea* mArea;
  DocumentFrame* mFrame = nullptr;
  std::map<IDocView*, QPointer<QMdiSubWindow>> mWindows;
};

}  // namespace kymora::ui
