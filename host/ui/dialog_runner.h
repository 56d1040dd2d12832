#pragma once
// Runs dialogs modally over the main window. An interceptor may take the place of the user: the desktop
// program's --screenshot shows each dialog, takes its picture and rejects it; tests fill in and confirm
// dialogs. Used on the user-interface thread.
#include <functional>

class QDialog;
class QWidget;

namespace kymora::ui {

class DialogRunner {
 public:
  // Returns the dialog's result (QDialog::DialogCode, or a message box's button) in place of exec.
  using Interceptor = std::function<int(QDialog* dialog)>;

  void SetMainWindow(QWidget* window) { mMainWindow = window; }
  QWidget* MainWindow() const { return mMainWindow; }
  // While set, a dialog is shown without a modal loop and the interceptor gives its result.
  void SetInterceptor(Interceptor interceptor) { mInterceptor = std::move(interceptor); }
  bool Intercepting() const { return static_cast<bool>(mInterceptor); }

  // Parents the dialog to the main window for the run (its window flags kept), runs it and gives it its
  // own parent back. Returns what exec (or the interceptor) returned.
  int Run(QDialog* dialog);

 private:
  QWidget* mMainWindow = nullptr;
  Interceptor mInterceptor;
};

}  // namespace kymora::ui
