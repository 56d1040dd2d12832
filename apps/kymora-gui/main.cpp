// kymora-gui [FILE] [--screenshot OUT.png [--select FROM-TO] [--open "Menu>Item"]... [--size WxH] [--channel N]]
// kymora-gui PAGE.html --pdf OUT.pdf
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>

#include "apps/kymora-gui/main_window.h"
#include "apps/kymora-gui/picture_mode.h"
#include "host/com/runtime.h"
#include "host/frame/extension_loader.h"
#include "host/frame/host_registry.h"
#include "host/ui/browser/page_pdf.h"

using namespace kymora;

namespace {
std::filesystem::path FolderFromEnvironment(const char* variable, std::filesystem::path fallback) {
  const char* value = std::getenv(variable);
  return value && *value ? std::filesystem::path(value) : fallback;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kymora"));
  QApplication::setApplicationName(QStringLiteral("kymora-gui"));
  QApplication::setApplicationVersion(QStringLiteral(KYMORA_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Kymora, the recording host on the desktop."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .kymo file or a recording to import."));
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Write a picture of the window and leave."),
                                      QStringLiteral("OUT.png"));
  const QCommandLineOption select(QStringLiteral("select"), QStringLiteral("Select FROM-TO seconds first."),
                                  QStringLiteral("FROM-TO"));
  const QCommandLineOption open(
      QStringLiteral("open"),
      QStringLiteral("Run a menu command first, e.g. \"Spirometry>Report\"; again for more, in order."),
      QStringLiteral("MENU>ITEM"));
  const QCommandLineOption size(
      QStringLiteral("size"), QStringLiteral("Window size for the picture (default 1280x800)."), QStringLiteral("WxH"));
  const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("Make channel N current first (from 1)."),
                                   QStringLiteral("N"));
  const QCommandLineOption dialog(
      QStringLiteral("dialog"),
      QStringLiteral("Picture the N-th dialog the command opens, confirming those before it."), QStringLiteral("N"));
  const QCommandLineOption press(QStringLiteral("press"),
                                 QStringLiteral("In the dialogs before it, click the button with this control id."),
                                 QStringLiteral("ID"));
  const QCommandLineOption pdf(
      QStringLiteral("pdf"),
      QStringLiteral("Lay out FILE, an HTML page, for A4 paper in the browser engine, write it as PDF and leave."),
      QStringLiteral("OUT.pdf"));
  parser.addOptions({screenshot, select, open, size, channel, dialog, press, pdf});
  parser.process(app);
  const auto files = parser.positionalArguments();
  if (files.size() > 1) {
    std::fprintf(stderr, "kymora-gui: one file at a time\n");
    return 2;
  }
  if (parser.isSet(pdf)) {
    if (files.isEmpty()) {
      std::fprintf(stderr, "kymora-gui: --pdf needs the page to lay out\n");
      return 2;
    }
    auto written = ui::WritePagePdf(files.front(), parser.value(pdf), ui::ReportPageLayout());
    if (!written) std::fprintf(stderr, "kymora-gui: %s\n", written.ErrorMessage().c_str());
    return written ? 0 : 1;
  }

  HostRegistry::RegisterWithComponentLibrary();
  KymCoInitialize();
  const auto exeFolder = DefaultExtensionsFolder().parent_path();
  const auto report = LoadExtensions(FolderFromEnvironment("KYMORA_EXTENSIONS", exeFolder / "extensions"));
  for (const auto& p : report.problems) std::fprintf(stderr, "kymora-gui: warning: %s\n", p.c_str());

  gui::MainWindow window(FolderFromEnvironment("KYMORA_HELP", exeFolder / "help"));
  if (parser.isSet(screenshot)) {
    gui::PictureRequest request;
    request.output = parser.value(screenshot);
    if (!files.isEmpty()) request.file = files.front();
    if (parser.isSet(select) && !(request.select = gui::ParseSecondsRange(parser.value(select)))) {
      std::fprintf(stderr, "kymora-gui: --select takes FROM-TO in seconds, FROM below TO\n");
      return 2;
    }
    if (parser.isSet(size)) {
      auto s = gui::ParseWindowSize(parser.value(size));
      if (!s) {
        std::fprintf(stderr, "kymora-gui: --size takes WIDTHxHEIGHT, 200 to 8000 each\n");
        return 2;
      }
      request.size = *s;
    }
    request.commands = parser.values(open);
    if (parser.isSet(channel)) {
      bool ok = false;
      request.channel = parser.value(channel).toInt(&ok) - 1;
      if (!ok || request.channel < 0) {
        std::fprintf(stderr, "kymora-gui: --channel takes a channel number from 1\n");
        return 2;
      }
    }
    if (parser.isSet(dialog)) {
      bool ok = false;
      request.dialog = parser.value(dialog).toInt(&ok);
      if (!ok || request.dialog < 1) {
        std::fprintf(stderr, "kymora-gui: --dialog takes a number from 1\n");
        return 2;
      }
    }
    request.press = parser.value(press);
    return gui::TakePicture(window, request);
  }
  if (parser.isSet(select) || parser.isSet(open) || parser.isSet(size) || parser.isSet(channel) ||
      parser.isSet(dialog) || parser.isSet(press)) {
    std::fprintf(stderr,
                 "kymora-gui: --select, --open, --size, --channel, --dialog and --press go with --screenshot\n");
    return 2;
  }
  window.show();
  if (!files.isEmpty()) window.OpenFile(files.front());
  return QApplication::exec();
}
