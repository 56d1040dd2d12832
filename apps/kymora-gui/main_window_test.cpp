// The main window on Qt's offscreen platform, with the Spirometry extension loaded: bad input changes
// nothing, unsaved changes are asked about, calculations are put on channels, extension commands run.
#include "apps/kymora-gui/main_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "apps/kymora-gui/calculation_dialog.h"
#include "apps/kymora-gui/chart/chart_view.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/runtime.h"
#include "host/frame/extension_loader.h"
#include "host/frame/host_registry.h"

using namespace kymora;
using namespace kymora::gui;

namespace {
std::wstring Describe(HostDocument& doc, int channel) {
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  std::wstring text;
  if (doc.Data().GetChannelCalc(channel, calc.Put()) == S_OK && Succeeded(calc->GetSettings(settings.Put())))
    if (auto keys = settings.As<IKeyValueSettings>()) keys->Describe(&text);
  return text;
}
}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    HostRegistry::RegisterWithComponentLibrary();
    KymCoInitialize();
    LoadExtensions(KYMORA_EXTENSIONS_DIR);
    mRecording = mTemp.filePath(QStringLiteral("rec.csv"));
    std::ofstream csv(mRecording.toStdString());
    csv << "Time (s),Flow head (V)\n";
    for (int i = 0; i < 2000; ++i) csv << i * 0.001 << "," << (i % 100) * 0.001 << "\n";
  }

  void init() {
    mWindow = std::make_unique<MainWindow>(std::filesystem::path(mTemp.path().toStdString()));
    mMessages.clear();
    mAnswer = QMessageBox::NoButton;
    Intercept([](QDialog*) { return 0; });
    QVERIFY(mWindow->OpenFile(mRecording));
  }

  void cleanup() {
    Intercept([](QDialog*) { return 0; });
    mWindow.reset();
  }

  void refusedFileLeavesTheOpenDocument() {
    const QString broken = mTemp.filePath(QStringLiteral("broken.csv"));
    std::ofstream(broken.toStdString()) << "Time (s),A\n0,1\nzero,x\n";
    auto* before = mWindow->Document();
    QVERIFY(!mWindow->OpenFile(broken));
    QVERIFY(!mWindow->OpenFile(mTemp.filePath(QStringLiteral("missing.kymo"))));
    QCOMPARE(mMessages.size(), 2);
    QVERIFY(mMessages[0].contains(QStringLiteral("broken.csv")));
    QCOMPARE(mWindow->Document(), before);
    QCOMPARE(mWindow->FilePath(), mRecording);
    QCOMPARE(mWindow->Chart()->Content().channels.size(), std::size_t{1});
  }

  void unsavedChangesAreAskedAbout() {
    RenameChannel(QStringLiteral("Pressure"));
    QCOMPARE(mWindow->Chart()->Content().channels[0].title, std::wstring(L"Pressure"));
    QVERIFY(mWindow->IsModified());
    ClickInMessageBoxes(QMessageBox::Cancel);
    QVERIFY(!mWindow->close());
    QVERIFY(mWindow->Document());
    QVERIFY(mWindow->MaybeSave() == false);
    ClickInMessageBoxes(QMessageBox::No);
    QVERIFY(mWindow->close());
    QVERIFY(!mWindow->Document());
  }

  void failedSaveKeepsTheChanges() {
    const QString good = mTemp.filePath(QStringLiteral("saved.kymo"));
    QVERIFY(mWindow->SaveAs(good));
    QVERIFY(!mWindow->IsModified());
    RenameChannel(QStringLiteral("Renamed"));
    QVERIFY(!mWindow->SaveAs(mTemp.filePath(QStringLiteral("no/such/folder/x.kymo"))));
    QCOMPARE(mMessages.size(), 1);
    QVERIFY(mWindow->IsModified());
    QCOMPARE(mWindow->FilePath(), good);
    QVERIFY(!mWindow->SaveAs(mTemp.filePath(QStringLiteral("not-a-data-file.csv"))));
  }

  void calculationsGoOnChannelsOrNothingChanges() {
    auto& doc = *mWindow->Document();
    QVERIFY(RunCalculationDialog(1, QStringLiteral("Spirometry Flow"), QStringLiteral("source=1 preset=3")));
    QCOMPARE(doc.File().ChannelCount(), 2);
    QVERIFY(Describe(doc, 1).find(L"source=1 preset=3") == 0);
    QCOMPARE(mWindow->Chart()->Content().channels.size(), std::size_t{2});
    QCOMPARE(mWindow->Chart()->CurrentChannel(), 1);
    const auto before = Describe(doc, 1);

    struct Refused {
      int channel;
      QString settings;
    };
    const Refused refused[] = {
        {2, QStringLiteral("source=9")},   // the host refuses it: the new channel goes again
        {1, QStringLiteral("source=9")},   // refused on an existing channel: its calculation comes back
        {1, QStringLiteral("preset=99")},  // the calculation refuses the value
        {1, QStringLiteral("nonsense")},   // not KEY=VALUE: the dialog says so and stays open
    };
    for (const auto& r : refused) {
      mMessages.clear();
      RunCalculationDialog(r.channel, QStringLiteral("Spirometry Flow"), r.settings);
      QVERIFY2(mMessages.size() == 1, qPrintable(r.settings));
      QCOMPARE(doc.File().ChannelCount(), 2);
      QCOMPARE(Describe(doc, 1), before);
      float value = 0;
      QCOMPARE(doc.Data().GetSample(0x40001000, 0, 1, 50, &value), S_OK);  // the channel still computes
    }
    QVERIFY(RunCalculationDialog(1, QStringLiteral("None"), QString()));
    QVERIFY(Describe(doc, 1).empty());
  }

  // The readout under the mouse: the time, and each channel's sample there (the recording's sample i is
  // (i mod 100) / 1000 V).
  // Channel > Units Conversion: set on the recorded data, refused whole when unusable, removed again.
  void unitsConversionIsSetRefusedAndRemoved() {
    const UserConversion set{2.5, -1.0, L"L/s"};
    struct Case {
      QString scale, offset, units;
      bool remove;
      std::optional<UserConversion> after;
      bool warned;
    } cases[] = {
        {"2.5", "-1", "L/s", false, set, false},
        {"0", "0", "L/s", false, set, true},
        {"x", "0", "L/s", false, set, true},
        {"3", "0", "L/s", true, std::nullopt, false},
    };
    for (const auto& c : cases) {
      mMessages.clear();
      Intercept([&c](QDialog* d) {
        auto* scale = d->findChild<QLineEdit*>(QStringLiteral("scale"));
        if (!scale) return 0;
        scale->setText(c.scale);
        d->findChild<QLineEdit*>(QStringLiteral("offset"))->setText(c.offset);
        d->findChild<QLineEdit*>(QStringLiteral("units"))->setText(c.units);
        d->findChild<QCheckBox*>(QStringLiteral("remove"))->setChecked(c.remove);
        return 1;
      });
      mWindow->FindMenuAction(QStringLiteral("Channel>Units Conversion"))->trigger();
      QVERIFY(mWindow->Document()->File().blocks[0].channels[0].userConversion == c.after);
      QCOMPARE(mMessages.size(), c.warned ? 1 : 0);
    }
  }

  void cursorReadoutShowsTheSampleUnderTheMouse() {
    mWindow->resize(900, 500);
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    auto* chart = mWindow->Chart();
    const auto layout = chart->Layout();
    const int x = layout.traceLeft + layout.traceWidth / 4;
    QTest::mouseMove(chart, QPoint(x, layout.rows[0].top + 10));
    const double seconds = chart->View().SecondsAt(x - layout.traceLeft);
    const long tick = std::lround(seconds * 1000);
    const auto* readout = mWindow->findChild<QLabel*>(QStringLiteral("cursorText"));
    QVERIFY(readout);
    const QString expected = QStringLiteral("Ch1 %1 V").arg(QString::number((tick % 100) * 0.001, 'g', 6));
    QVERIFY2(readout->text().contains(expected), qPrintable(readout->text() + " / " + expected));
    QVERIFY(readout->text().startsWith(QStringLiteral("t = %1 s").arg(QString::number(seconds, 'f', 3))));
  }

  void extensionCommandsReachTheirDocument() {
    QVERIFY(mWindow->FindMenuAction(QStringLiteral("File>Export>Spirometry Report CSV File (*.csv)")));
    QAction* report = mWindow->FindMenuAction(QStringLiteral("Spirometry>Report"));
    QVERIFY(report);
    QCOMPARE(mWindow->FindMenuAction(QStringLiteral("Spirometry>Report View")), report);
    QVERIFY(!mWindow->FindMenuAction(QStringLiteral("Spirometry>Nothing")));
    QVERIFY(mWindow->FindMenuAction(QStringLiteral("Channel>Calculation...")));
    report->trigger();
    QCOMPARE(mWindow->Document()->Frame().Views().size(), std::size_t{1});
    for (const auto& m : mMessages) QVERIFY2(!m.contains(QStringLiteral("No document")), qPrintable(m));
  }

 private:
  void Intercept(std::function<int(QDialog*)> other) {
    mWindow->Services().Dialogs().SetInterceptor([this, other](QDialog* d) {
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        mMessages << box->text();
        if (auto* button = box->button(mAnswer)) button->click();
        return 0;
      }
      return other(d);
    });
  }

  void ClickInMessageBoxes(QMessageBox::StandardButton answer) { mAnswer = answer; }

  void RenameChannel(const QString& title) {
    Intercept([title](QDialog* d) {
      auto* input = qobject_cast<QInputDialog*>(d);
      if (!input) return 0;
      input->setTextValue(title);
      return 1;
    });
    mWindow->FindMenuAction(QStringLiteral("Channel>Title"))->trigger();
  }

  // Fills in Channel > Calculation... and presses OK (also in the calculation's own set-up dialog, which
  // must open for the extension's flow calculation); true when the dialog closed accepted.
  bool RunCalculationDialog(int channel, const QString& calculation, const QString& settings) {
    bool accepted = false;
    Intercept([&](QDialog* d) {
      auto* dialog = dynamic_cast<CalculationDialog*>(d);
      if (!dialog) {
        if (d->objectName() != QStringLiteral("SPIROMETRYFLOWSETUPDIALOG")) return 0;
        d->accept();
        return 1;
      }
      dialog->ChannelBox()->setCurrentIndex(channel);
      auto items = dialog->ClassList()->findItems(calculation, Qt::MatchStartsWith);
      if (items.isEmpty()) return 0;
      dialog->ClassList()->setCurrentItem(items.front());
      dialog->SettingsEdit()->setText(settings);
      dialog->accept();
      accepted = !dialog->isVisible() && dialog->result() == QDialog::Accepted;
      return accepted ? 1 : 0;
    });
    mWindow->FindMenuAction(QStringLiteral("Channel>Calculation"))->trigger();
    return accepted;
  }

  QTemporaryDir mTemp;
  QString mRecording;
  std::unique_ptr<MainWindow> mWindow;
  QStringList mMessages;
  QMessageBox::StandardButton mAnswer = QMessageBox::NoButton;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
