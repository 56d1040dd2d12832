#include "host/ui/view_host.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include "host/ui/iview_window.h"

namespace kymora::ui {

// A sub-window that tells the host when the user closes it, instead of deleting the view's widget.
class ViewSubWindow final : public QMdiSubWindow {
 public:
  ViewSubWindow(ViewHost* host, IDocView* view) : mHost(host), mView(view) { setAttribute(Qt::WA_DeleteOnClose); }
  void Detach() { mHost = nullptr; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (mHost) {
      auto* host = std::exchange(mHost, nullptr);
      host->UserClosed(mView);
    }
    QMdiSubWindow::closeEvent(event);
  }

 private:
  ViewHost* mHost;
  IDocView* mView;
};

ViewHost::~ViewHost() { Attach(nullptr); }

void ViewHost::Attach(DocumentFrame* frame) {
  if (mFrame) mFrame->SetViewObserver(nullptr);
  auto windows = mWindows;
  for (auto& [view, window] : windows) TakeOut(view, true);
  mFrame = frame;
  if (mFrame) mFrame->SetViewObserver(this);
}

void ViewHost::ViewOpened(const Guid&, IDocView* view) {
  ComPtr<IViewWindow> window;
  if (!view || Failed(view->QueryInterface(IViewWindow::kIid, window.PutVoid())) || !window) return;
  QWidget* widget = nullptr;
  if (Failed(window->GetWidget(&widget)) || !widget) return;
  std::wstring title;
  window->GetTitle(&title);
  auto* sub = new ViewSubWindow(this, view);
  sub->setWidget(widget);
  sub->setWindowTitle(QString::fromStdWString(title));
  mArea->addSubWindow(sub);
  mWindows[view] = sub;
  std::int32_t width = 0, height = 0;
  if (Succeeded(view->GetPreferredSize(&width, &height)) && width > 0 && height > 0) sub->resize(width, height);
  sub->show();
  mArea->setActiveSubWindow(sub);
}

void ViewHost::TakeOut(IDocView* view, bool closeWindow) {
  auto it = mWindows.find(view);
  if (it == mWindows.end()) return;
  QPointer<QMdiSubWindow> sub = it->second;
  mWindows.erase(it);
  if (!sub) return;
  if (auto* s = dynamic_cast<ViewSubWindow*>(sub.data())) s->Detach();
  if (QWidget* widget = sub->widget()) {
    sub->setWidget(nullptr);
    widget->hide();
    widget->setParent(nullptr);
  }
  if (closeWindow) sub->close();  // detached, so it only goes (WA_DeleteOnClose)
}

void ViewHost::ViewClosing(IDocView* view) { TakeOut(view, true); }

void ViewHost::UserClosed(IDocView* view) {
  ComPtr<IDocView> held(view);  // closing the view releases the frame's reference
  TakeOut(view, false);         // the sub-window is closing already and deletes itself
  if (mFrame) mFrame->CloseView(view);
}

HRESULT ViewHost::SetTitle(IDocView* view, const wchar_t* title) {
  auto* sub = SubWindowOf(view);
  if (!sub) return S_FALSE;
  sub->setWindowTitle(QString::fromWCharArray(title ? title : L""));
  return S_OK;
}

HRESULT ViewHost::Activate(IDocView* view) {
  auto* sub = SubWindowOf(view);
  if (!sub) return S_FALSE;
  mArea->setActiveSubWindow(sub);
  sub->widget() ? sub->widget()->setFocus() : sub->setFocus();
  return S_OK;
}

HRESULT ViewHost::RequestClose(IDocView* view) {
  if (!mFrame) return S_FALSE;
  bool open = false;
  for (const auto& v : mFrame->Views()) open = open || v.Get() == view;
  if (!open) return S_FALSE;
  ComPtr<IDocView> held(view);
  QTimer::singleShot(0, mArea, [this, held] {
    if (mFrame) mFrame->CloseView(held.Get());
  });
  return S_OK;
}

IDocView* ViewHost::ActiveView() const {
  auto* active = mArea->activeSubWindow();
  for (const auto& [view, window] : mWindows)
    if (window == active) return view;
  return nullptr;
}

QMdiSubWindow* ViewHost::SubWindowOf(IDocView* view) const {
  auto it = mWindows.find(view);
  return it == mWindows.end() ? nullptr : it->second.data();
}

}  // namespace kymora::ui
