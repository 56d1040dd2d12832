#include "host/ui/picture_clipboard.h"

#include <QBuffer>

#include "host/ui/printout_render.h"

namespace kymora::ui {

HRESULT PictureClipboard::SetPicture(IPrintout* drawing, std::int32_t width, std::int32_t height) {
  if (!drawing) return E_POINTER;
  if (width < 1 || width > 10000 || height < 1 || height > 10000) return E_INVALIDARG;
  try {
    const QSize size(width, height);
    const QByteArray svg = PrintoutSvg(drawing, size);
    const QImage image = PrintoutImage(drawing, size);
    if (svg.isEmpty() || image.isNull()) return E_FAIL;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return E_FAIL;
    std::uint32_t svgFormat = 0, pngFormat = 0;
    if (Failed(mInner->RegisterFormat(kSvgFormatName, &svgFormat)) ||
        Failed(mInner->RegisterFormat(kPngFormatName, &pngFormat)))
      return E_FAIL;
    const HRESULT hr = mInner->SetData(svgFormat, svg.constData(), static_cast<std::uint32_t>(svg.size()));
    return Failed(hr) ? hr : mInner->SetData(pngFormat, png.constData(), static_cast<std::uint32_t>(png.size()));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace kymora::ui
