// The report view in the desktop's browser engine (offscreen): the page the engine shows, its rebuild on
// the document's notifications, and printing it. The engine starts processes of its own and is slow to
// start; where it cannot run (as root without its sandbox turned off) the test says so and skips.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>
#include <algorithm>

#include "host/frame/document_events.h"
#include "host/frame/host_document.h"
#include "host/ui/browser/html_window.h"
#include "host/ui/dialog_runner.h"
#include "host/ui/iview_window.h"
#include "host/ui/print_service.h"
#include "spirometry/document/document_test_host.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/test_host.h"

using namespace Spirometry;

namespace {
constexpr std::int32_t kRaw = 0, kFlow = 1, kVolume = 2;
constexpr int kEngineWaitMs = 120000;  // the first page also starts the engine's processes

QString PlainText(QWebEngineView* view) {
  QString text;
  bool done = false;
  view->page()->toPlainText([&](const QString& t) {
    text = t;
    done = true;
  });
  if (!QTest::qWaitFor([&] { return done; }, kEngineWaitMs)) return {};
  return text;
}
}  // namespace

class ReportWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
      QSKIP("the browser engine does not run as root with its sandbox on (QTWEBENGINE_DISABLE_SANDBOX=1)");
  }

  void init() {
    mRegistry = Spirometry::testing::InstallModuleClasses();
    for (FrameClass c : {FrameClass::kDocument, FrameClass::kReportView})
      mRegistry->RegisterClassObject(ComPtr<IUnknown>::Attach(FrameClassSlot(c)()).Get());
    mRecording = Spirometry::testing::MakeBreathingRecording(3, 1, 2);
    const std::vector<float> volts = mRecording.Volts();
    const auto length = static_cast<std::int32_t>(volts.size());
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Raw flow");
    file->AddBlock(0.001, length);
    file->SetSamples(0, kRaw, L"V", 0.1, volts);
    file->AddBlock(0.001, 5000);
    file->SetSamples(1, kRaw, L"V", 0.1, std::vector<float>(5000, 0.0f));
    mHost = Spirometry::testing::MakeDocument(file);
    mHost->Frame().SetServices(ComPtr<IUnknown>(MakeCom<kymora::ui::BrowserService>(&mPrinting).Get()));
    QVERIFY(
        Spirometry::testing::PutCalculationWithKeys(*mHost, kFlow, L"SpFlow", {{L"source", L"1"}, {L"preset", L"3"}}));
    QVERIFY(Spirometry::testing::PutCalculationWithKeys(*mHost, kVolume, L"SpVol", {{L"source", L"2"}}));
    Spirometry::testing::SelectRange(*mHost, {0, 0}, {length, 0});
    mSettings.FlowChannel = kFlow;
    mSettings.VolumeChannel = kVolume;
    Spirometry::testing::SendSettingsMessage(*mHost, mSettings);
  }

  void cleanup() {
    mDialogs.SetInterceptor(nullptr);
    mHost.reset();
  }

  void pageFollowsTheDocument() {
    QWebEngineView* page = OpenReport();
    QVERIFY(page);
    // The recording's strongest expiration, in six significant digits.
    const double pef = -*std::min_element(mRecording.flow.begin(), mRecording.flow.end());
    QString text = PlainText(page);
    QCOMPARE(text.count(QStringLiteral("(forced)")), mRecording.forced);
    QVERIFY(text.contains(QStringLiteral("Flow Channel\t2")));
    QVERIFY(text.contains(QStringLiteral("Breaths\t%1 (").arg(mRecording.breaths)));
    QVERIFY(text.contains(QStringLiteral("PEF\t%1 L/s").arg(pef, 0, 'g', 6)));

    // The document's own notification (settings applied): volumes and flows now in millilitres.
    mSettings.FlowUnitsPrefix = 7;
    QVERIFY(Reloaded(page, [&] { Spirometry::testing::SendSettingsMessage(*mHost, mSettings); }));
    QVERIFY(PlainText(page).contains(QStringLiteral("PEF\t%1 mL/s").arg(pef * 1000, 0, 'g', 6)));

    // The host's notification (the selection changed): the message in place of the page.
    QVERIFY(Reloaded(page, [&] { Spirometry::testing::SelectRange(*mHost, {1000, 0}, {1000, 1}); }));
    QCOMPARE(PlainText(page).trimmed(), QStringLiteral("The selection is across multiple blocks."));
  }

  void printWritesThePageThroughThePrintDialog() {
    QWebEngineView* page = OpenReport();
    QVERIFY(page);
    QTemporaryDir folder;
    const QString pdf = QDir(folder.path()).filePath(QStringLiteral("report.pdf"));
    int dialogs = 0;
    mDialogs.SetInterceptor([&](QDialog* dialog) {
      ++dialogs;
      auto* print = qobject_cast<QPrintDialog*>(dialog);
      if (!print) return static_cast<int>(QDialog::Rejected);
      print->printer()->setOutputFormat(QPrinter::PdfFormat);
      print->printer()->setOutputFileName(pdf);
      return static_cast<int>(QDialog::Accepted);
    });
    QCOMPARE(mView->ExecuteCommand(HostCommands::kPrint), S_OK);
    QCOMPARE(dialogs, 1);
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-" && file.size() > 1000);
  }

 private:
  // Opens the report view and waits for its first page; null when the engine did not load it.
  QWebEngineView* OpenReport() {
    auto doc = mHost->Frame().Document(kSpiroDocumentGuid);
    if (!doc) return nullptr;
    auto view = mHost->Frame().OpenViewOf(kReportViewClassId, doc->Get());
    if (!view) return nullptr;
    mView = *view;
    ComPtr<IViewWindow> window = mView.As<IViewWindow>();
    QWidget* widget = nullptr;
    if (!window || Failed(window->GetWidget(&widget))) return nullptr;
    auto* page = qobject_cast<QWebEngineView*>(widget);
    if (!page) return nullptr;
    page->resize(800, 600);
    page->show();
    if (!QTest::qWaitFor([] { return kymora::ui::PagesLoading() == 0; }, kEngineWaitMs)) return nullptr;
    return page;
  }

  static bool Reloaded(QWebEngineView* page, const std::function<void()>& change) {
    QSignalSpy finished(page, &QWebEngineView::loadFinished);
    change();
    return finished.count() > 0 || finished.wait(kEngineWaitMs);
  }

  kymora::ui::DialogRunner mDialogs;
  kymora::ui::PrintService mPrinting{mDialogs};
  ComPtr<kymora::HostRegistry> mRegistry;
  std::unique_ptr<kymora::HostDocument> mHost;
  ComPtr<IDocView> mView;
  Spirometry::testing::BreathingRecording mRecording;
  SpConfig mSettings;
};

QTEST_MAIN(ReportWindowTest)
#include "report_window_test.moc"
