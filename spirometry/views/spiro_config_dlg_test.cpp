// The settings dialog as the user meets it through the document's Settings command: the lists and fields
// filled from the settings, the track bar kept with the detection level, out-of-range values refused, the
// preview's breaths following the edited level, and OK (only OK) changing what the document analyses.
#include "spirometry/views/spiro_config_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <functional>

#include "host/frame/host_document.h"
#include "host/ui/idialog_runner.h"
#include "spirometry/document/document_test_host.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/menus.h"
#include "spirometry/extension/test_host.h"
#include "spirometry/views/sp_preview.h"

using namespace Spirometry;

namespace {
// The desktop's dialog runner, with the test in the user's place.
class ScriptedRunner final : public ComObject<IDialogRunner> {
 public:
  std::function<int(QDialog*)> script;
  HRESULT RunModal(QDialog* dialog, std::int32_t* result) override {
    dialog->show();
    *result = script ? script(dialog) : kDialogRejected;
    if (dialog->isVisible()) dialog->done(*result);
    return S_OK;
  }
};

template <class W>
W* Find(QWidget* dialog, const char* id) {
  auto* w = dialog->findChild<W*>(QString::fromLatin1(id));
  if (!w) qFatal("no control %s", id);
  return w;
}

void Type(QWidget* dialog, const char* id, const QString& text) {
  auto* edit = Find<QLineEdit>(dialog, id);
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

void Press(QWidget* dialog, const char* id) { Find<QAbstractButton>(dialog, id)->click(); }

// The nearest table entry by brute force, a tie going to the higher position.
int NearestPosition(double level) {
  int best = 0;
  for (int k = 1; k < kDetectionPositions; ++k)
    if (std::fabs((k + 1) * 0.01 - level) <= std::fabs((best + 1) * 0.01 - level)) best = k;
  return best;
}
}  // namespace

class SpiroConfigDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    mRegistry = Spirometry::testing::InstallModuleClasses();
    IUnknown* docClass = FrameClassSlot(FrameClass::kDocument)();
    mRegistry->RegisterClassObject(docClass);
    docClass->Release();
    const auto recording = Spirometry::testing::MakeBreathingRecording(4, 1, 2);
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Raw flow");
    file->AddBlock(Spirometry::testing::BreathingRecording::kSecsPerTick,
                   static_cast<std::int64_t>(recording.flow.size()));
    file->SetSamples(0, 0, L"V", 0.5, recording.Volts());  // 1 % of the range: 0.2 L/s
    mMessages.clear();
    mHost = Spirometry::testing::MakeDocument(file, &mMessages);
    Spirometry::testing::PutCalculationWithKeys(*mHost, 1, L"SpFlow", {{L"source", L"1"}, {L"preset", L"3"}});
    Spirometry::testing::PutCalculationWithKeys(*mHost, 2, L"SpVol", {{L"source", L"2"}});
    Spirometry::testing::SelectRange(*mHost, {0, 0}, {static_cast<std::int32_t>(recording.flow.size()), 0});
    mRunner = MakeCom<ScriptedRunner>();
    mHost->Frame().SetServices(ComPtr<IUnknown>(static_cast<IDialogRunner*>(mRunner.Get())));
    // A new document asks for its settings (cancelled here); a script gives them.
    Doc();
    SpConfig values;
    values.FlowChannel = 1;
    values.VolumeChannel = 2;
    Spirometry::testing::SendSettingsMessage(*mHost, values);
    mMessages.clear();
  }
  void cleanup() { mHost.reset(); }

  void trackBarTakesTheNearestTableEntry() {
    for (double level : {0.0, 0.01, 0.015, 0.024, 0.025, 0.026, 1.0, 3.333, 9.995, 10.0, 12.0})
      QCOMPARE(DetectionLevelPosition(level), NearestPosition(level));
    for (int k = 0; k < kDetectionPositions; ++k) QCOMPARE(DetectionLevelPosition(DetectionLevelAt(k)), k);
  }

  // The fields start from the document's settings; a level out of range is refused and marked.
  void outOfRangeIsRefusedThenOkApplies() {
    bool refused = false;
    mRunner->script = [&](QDialog* d) {
      Expect(Find<QComboBox>(d, "108")->currentText() == QStringLiteral("Channel 2"), __LINE__);
      Expect(Find<QComboBox>(d, "109")->currentText() == QStringLiteral("Channel 3"), __LINE__);
      Expect(Find<QSlider>(d, "239")->value() == 99, __LINE__);  // the default 1 %
      Type(d, "103", QStringLiteral("12"));
      Expect(Find<QLabel>(d, "298")->text() == QStringLiteral("!"), __LINE__);
      Press(d, "1");
      refused = d->isVisible() && mMessages.size() == 1;
      Type(d, "103", QStringLiteral("0.05"));
      Expect(Find<QSlider>(d, "239")->value() == 4, __LINE__);
      Expect(Find<QLabel>(d, "298")->text().isEmpty(), __LINE__);
      Find<QComboBox>(d, "1209")->setCurrentIndex(1);  // mL/s
      Press(d, "1");
      return d->result();
    };
    Settings();
    QVERIFY(refused);
    QCOMPARE(mMessages.front().substr(0, 40), std::wstring(L"One or more settings are invalid and nee"));
    QCOMPARE(Doc().CurrentSettings().DetectionLevel, 0.05);
    QCOMPARE(Doc().CurrentSettings().FlowUnitsPrefix, 7);
  }

  // The preview follows the edited level a second after it last moved; only OK reaches the report.
  void previewFollowsTheLevelAndOkChangesTheReport() {
    QVERIFY(Doc().EnsureAnalysis(nullptr));
    const int before = Doc().Analysis().Count();
    QVERIFY(before > 0);
    int previewBefore = -1, previewAfter = -1;
    bool pending = false;
    for (bool ok : {false, true}) {
      mRunner->script = [&](QDialog* d) {
        auto* dialog = dynamic_cast<SpiroConfigDlg*>(d);
        previewBefore = static_cast<int>(dialog->Preview()->Breaths().size());
        Find<QSlider>(d, "239")->setValue(999);  // 10 %: above the tidal breaths' flow
        pending = dialog->PreviewPending();
        dialog->RefreshPreview();
        previewAfter = static_cast<int>(dialog->Preview()->Breaths().size());
        Press(d, ok ? "1" : "2");
        return d->result();
      };
      Settings();
      QCOMPARE(previewBefore, before);
      QVERIFY(pending);
      QVERIFY(previewAfter < previewBefore);
      QVERIFY(Doc().EnsureAnalysis(nullptr) || ok);
      QCOMPARE(Doc().Analysis().Count(), ok ? previewAfter : before);
      QCOMPARE(Doc().CurrentSettings().DetectionLevel, ok ? 10.0 : 1.0);
    }
  }

  // The noise floor is shown in the chosen units and kept in L/s; the automatic level is a choice too.
  void noiseFloorUnitsAndAutomaticLevel() {
    SpConfig values = Doc().CurrentSettings();
    values.NoiseFloor = 0.05;
    Spirometry::testing::SendSettingsMessage(*mHost, values);
    mRunner->script = [&](QDialog* d) {
      Expect(Find<QLineEdit>(d, "120")->text() == QStringLiteral("0.05"), __LINE__);
      Find<QComboBox>(d, "1209")->setCurrentIndex(0);  // µL/s
      Expect(Find<QLineEdit>(d, "120")->text() == QStringLiteral("50000"), __LINE__);
      Expect(Find<QLabel>(d, "1211")->text() == QStringLiteral("\u00B5L/s"), __LINE__);
      Press(d, "1210");
      Press(d, "auto");
      Expect(!Find<QLineEdit>(d, "103")->isEnabled(), __LINE__);
      Press(d, "1");
      return d->result();
    };
    Settings();
    const auto& s = Doc().CurrentSettings();
    QCOMPARE(s.FlowUnitsPrefix, 6);
    QCOMPARE(s.NoiseFloor, 0.05);
    QVERIFY(s.ApplyNoiseFloor);
    QVERIFY(s.AutoDetectionLevel);
  }

  // The standard's report section is a setting of the document: off until checked, then kept.
  void standardReportSectionIsASetting() {
    for (const bool on : {true, false}) {
      bool shown = false;
      mRunner->script = [&](QDialog* d) {
        auto* box = Find<QAbstractButton>(d, "standard");
        shown = box->isChecked();
        box->click();
        Press(d, "1");
        return d->result();
      };
      Settings();
      QCOMPARE(shown, !on);
      QCOMPARE(Doc().CurrentSettings().StandardReport, on);
      QCOMPARE(Doc().StandardReport(), on);
    }
  }

  void previewExpressionNamesTheFlowChannel() {
    QCOMPARE(PreviewExpressionText(0, 0.4), std::wstring(L"SPEEVol(SpVol(Ch1, 0, 0, 1), SPEEFlow(Ch1, 0.4))"));
  }

 private:
  SpiroDocument& Doc() {
    auto doc = mHost->Frame().Document(kSpiroDocumentGuid);
    if (!doc) qFatal("no spirometry document");
    return *SpiroDocument::FromUnknown(doc->Get());
  }
  // Runs the Settings command with the runner's script in the user's place.
  void Settings() {
    Doc();
    mFailedLines.clear();
    QCOMPARE(mHost->Frame().ExecuteCommand(kCommandSettings), S_OK);
    QVERIFY2(mFailedLines.isEmpty(),
             qPrintable(QStringLiteral("failed at line ") + mFailedLines.join(QLatin1Char(','))));
  }
  // A check inside a script (where QtTest's macros cannot return a value).
  void Expect(bool condition, int line) {
    if (!condition) mFailedLines << QString::number(line);
  }

  ComPtr<kymora::HostRegistry> mRegistry;
  std::unique_ptr<kymora::HostDocument> mHost;
  ComPtr<ScriptedRunner> mRunner;
  std::vector<std::wstring> mMessages;
  QStringList mFailedLines;
};

QTEST_MAIN(SpiroConfigDlgTest)
#include "spiro_config_dlg_test.moc"
