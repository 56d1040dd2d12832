#pragma once
// A page file laid out for paper by the browser engine and written as PDF, without a window.
#include <QPageLayout>
#include <QString>

#include "host/com/expected.h"

namespace kymora::ui {

// Loads the HTML file, prints it to PDF on the layout's paper and writes the PDF file, all or nothing.
// Runs the event loop until done; needs a QApplication. The message says what went wrong, without paths.
Status WritePagePdf(const QString& htmlPath, const QString& pdfPath, const QPageLayout& layout);

// A4 portrait with margins of 15 mm: a report page as it is read.
QPageLayout ReportPageLayout();

}  // namespace kymora::ui
