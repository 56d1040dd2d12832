#pragma once
// The desktop's browser windows: a page held in memory shown by the browser engine, printed through the
// host's print service (its printer, page set-up and dialogs).
#include <QPointer>
#include <QWebEngineView>
#include <memory>

#include "host/com/com_object.h"
#include "host/com/expected.h"
#include "host/ui/ibrowser_service.h"
#include "host/ui/ihtml_window.h"

class QByteArray;
class QPrinter;
class QString;
class QTemporaryDir;

namespace kymora::ui {

class PrintService;

class HtmlWindow final : public ComObject<IHtmlWindow> {
 public:
  // printing: where Print and Print Preview go; without it they are not offered (E_NOTIMPL).
  explicit HtmlWindow(PrintService* printing);

  HRESULT GetWidget(QWidget** widget) override;
  HRESULT ShowPage(const wchar_t* html) override;
  HRESULT ShowText(const wchar_t* text) override;
  HRESULT Print(const wchar_t* title) override;
  HRESULT PrintPreview(const wchar_t* title) override;

  QWebEngineView* View() const { return mView.data(); }

 private:
  ~HtmlWindow() override;
  // Hands the content over as a page of the type (E_POINTER for none, E_FAIL once the window is closed).
  HRESULT Show(const wchar_t* content, const QString& mimeType, const QString& fileName);
  void Load(const QByteArray& bytes, const QString& mimeType, const QString& fileName);
  Status PrintOnto(QPrinter& printer);
  void SetLoading(bool loading);

  QPointer<QWebEngineView> mView;
  PrintService* mPrinting;
  std::unique_ptr<QTemporaryDir> mSpill;  // where a page too long to hand over in memory is put
  bool mLoading = false;
};

class BrowserService final : public ComObject<IBrowserService> {
 public:
  explicit BrowserService(PrintService* printing) : mPrinting(printing) {}
  HRESULT CreateHtmlWindow(IHtmlWindow** window) override;

 private:
  PrintService* mPrinting;
};

// The number of browser windows whose page is still loading (a picture of the screen waits for none).
int PagesLoading();

}  // namespace kymora::ui
