#include "apps/kymora-gui/picture_mode.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>

#include "apps/kymora-gui/chart/chart_view.h"
#include "apps/kymora-gui/main_window.h"
#include "host/ui/browser/html_window.h"

namespace kymora::gui {

std::optional<std::pair<double, double>> ParseSecondsRange(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral(R"(^\s*(\d+(?:\.\d*)?)\s*-\s*(\d+(?:\.\d*)?)\s*$)"));
  const auto m = pattern.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const double from = m.captured(1).toDouble(), to = m.captured(2).toDouble();
  if (!(to > from)) return std::nullopt;
  return std::make_pair(from, to);
}

std::optional<QSize> ParseWindowSize(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral(R"(^(\d{3,4})x(\d{3,4})$)"));
  const auto m = pattern.match(text.trimmed());
  if (!m.hasMatch()) return std::nullopt;
  const QSize size(m.captured(1).toInt(), m.captured(2).toInt());
  if (size.width() < 200 || size.height() < 200 || size.width() > 8000 || size.height() > 8000) return std::nullopt;
  return size;
}

bool WaitUntil(const std::function<bool()>& ready, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!ready()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

namespace {
constexpr int kSettleMs = 300;

void Say(const QString& text) { std::fprintf(stderr, "kymora-gui: %s\n", text.toLocal8Bit().constData()); }

void Settle(MainWindow& window) {
  WaitUntil([&] { return window.Chart()->SummariesReady() && ui::PagesLoading() == 0; }, 120000);
  // A loaded page reaches the window a few frames later, from the browser engine's own threads.
  QElapsedTimer frames;
  frames.start();
  WaitUntil([&] { return frames.elapsed() >= kSettleMs; }, kSettleMs + 1000);
}
}  // namespace

int TakePicture(MainWindow& window, const PictureRequest& request) {
  std::optional<QImage> picture;
  bool armed = false;
  int seen = 0;
  // Every dialog is answered here. While the command runs, the chosen dialog becomes the picture.
  window.Services().Dialogs().SetInterceptor([&](QDialog* dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) Say(box->text());
    if (armed && !picture && ++seen < request.dialog) {
      auto* button = request.press.isEmpty() ? nullptr : dialog->findChild<QAbstractButton*>(request.press);
      if (!button) return static_cast<int>(QDialog::Accepted);
      button->click();  // opens the next dialog
      return static_cast<int>(QDialog::Rejected);
    }
    if (armed && !picture) {
      Settle(window);
      dialog->resize(dialog->size().expandedTo(dialog->sizeHint()));
      for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
      picture = window.Picture(dialog);
    }
    return static_cast<int>(QDialog::Rejected);
  });
  window.resize(request.size);
  window.show();
  if (!request.file.isEmpty() && !window.OpenFile(request.file)) return 1;
  Settle(window);
  if (request.select) window.SelectSeconds(request.select->first, request.select->second);
  window.Chart()->SetCurrentChannel(request.channel);
  for (qsizetype i = 0; i < request.commands.size(); ++i) {
    QAction* action = window.FindMenuAction(request.commands[i]);
    if (!action) {
      Say(QStringLiteral("there is no menu command \"%1\"").arg(request.commands[i]));
      return 2;
    }
    // Only the last command's dialog is pictured; the commands before it set the scene, and each is
    // drawn (its pages loaded) before the next runs.
    const bool last = i + 1 == request.commands.size();
    armed = last;
    action->trigger();
    armed = false;
    if (!last) Settle(window);
  }
  if (!picture) {
    Settle(window);
    picture = window.Picture();
  }
  if (picture->isNull() || !picture->save(request.output, "PNG")) {
    Say(QStringLiteral("%1: the picture could not be written").arg(request.output));
    return 1;
  }
  return 0;
}

}  // namespace kymora::gui
