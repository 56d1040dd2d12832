// The desktop services on Qt's offscreen platform: view windows, timers, the clipboard, PDF output, message
// boxes and help.
#include <QAbstractButton>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <fstream>

#include "host/frame/document_events.h"
#include "host/frame/host_document.h"
#include "host/ui/desktop_services.h"
#include "host/ui/iview_window.h"
#include "host/ui/message_box.h"
#include "host/ui/qt_clipboard.h"

using namespace kymora;

namespace {
constexpr Guid kViewClass = Guid::Parse("{22222222-0000-0000-0000-0000000000A1}");

// A view with a window, as an extension writes one: it owns its widget and deletes it in Close.
class WindowView final : public ComObject<IDocView, IViewWindow> {
 public:
  QPointer<QWidget> widget = new QWidget;
  int closes = 0;
  HRESULT Setup() override { return S_OK; }
  HRESULT OnEvent(const Guid&, std::int32_t) override { return S_FALSE; }
  HRESULT ExecuteCommand(std::uint32_t) override { return S_FALSE; }
  HRESULT GetCommandText(std::uint32_t, std::wstring*) override { return S_FALSE; }
  HRESULT GetPreferredSize(std::int32_t* w, std::int32_t* h) override {
    *w = 300;
    *h = 200;
    return S_OK;
  }
  HRESULT Close() override {
    ++closes;
    // The host has taken the widget out of its sub-window by now.
    parentedAtClose = widget && widget->parentWidget() != nullptr;
    delete widget.data();
    return S_OK;
  }
  HRESULT GetWidget(QWidget** w) override {
    *w = widget;
    return widget ? S_OK : E_FAIL;
  }
  HRESULT GetTitle(std::wstring* title) override {
    *title = L"A view";
    return S_OK;
  }
  bool parentedAtClose = false;
};

class WindowViewClass final : public ComObject<IDocViewClass> {
 public:
  ComPtr<WindowView> last;
  HRESULT GetViewInfo(Guid* id, std::wstring* name, Guid* category) override {
    *id = kViewClass;
    *name = L"A view";
    *category = Guid{};
    return S_OK;
  }
  HRESULT CreateView(ICustomDocument*, IHostDocument*, IDocView** view) override {
    last = MakeCom<WindowView>();
    return last.CopyTo(reinterpret_cast<WindowView**>(view)) == S_OK ? S_OK : E_FAIL;
  }
};

// Draws a black rectangle over the left half of the area, or fails.
class HalfPrintout final : public ComObject<IPrintout> {
 public:
  explicit HalfPrintout(bool fail = false) : mFail(fail) {}
  HRESULT GetTitle(std::wstring* t) override {
    *t = L"Half";
    return S_OK;
  }
  HRESULT GetPageCount(std::int32_t* n) override {
    *n = 2;
    return S_OK;
  }
  HRESULT PrintPage(std::int32_t, QPainter* p, const PrintArea* a) override {
    if (mFail) return E_FAIL;
    p->fillRect(QRect(a->left, a->top, a->width / 2, a->height), Qt::black);
    return S_OK;
  }

 private:
  bool mFail;
};

class Sink final : public ComObject<ITimerSink> {
 public:
  std::function<void(std::uint32_t)> onTimer;
  int fired = 0;
  HRESULT OnTimer(std::uint32_t id) override {
    ++fired;
    if (onTimer) onTimer(id);
    return S_OK;
  }
};

std::unique_ptr<HostDocument> SmallDocument() {
  auto file = std::make_shared<DataFile>();
  file->AddChannel(L"A");
  file->AddBlock(0.001, 10);
  file->SetSamples(0, 0, L"V", 1, Samples(10, 0.5f));
  return HostDocument::FromFile(file, "small.kymo", nullptr, nullptr);
}
}  // namespace

class UiServicesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    mArea = new QMdiArea;
    mServices = MakeCom<ui::DesktopServices>(mArea, mArea, std::filesystem::path(mTemp.path().toStdString()));
    mRegistry = MakeCom<HostRegistry>();
    HostRegistry::Install(mRegistry);
    mViewClass = MakeCom<WindowViewClass>();
    mRegistry->RegisterClassObject(mViewClass.Get());
    mDoc = SmallDocument();
    mDoc->Frame().SetServices(ComPtr<IUnknown>(static_cast<IViewHost*>(mServices.Get())));
    mServices->Attach(&mDoc->Frame());
  }

  void cleanup() {
    mServices->Attach(nullptr);
    mDoc.reset();
    mServices.Reset();
    delete mArea;
    HostRegistry::Install(nullptr);
  }

  // The widget belongs to the view: whoever closes the view, the view deletes the widget, out of its
  // sub-window, exactly once.
  void viewWindowsCloseEveryWay() {
    for (int way = 0; way < 4; ++way) {
      QVERIFY(mDoc->Frame().OpenViewOf(kViewClass, nullptr).HasValue());
      auto view = mViewClass->last;
      auto* sub = mServices->Views().SubWindowOf(view.Get());
      QVERIFY(sub);
      QCOMPARE(sub->widget(), view->widget.data());
      QCOMPARE(sub->windowTitle(), QStringLiteral("A view"));
      QCOMPARE(mServices->Views().ActiveView(), view.Get());
      ComPtr<IViewHost> host;
      mDoc->Frame().QueryInterface(IViewHost::kIid, host.PutVoid());
      QVERIFY(host);
      QCOMPARE(host->SetViewTitle(view.Get(), L"Renamed"), S_OK);
      QCOMPARE(sub->windowTitle(), QStringLiteral("Renamed"));
      QPointer<QMdiSubWindow> watch = sub;
      switch (way) {
        case 0:
          sub->close();
          break;  // the user
        case 1:
          mDoc->Frame().CloseView(view.Get());
          break;  // the frame
        case 2:
          QCOMPARE(host->CloseView(view.Get()), S_OK);
          break;  // the view asks, from the event loop
        case 3:
          mServices->Attach(nullptr);
          mDoc->Frame().Shutdown();
          break;  // the document closes
      }
      QTRY_VERIFY(watch.isNull());
      QCOMPARE(view->closes, 1);
      QVERIFY(!view->parentedAtClose);
      QVERIFY(view->widget.isNull());
      QVERIFY(mDoc->Frame().Views().empty());
      QCOMPARE(host->SetViewTitle(view.Get(), L"x"), S_FALSE);  // no window any more
    }
  }

  void timersFireAndStop() {
    auto once = MakeCom<Sink>(), repeat = MakeCom<Sink>(), killer = MakeCom<Sink>();
    std::uint32_t a = 0, b = 0, c = 0;
    QCOMPARE(mServices->SetTimer(once.Get(), 1, kFalse16, &a), S_OK);
    QCOMPARE(mServices->SetTimer(repeat.Get(), 1, kTrue16, &b), S_OK);
    killer->onTimer = [&](std::uint32_t id) { mServices->KillTimer(id); };  // stops itself from inside
    QCOMPARE(mServices->SetTimer(killer.Get(), 1, kTrue16, &c), S_OK);
    QVERIFY(a != 0 && b != 0 && c != 0 && a != b && b != c);
    QTRY_VERIFY(repeat->fired >= 3);
    QCOMPARE(once->fired, 1);
    QCOMPARE(killer->fired, 1);
    QCOMPARE(mServices->KillTimer(a), S_FALSE);  // a single shot is gone once fired
    QCOMPARE(mServices->KillTimer(b), S_OK);
    const int after = repeat->fired;
    QTest::qWait(20);
    QCOMPARE(repeat->fired, after);
    std::uint32_t d = 0;
    QCOMPARE(mServices->SetTimer(repeat.Get(), 1, kTrue16, &d), S_OK);
    mServices->Attach(nullptr);  // closing the document stops its timers
    QTest::qWait(20);
    QCOMPARE(repeat->fired, after);
    QCOMPARE(mServices->SetTimer(nullptr, 1, kFalse16, &d), E_INVALIDARG);
  }

  void clipboardPlacesTextHtmlAndPictures() {
    auto clipboard = MakeCom<ui::QtClipboard>();
    QCOMPARE(clipboard->SetData(kClipboardUnicodeText, u"x", 4), E_FAIL);  // not open
    QCOMPARE(clipboard->Open(0), S_OK);
    QCOMPARE(clipboard->Open(0), E_FAIL);
    clipboard->Empty();
    const std::u16string text = u"Report \u00b5L";
    clipboard->SetData(kClipboardUnicodeText, text.c_str(), static_cast<std::uint32_t>((text.size() + 1) * 2));
    std::uint32_t html = 0;
    clipboard->RegisterFormat(L"HTML Format", &html);
    const std::string cf = "Version:0.9\r\nStartHTML:00000051\r\nEndHTML:00000062\r\n<p>flow</p>trailing";
    QCOMPARE(clipboard->SetData(html, cf.data(), static_cast<std::uint32_t>(cf.size())), S_OK);
    auto drawing = MakeCom<HalfPrintout>();
    QCOMPARE(clipboard->SetPicture(drawing.Get(), 0, 10), E_INVALIDARG);
    QCOMPARE(clipboard->SetPicture(drawing.Get(), 40, 20), S_OK);
    QCOMPARE(clipboard->Close(), S_OK);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QCOMPARE(data->text(), QStringLiteral("Report \u00b5L"));
    QCOMPARE(data->html(), QStringLiteral("<p>flow</p>"));
    QVERIFY(data->data(QStringLiteral("image/svg+xml")).contains("<svg"));
    const QImage png = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
    QCOMPARE(png.size(), QSize(40, 20));
    QCOMPARE(QColor(png.pixel(5, 10)), QColor(Qt::black));  // the drawing's left half
    QCOMPARE(QColor(png.pixel(35, 10)), QColor(Qt::white));
  }

  void pdfIsWrittenWholeOrNotAtAll() {
    const QString path = mTemp.filePath(QStringLiteral("out.pdf"));
    auto good = MakeCom<HalfPrintout>(), bad = MakeCom<HalfPrintout>(true);
    QCOMPARE(mServices->PrintToPdf(good.Get(), path.toStdWString().c_str()), S_OK);
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    pdf.close();
    QVERIFY(bytes.startsWith("%PDF"));
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "),
             2);  // two pages
    QCOMPARE(mServices->PrintToPdf(bad.Get(), path.toStdWString().c_str()), E_FAIL);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.readAll(), bytes);  // the earlier file is untouched
  }

  void messageBoxAnswersTheButtonChosen() {
    auto& runner = mServices->Dialogs();
    runner.SetInterceptor([](QDialog* d) {
      auto* box = qobject_cast<QMessageBox*>(d);
      box->button(QMessageBox::No)->click();
      return 0;
    });
    QCOMPARE(ui::ShowMessageBox(runner, L"Save?", L"Kymora", 0x23), ui::Answer::kNo);
    runner.SetInterceptor([](QDialog*) { return 0; });  // closed without a button
    QCOMPARE(ui::ShowMessageBox(runner, L"Save?", L"Kymora", 0x23), ui::Answer::kCancel);
    QCOMPARE(ui::ShowMessageBox(runner, L"Go?", L"Kymora", 0x24), ui::Answer::kNo);
    runner.SetInterceptor(nullptr);
  }

  void helpShowsTopicsOrTheIndex() {
    const auto root = std::filesystem::path(mTemp.path().toStdString()) / "Topics";
    std::filesystem::create_directories(root);
    std::ofstream(root / "index.html") << "<html><body>Index</body></html>";
    std::ofstream(root / "Spiro_Data.html") << "<html><body>Data</body></html>";
    QCOMPARE(mServices->ShowHelp(L"Topics", L"Spiro_Data"), S_OK);
    auto* browser = qobject_cast<QTextBrowser*>(mServices->Help().Window());
    QVERIFY(browser);
    QVERIFY(browser->source().toLocalFile().endsWith(QStringLiteral("Spiro_Data.html")));
    QCOMPARE(mServices->ShowHelp(L"Topics", L"Missing"), S_FALSE);
    QVERIFY(browser->source().toLocalFile().endsWith(QStringLiteral("index.html")));
    QCOMPARE(mServices->ShowHelp(L"Nothing", L"x"), E_INVALIDARG);
  }

 private:
  QTemporaryDir mTemp;
  QMdiArea* mArea = nullptr;
  ComPtr<ui::DesktopServices> mServices;
  ComPtr<HostRegistry> mRegistry;
  ComPtr<WindowViewClass> mViewClass;
  std::unique_ptr<HostDocument> mDoc;
};

QTEST_MAIN(UiServicesTest)
#include "ui_services_test.moc"
