#include "host/ui/qt_clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <cctype>

#include "host/frame/memory_clipboard.h"
#include "host/ui/printout_render.h"

namespace kymora::ui {

namespace {
constexpr std::int32_t kMaxPictureSide = 10000;

// The number after a header field ("StartHTML:00000097"), or -1.
qsizetype HeaderField(const QByteArray& text, const char* field) {
  const auto at = text.indexOf(field);
  if (at < 0) return -1;
  qsizetype value = 0, i = at + static_cast<qsizetype>(qstrlen(field));
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    value = value * 10 + (text[i] - '0');
  return value;
}
}  // namespace

QByteArray HtmlOfClipboardFormat(const QByteArray& text) {
  const auto start = HeaderField(text, "StartHTML:"), end = HeaderField(text, "EndHTML:");
  if (start < 0 || end < start || end > text.size()) return text;
  return text.mid(start, end - start);
}

QString MimeTypeOfFormat(const QString& name) {
  static const QRegularExpression mime(QStringLiteral("^[a-z]+/[A-Za-z0-9.+-]+$"));
  if (name == QLatin1String("HTML Format")) return QStringLiteral("text/html");
  if (mime.match(name).hasMatch()) return name;
  return QStringLiteral("application/x-kymora;value=\"%1\"").arg(name);
}

QtClipboard::QtClipboard() = default;
QtClipboard::~QtClipboard() = default;

HRESULT QtClipboard::RegisterFormat(const wchar_t* name, std::uint32_t* format) {
  if (!name || !format) return E_POINTER;
  *format = RegisterClipboardFormatName(name);
  return S_OK;
}

HRESULT QtClipboard::Open(std::uintptr_t) {
  if (mOpen) return E_FAIL;
  mOpen = true;
  mEmptied = false;
  mPending = std::make_unique<QMimeData>();
  return S_OK;
}

HRESULT QtClipboard::Empty() {
  if (!mOpen) return E_FAIL;
  mPending = std::make_unique<QMimeData>();
  mEmptied = true;
  return S_OK;
}

HRESULT QtClipboard::SetData(std::uint32_t format, const void* bytes, std::uint32_t size) {
  if (!mOpen) return E_FAIL;
  if (size && !bytes) return E_POINTER;
  const QByteArray data(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
  try {
    if (format == kClipboardUnicodeText) {
      auto text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
      if (const auto nul = text.indexOf(QChar(u'\0')); nul >= 0) text.truncate(nul);
      mPending->setText(text);
      return S_OK;
    }
    const auto name = QString::fromStdWString(ClipboardFormatName(format));
    if (name.isEmpty()) return E_INVALIDARG;
    if (name == QLatin1String("HTML Format")) {
      auto html = HtmlOfClipboardFormat(data);
      if (html.endsWith('\0')) html.chop(1);
      mPending->setHtml(QString::fromUtf8(html));
    } else {
      mPending->setData(MimeTypeOfFormat(name), data);
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT QtClipboard::SetPicture(IPrintout* drawing, std::int32_t width, std::int32_t height) {
  if (!mOpen) return E_FAIL;
  if (!drawing) return E_POINTER;
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return E_INVALIDARG;
  const QSize size(width, height);
  const QByteArray svg = PrintoutSvg(drawing, size);
  const QImage image = PrintoutImage(drawing, size);
  if (svg.isEmpty() || image.isNull()) return E_FAIL;
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return E_FAIL;
  mPending->setData(QStringLiteral("image/svg+xml"), svg);
  mPending->setData(QStringLiteral("image/png"), png);
  return S_OK;
}

HRESULT QtClipboard::Close() {
  if (!mOpen) return E_FAIL;
  mOpen = false;
  auto* clipboard = QGuiApplication::clipboard();
  if (!mPending->formats().isEmpty())
    clipboard->setMimeData(mPending.release());  // the clipboard takes it
  else if (mEmptied)
    clipboard->clear();
  mPending.reset();
  return S_OK;
}

}  // namespace kymora::ui
