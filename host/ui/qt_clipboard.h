#pragma once
// The desktop's clipboard behind IClipboard: formats placed between Open and Close are collected into one
// QMimeData and handed to the system clipboard on Close. Unicode text becomes text/plain, "HTML Format"
// becomes text/html, pictures (IClipboardPicture) become image/svg+xml and image/png, a format registered
// under a MIME type's name goes out under that type, and any other registered name as
// application/x-kymora;value="NAME".
#include <QByteArray>
#include <QString>
#include <memory>

#include "host/com/com_object.h"
#include "host/frame/iclipboard.h"
#include "host/ui/iclipboard_picture.h"

class QMimeData;

namespace kymora::ui {

// The HTML that a clipboard "HTML Format" text carries: the part between its StartHTML and EndHTML
// offsets, or the whole text when its header is missing or its offsets do not fit.
QByteArray HtmlOfClipboardFormat(const QByteArray& text);
// The MIME type a registered format name is placed under.
QString MimeTypeOfFormat(const QString& name);

class QtClipboard final : public ComObject<IClipboard, IClipboardPicture> {
 public:
  QtClipboard();
  HRESULT RegisterFormat(const wchar_t* name, std::uint32_t* format) override;
  HRESULT Open(std::uintptr_t owner) override;
  HRESULT Empty() override;
  HRESULT SetData(std::uint32_t format, const void* bytes, std::uint32_t size) override;
  HRESULT Close() override;
  HRESULT SetPicture(IPrintout* drawing, std::int32_t width, std::int32_t height) override;

 private:
  ~QtClipboard() override;
  std::unique_ptr<QMimeData> mPending;
  bool mOpen = false;
  bool mEmptied = false;
};

}  // namespace kymora::ui
