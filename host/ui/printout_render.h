#pragma once
// Drawing printouts onto Qt devices: one page into an image, an SVG picture, a PDF file or a printer. The
// print service, the print preview, the clipboard's pictures and the command line's picture files all
// draw through these.
#include <QByteArray>
#include <QImage>
#include <QPageLayout>
#include <QRect>
#include <string>

#include "host/com/expected.h"
#include "host/ui/iprintout.h"

class QPagedPaintDevice;
class QPainter;

namespace kymora::ui {

// Draws one page into an active painter; fails with the printout's failure.
HRESULT DrawPage(IPrintout* printout, std::int32_t page, QPainter& painter, const QRect& area, int dpiX, int dpiY);

// Page 1 on a white image of the size at 96 dpi; a null image when the printout fails.
QImage PrintoutImage(IPrintout* printout, QSize size);
// Page 1 as an SVG document of the size; empty when the printout fails.
QByteArray PrintoutSvg(IPrintout* printout, QSize size);

// Every page onto a paged device (printer, PDF writer) whose painter the caller has not begun. Each page is
// drawn into the device's paint rectangle at the device's resolution.
Status PrintPages(IPrintout* printout, QPagedPaintDevice& device);

// Every page into a PDF file, written beside the path and renamed into place when complete, so that a
// failure leaves whatever was at the path as it was.
Status PrintoutPdf(IPrintout* printout, const std::string& path, const QPageLayout& layout);

}  // namespace kymora::ui
