#include "host/ui/browser/html_window.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEngineView>

#include "host/com/text.h"
#include "host/ui/print_service.h"

// Under AddressSanitizer: the browser engine's library, which is not built with the sanitizer, frees some
// of its objects with another size than they were made with, by its own allocator's conventions; the
// sanitizer's size check on delete takes that for an error in the engine. A program that runs the engine
// turns that one check off; every other check stays. (Linked in with the browser windows.)
#if defined(__SANITIZE_ADDRESS__)
#define KYMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KYMORA_ASAN 1
#endif
#endif
#ifdef KYMORA_ASAN
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "new_delete_type_mismatch=0";
}
#endif

namespace kymora::ui {

namespace {
// The engine takes a page handed over in memory as an encoded address of at most 2 MB; a page whose
// encoding could come near that is read from a file instead.
constexpr qsizetype kInMemoryLimit = 1 << 20;

int gLoading = 0;

QString TitleOrDefault(const wchar_t* title) {
  return title && *title ? QString::fromWCharArray(title) : QStringLiteral("Kymora");
}
}  // namespace

int PagesLoading() { return gLoading; }

HtmlWindow::HtmlWindow(PrintService* printing) : mView(new QWebEngineView), mPrinting(printing) {
  // A page counts as loading from the moment it is handed over until the engine has shown it, so that a
  // picture of the window waits for the page.
  QObject::connect(mView, &QWebEngineView::loadFinished, mView, [this] { SetLoading(false); });
}

HtmlWindow::~HtmlWindow() {
  SetLoading(false);
  delete mView.data();
}

void HtmlWindow::SetLoading(bool loading) {
  if (loading != mLoading) gLoading += loading ? 1 : -1;
  mLoading = loading;
}

HRESULT HtmlWindow::GetWidget(QWidget** widget) {
  if (!widget) return E_POINTER;
  *widget = mView.data();
  return *widget ? S_OK : E_FAIL;
}

void HtmlWindow::Load(const QByteArray& bytes, const QString& mimeType, const QString& fileName) {
  SetLoading(true);
  if (bytes.size() < kInMemoryLimit) {
    mView->setContent(bytes, mimeType);
    return;
  }
  if (!mSpill) mSpill = std::make_unique<QTemporaryDir>();
  QFile file(mSpill->filePath(fileName));
  if (!mSpill->isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(bytes) != bytes.size()) {
    mView->setContent(QByteArrayLiteral("The page is too long to be shown."), QStringLiteral("text/plain"));
    return;
  }
  file.close();
  mView->load(QUrl::fromLocalFile(file.fileName()));
}

HRESULT HtmlWindow::Show(const wchar_t* content, const QString& mimeType, const QString& fileName) {
  if (!content) return E_POINTER;
  if (!mView) return E_FAIL;
  try {
    Load(QString::fromWCharArray(content).toUtf8(), mimeType, fileName);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT HtmlWindow::ShowPage(const wchar_t* html) {
  return Show(html, QStringLiteral("text/html;charset=UTF-8"), QStringLiteral("page.html"));
}

HRESULT HtmlWindow::ShowText(const wchar_t* text) {
  return Show(text, QStringLiteral("text/plain;charset=UTF-8"), QStringLiteral("page.txt"));
}

Status HtmlWindow::PrintOnto(QPrinter& printer) {
  if (!mView) return Error{"the window is closed"};
  QEventLoop loop;
  QObject::connect(mView, &QObject::destroyed, &loop, &QEventLoop::quit);
  if (mLoading) {
    // A page still loading (just handed over, after a change) would be printed blank.
    QObject::connect(mView, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
    loop.exec();
    if (!mView) return Error{"the window is closed"};
    QObject::disconnect(mView, &QWebEngineView::loadFinished, &loop, nullptr);
  }
  // The browser lays the page out for the printer's paper on its own threads and says when it is done.
  bool printed = false;
  QObject::connect(mView, &QWebEngineView::printFinished, &loop, [&](bool success) {
    printed = success;
    loop.quit();
  });
  mView->print(&printer);
  loop.exec();
  if (!printed) return Error{"the browser could not lay out the page"};
  return Ok();
}

HRESULT HtmlWindow::Print(const wchar_t* title) {
  if (!mPrinting) return E_NOTIMPL;
  ComPtr<IHtmlWindow> held(this);  // the view may let go of the window while the printer is busy
  try {
    return mPrinting->Print(TitleOrDefault(title), [this](QPrinter& printer) { return PrintOnto(printer); });
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT HtmlWindow::PrintPreview(const wchar_t* title) {
  if (!mPrinting) return E_NOTIMPL;
  ComPtr<IHtmlWindow> held(this);
  try {
    return mPrinting->Preview(TitleOrDefault(title), [this](QPrinter& printer) { return PrintOnto(printer); });
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT BrowserService::CreateHtmlWindow(IHtmlWindow** window) {
  if (!window) return E_POINTER;
  *window = nullptr;
  try {
    *window = MakeCom<HtmlWindow>(mPrinting).Detach();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace kymora::ui
