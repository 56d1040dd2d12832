#include "host/ui/print_service.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "host/com/com_ptr.h"
#include "host/com/text.h"
#include "host/ui/dialog_runner.h"
#include "host/ui/message_box.h"
#include "host/ui/printout_render.h"

namespace kymora::ui {

namespace {
QString TitleOf(IPrintout* printout) {
  std::wstring title;
  if (printout && Succeeded(printout->GetTitle(&title)) && !title.empty()) return QString::fromStdWString(title);
  return QStringLiteral("Kymora");
}

PrintService::PageJob PagesOf(IPrintout* printout) {
  return [held = ComPtr<IPrintout>(printout)](QPrinter& printer) { return PrintPages(held.Get(), printer); };
}
}  // namespace

PrintService::PrintService(DialogRunner& dialogs) : mDialogs(dialogs) {}
PrintService::~PrintService() = default;

QPrinter& PrintService::Printer() {
  if (!mPrinter) {
    mPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    mPrinter->setPageOrientation(QPageLayout::Landscape);
  }
  return *mPrinter;
}

QPageLayout PrintService::Layout() const {
  const QPageLayout fallback(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                             QPageLayout::Millimeter);
  return mPrinter ? mPrinter->pageLayout() : fallback;
}

void PrintService::Report(const std::string& message) { ShowMessageBox(mDialogs, FromUtf8(message), L"Print", 0x10); }

HRESULT PrintService::Print(IPrintout* printout) {
  if (!printout) return E_POINTER;
  return Print(TitleOf(printout), PagesOf(printout));
}

HRESULT PrintService::Preview(IPrintout* printout) {
  if (!printout) return E_POINTER;
  return Preview(TitleOf(printout), PagesOf(printout));
}

HRESULT PrintService::Print(const QString& title, const PageJob& job) {
  auto& printer = Printer();
  printer.setDocName(title);
  QPrintDialog dialog(&printer, mDialogs.MainWindow());
  if (mDialogs.Run(&dialog) != QDialog::Accepted) return S_FALSE;
  auto printed = job(printer);
  if (!printed) {
    Report("The page could not be printed: " + printed.ErrorMessage() + ".");
    return E_FAIL;
  }
  return S_OK;
}

HRESULT PrintService::Preview(const QString& title, const PageJob& job) {
  auto& printer = Printer();
  printer.setDocName(title);
  QPrintPreviewDialog dialog(&printer, mDialogs.MainWindow());
  dialog.setWindowTitle(QStringLiteral("Print Preview - %1").arg(title));
  std::string failure;
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
    auto printed = job(*target);
    if (!printed) failure = printed.ErrorMessage();
  });
  dialog.resize(900, 700);
  mDialogs.Run(&dialog);
  if (!failure.empty()) {
    Report("The preview could not be drawn: " + failure + ".");
    return E_FAIL;
  }
  return S_OK;
}

HRESULT PrintService::PageSetup() {
  QPageSetupDialog dialog(&Printer(), mDialogs.MainWindow());
  return mDialogs.Run(&dialog) == QDialog::Accepted ? S_OK : S_FALSE;
}

Status PrintService::ToPdf(IPrintout* printout, const std::string& path) {
  return PrintoutPdf(printout, path, Layout());
}

}  // namespace kymora::ui
