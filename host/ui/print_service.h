#pragma once
// The desktop's printing: the print dialog, the print preview and the page set-up, all run through the
// dialog runner, and PDF files. The page set-up chosen holds for every later job of the process.
#include <QPageLayout>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "host/com/expected.h"
#include "host/ui/iprintout.h"

class QPrinter;

namespace kymora::ui {

class DialogRunner;

class PrintService {
 public:
  explicit PrintService(DialogRunner& dialogs);
  ~PrintService();

  // Puts a document's pages onto a printer (the chosen one, or the preview's); returns when they are there.
  using PageJob = std::function<Status(QPrinter& printer)>;

  // S_OK printed, S_FALSE cancelled; a failure after the user has been told why.
  HRESULT Print(IPrintout* printout);
  HRESULT Preview(IPrintout* printout);
  // The same for pages that something other than a printout lays out (a browser's page).
  HRESULT Print(const QString& title, const PageJob& job);
  HRESULT Preview(const QString& title, const PageJob& job);
  HRESULT PageSetup();
  Status ToPdf(IPrintout* printout, const std::string& path);
  QPageLayout Layout() const;

 private:
  QPrinter& Printer();
  void Report(const std::string& message);

  DialogRunner& mDialogs;
  std::unique_ptr<QPrinter> mPrinter;  // made on first use: finding the printers takes time
};

}  // namespace kymora::ui
