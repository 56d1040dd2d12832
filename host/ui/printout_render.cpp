#include "host/ui/printout_render.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include "host/com/text.h"

namespace kymora::ui {

HRESULT DrawPage(IPrintout* printout, std::int32_t page, QPainter& painter, const QRect& area, int dpiX, int dpiY) {
  if (!printout) return E_POINTER;
  const PrintArea printArea{area.left(), area.top(), area.width(), area.height(), dpiX, dpiY};
  painter.save();
  HRESULT hr = printout->PrintPage(page, &painter, &printArea);
  painter.restore();
  return hr;
}

QImage PrintoutImage(IPrintout* printout, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  image.fill(Qt::white);
  image.setDotsPerMeterX(3780);  // 96 dpi
  image.setDotsPerMeterY(3780);
  QPainter painter(&image);
  if (Failed(DrawPage(printout, 1, painter, QRect(QPoint(0, 0), size), 96, 96))) return {};
  return image;
}

QByteArray PrintoutSvg(IPrintout* printout, QSize size) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setResolution(96);
  std::wstring title;
  if (printout && Succeeded(printout->GetTitle(&title))) svg.setTitle(QString::fromStdWString(title));
  QPainter painter;
  if (!painter.begin(&svg)) return {};
  const HRESULT hr = DrawPage(printout, 1, painter, QRect(QPoint(0, 0), size), 96, 96);
  painter.end();
  return Failed(hr) ? QByteArray() : bytes;
}

Status PrintPages(IPrintout* printout, QPagedPaintDevice& device) {
  if (!printout) return Error{"nothing to print"};
  std::int32_t pages = 0;
  if (Failed(printout->GetPageCount(&pages)) || pages < 1) return Error{"the view gave no pages to print"};
  QPainter painter;
  if (!painter.begin(&device)) return Error{"the printer could not be started"};
  // The painter's origin is the top left of the paint rectangle on a paged device, and the device's size
  // is that rectangle's.
  const QRect target(0, 0, device.width(), device.height());
  for (std::int32_t page = 1; page <= pages; ++page) {
    if (page > 1 && !device.newPage()) return Error{"the printer refused a new page"};
    if (Failed(DrawPage(printout, page, painter, target, device.logicalDpiX(), device.logicalDpiY()))) {
      painter.end();
      return Error{"page " + std::to_string(page) + " could not be drawn"};
    }
  }
  if (!painter.end()) return Error{"the printer could not finish the job"};
  return Ok();
}

Status PrintoutPdf(IPrintout* printout, const std::string& path, const QPageLayout& layout) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return Error{path + ": " + file.errorString().toStdString()};
  {
    QPdfWriter writer(&file);
    writer.setPageLayout(layout);
    writer.setResolution(300);
    std::wstring title;
    if (printout && Succeeded(printout->GetTitle(&title))) writer.setTitle(QString::fromStdWString(title));
    writer.setCreator(QStringLiteral("Kymora"));
    auto printed = PrintPages(printout, writer);
    if (!printed) {
      file.cancelWriting();
      return Error{path + ": " + printed.ErrorMessage()};
    }
  }
  if (!file.commit()) return Error{path + ": " + file.errorString().toStdString()};
  return Ok();
}

}  // namespace kymora::ui
