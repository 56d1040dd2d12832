#include "host/ui/dialog_runner.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPointer>

namespace kymora::ui {

int DialogRunner::Run(QDialog* dialog) {
  if (!dialog) return QDialog::Rejected;
  QPointer<QWidget> ownParent = dialog->parentWidget();
  QPointer<QDialog> guard = dialog;
  const bool reparent = mMainWindow && ownParent != mMainWindow;
  if (reparent) dialog->setParent(mMainWindow, dialog->windowFlags());
  int result = QDialog::Rejected;
  if (mInterceptor) {
    dialog->show();
    QCoreApplication::processEvents();
    auto interceptor = mInterceptor;  // the interceptor may replace itself
    result = interceptor(dialog);
    if (guard && guard->isVisible()) guard->done(result);
  } else {
    result = dialog->exec();
  }
  if (guard && reparent) guard->setParent(ownParent, guard->windowFlags());
  return result;
}

}  // namespace kymora::ui
