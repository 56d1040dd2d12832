#include "host/ui/browser/page_pdf.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QPageSize>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <optional>

namespace kymora::ui {

namespace {
// The engine starts its own processes; a machine that cannot start them answers within seconds.
constexpr int kGiveUpMs = 120000;

// Runs the loop until it is told to quit or the time runs out.
void RunWithTimeLimit(QEventLoop& loop) {
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(kGiveUpMs);
  loop.exec();
}
}  // namespace

QPageLayout ReportPageLayout() {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                     QPageLayout::Millimeter);
}

Status WritePagePdf(const QString& htmlPath, const QString& pdfPath, const QPageLayout& layout) {
  if (!QFileInfo(htmlPath).isReadable()) return Error{"the page cannot be read"};
  // Declared before the page: a callback the page still holds when it goes is called as it goes.
  QEventLoop loop;
  std::optional<bool> loaded;
  std::optional<QByteArray> pdf;
  QWebEnginePage page;
  QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, [&](bool ok) {
    loaded = ok;
    loop.quit();
  });
  page.load(QUrl::fromLocalFile(QFileInfo(htmlPath).absoluteFilePath()));
  RunWithTimeLimit(loop);
  if (!loaded) return Error{"the browser engine did not load the page in time"};
  if (!*loaded) return Error{"the browser engine could not load the page"};
  page.printToPdf(
      [&](const QByteArray& bytes) {
        pdf = bytes;
        loop.quit();
      },
      layout);
  if (!pdf) RunWithTimeLimit(loop);
  if (!pdf) return Error{"the browser engine did not lay out the page in time"};
  if (pdf->isEmpty()) return Error{"the browser engine could not lay out the page"};
  QSaveFile file(pdfPath);
  if (!file.open(QIODevice::WriteOnly) || file.write(*pdf) != pdf->size() || !file.commit())
    return Error{file.errorString().toStdString()};
  return Ok();
}

}  // namespace kymora::ui
