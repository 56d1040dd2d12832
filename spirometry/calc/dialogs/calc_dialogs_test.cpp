// The flow and volume set-up dialogs and the flow head calibration, driven as a user would: typing into
// the edits, choosing from the lists and pressing OK or Cancel, on a host over a small recording.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>

#include "host/calc/ichannel_calc.h"
#include "host/frame/host_document.h"
#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/calc/dialogs/flow_cal_dlg.h"
#include "spirometry/calc/dialogs/sp_flow_dlg.h"
#include "spirometry/calc/dialogs/sp_vol_dlg.h"
#include "spirometry/calc/dialogs/ventilation_dlgs.h"
#include "spirometry/calc/sp_flow.h"
#include "spirometry/extension/test_host.h"

using namespace Spirometry;

namespace {
constexpr double kSecsPerTick = 0.001;
constexpr std::int32_t kRaw = 0, kFlow = 1;  // a constant 2 V; 1.5 L in, then 2 L out (L/s)

// Channel 0: 2 V throughout. Channel 1: 1.5 L inspired over the first second, 2 L expired over the next
// two. A second block of the same.
std::shared_ptr<kymora::DataFile> Recording() {
  auto file = std::make_shared<kymora::DataFile>();
  file->AddChannel(L"Raw flow");
  file->AddChannel(L"");
  const std::int64_t n = 3000;
  std::vector<float> volts(n, 2.0f), flow(n);
  for (std::int64_t i = 0; i < n; ++i) flow[static_cast<std::size_t>(i)] = i < 1000 ? 1.5f : -1.0f;
  for (int b = 0; b < 2; ++b) {
    file->AddBlock(kSecsPerTick, n);
    file->SetSamples(b, kRaw, L"V", 5.0, volts);
    file->SetSamples(b, kFlow, L"L/s", 2.0, flow);
  }
  return file;
}

template <class W>
W* Find(QWidget* dialog, const char* id) {
  auto* w = dialog->findChild<W*>(QString::fromLatin1(id));
  if (!w) qFatal("no control %s", id);
  return w;
}

void Type(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

void Press(QWidget* dialog, const char* id) { Find<QAbstractButton>(dialog, id)->click(); }
}  // namespace

class CalcDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    mRegistry = testing::InstallModuleClasses();
    mMessages.clear();
    mDoc = testing::MakeDocument(Recording(), &mMessages);
    Select({0, 0}, {500, 0});
  }
  void cleanup() { mDoc.reset(); }

  // Formula and information text as the flow-head table and the output prefix make them.
  void flowFormulaFollowsHeadAndPrefix() {
    struct Case {
      int head;
      bool nonLinear;
      std::int32_t prefix;
      QString formula, information;
      bool boxEnabled;
    } cases[] = {
        {2, true, 8, QStringLiteral("Final formula: Flow (L/s) = 11.79 x V x ( 1 \u00B1 0.37 x voltage)"),
         QStringLiteral("Head scale = 11.79\nNon-linear compensation = 0.37"), true},
        {2, false, 8, QStringLiteral("Final formula: Flow (L/s) = 11.79 x V  "), {}, true},
        {3, true, 7, QStringLiteral("Final formula: Flow (mL/s) = 40100 x V  "),
         QStringLiteral("Head scale = 40.1\nNon-linear compensation = N/A"), false},
        {0, false, 6, QStringLiteral("Final formula: Flow (\u00B5L/s) = 80000 x V  "), {}, false},
    };
    for (const auto& c : cases) {
      auto settings = MakeCom<SpFlowSettings>();
      settings->mOutputUnitsPrefix = c.prefix;
      settings->mApplyNonLinear = c.nonLinear;
      SpFlowDlg dialog(&mDoc->Frame(), 2, *settings);
      Find<QComboBox>(&dialog, "106")->setCurrentIndex(c.head);
      QCOMPARE(Find<QLabel>(&dialog, "108")->text(), c.formula);
      QCOMPARE(Find<QCheckBox>(&dialog, "107")->isEnabled(), c.boxEnabled);
      if (!c.information.isEmpty()) QCOMPARE(dialog.InformationText(), c.information);
    }
  }

  // OK writes what was chosen, and the calculation takes it; Cancel leaves the settings alone.
  void flowOkAppliesCancelChangesNothing() {
    for (bool ok : {true, false}) {
      auto settings = MakeCom<SpFlowSettings>();
      settings->mRawFlowChannel = kRaw;
      settings->mHeadScale = 40.1;
      SpFlowDlg dialog(&mDoc->Frame(), 2, *settings);
      dialog.show();
      Find<QComboBox>(&dialog, "106")->setCurrentIndex(4);
      Press(&dialog, "103");
      Press(&dialog, ok ? "1" : "2");
      QCOMPARE(settings->mPresetIndex, ok ? 4 : kDefaultFlowHeadPreset);
      QCOMPARE(settings->mDriftCorrection, ok);
      QCOMPARE(settings->mHeadScale, ok ? 38.0 : 40.1);
      QVERIFY(!settings->mUseCustomHeadScale);
    }
    auto calc = PutCalculation(2, L"SpFlow");
    auto settings = MakeCom<SpFlowSettings>();
    SpFlowDlg dialog(&mDoc->Frame(), 2, *settings);
    dialog.show();
    Find<QComboBox>(&dialog, "101")->setCurrentIndex(kRaw);
    Press(&dialog, "1");
    QCOMPARE(settings->mRawFlowChannel, kRaw);
    QCOMPARE(calc->ApplySettings(settings.Get(), kTrue16), S_OK);
  }

  // Closing: a conversion of the user on any block of the source earns one warning, units other than volts on
  // any block another; the dialog closes and keeps its settings either way.
  void flowClosingWarnsAboutConversionAndUnits() {
    const std::wstring converted = L"A units conversion has been applied to the flow data channel.";
    const std::wstring notVolts = L"The flow data channel is not recorded in volts.";
    struct Case {
      std::vector<int> convertedBlocks;
      const wchar_t* block0Units;
      std::vector<std::wstring> warnings;  // how each message begins, in order
    } cases[] = {
        {{}, L"V", {}},
        {{1}, L"mV", {converted}},
        {{0, 1}, L"V", {converted}},
        {{0}, L"cmH2O", {converted, notVolts}},
        {{}, L"kPa", {notVolts}},
    };
    for (const auto& c : cases) {
      init();
      for (int b : c.convertedBlocks)
        mDoc->File().blocks[b].channels[kRaw].userConversion = kymora::UserConversion{12.5, 0.0, L"L/s"};
      mDoc->File().blocks[0].channels[kRaw].units = c.block0Units;
      auto settings = MakeCom<SpFlowSettings>();
      SpFlowDlg dialog(&mDoc->Frame(), 2, *settings);
      dialog.show();
      Find<QComboBox>(&dialog, "101")->setCurrentIndex(kRaw);
      Press(&dialog, "1");
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(settings->mRawFlowChannel, kRaw);
      QCOMPARE(mMessages.size(), c.warnings.size());
      for (std::size_t i = 0; i < c.warnings.size(); ++i) QVERIFY(mMessages[i].starts_with(c.warnings[i]));
      cleanup();
    }
  }

  // "Custom..." runs the calibration: its head scale on OK, the preset chosen before on Cancel.
  void flowCustomHeadComesFromCalibration() {
    for (bool calibrated : {true, false}) {
      auto settings = MakeCom<SpFlowSettings>();
      settings->mPresetIndex = 1;
      settings->mHeadScale = 0.72;
      SpFlowDlg dialog(&mDoc->Frame(), 2, *settings);
      dialog.SetCalibration([calibrated](std::int32_t channel, double* scale) {
        if (channel != kRaw) return false;
        *scale = 33.3;
        return calibrated;
      });
      Find<QComboBox>(&dialog, "101")->setCurrentIndex(kRaw);
      auto* head = Find<QComboBox>(&dialog, "106");
      head->setCurrentIndex(5);
      QCOMPARE(head->currentIndex(), calibrated ? 5 : 1);
      QCOMPARE(dialog.HeadScaleOnShow(), calibrated ? 33.3 : 0.72);
      dialog.accept();
      QCOMPARE(settings->mUseCustomHeadScale, calibrated);
      QCOMPARE(settings->mHeadScale, calibrated ? 33.3 : 0.72);
      QCOMPARE(settings->mPresetIndex, calibrated ? 5 : 1);
    }
  }

  // A constant 2 V over 0.5 s at 1 kHz integrates to 499 x 0.002 V s; the head scale is the volume over it.
  void calibrationDividesVolumeByIntegral() {
    const double integral = 499 * 0.002;
    struct Case {
      std::int32_t prefix;
      QString volume;
      double headScale;
      QString scaleText;
    } cases[] = {
        {8, QStringLiteral("3"), 3 / integral, QStringLiteral("3.006")},
        {7, QStringLiteral("3000"), 3 / integral, QStringLiteral("3006")},
        {8, QStringLiteral("12"), 12 / integral, QStringLiteral("12.024")},
    };
    for (const auto& c : cases) {
      double scale = 40.1;
      FlowCalDlg dialog(&mDoc->Frame(), kRaw, 2, &scale, c.prefix);
      QVERIFY(dialog.SelectionValid());
      Type(dialog.VolumeEdit(), c.volume);
      QVERIFY(std::fabs(scale / c.headScale - 1.0) < 1e-5);
      QCOMPARE(dialog.HeadScaleEdit()->text(), c.scaleText);
      QCOMPARE(Dialogs::IsMarkedInvalid(dialog.VolumeEdit()), c.volume == QStringLiteral("12"));
    }
    // A head scale out of range is marked, and still gives the volume.
    double scale = 1.0;
    FlowCalDlg dialog(&mDoc->Frame(), kRaw, 2, &scale, 8);
    Type(dialog.HeadScaleEdit(), QStringLiteral("150"));
    QVERIFY(Dialogs::IsMarkedInvalid(dialog.HeadScaleEdit()));
    QCOMPARE(dialog.VolumeEdit()->text(), QStringLiteral("149.7"));
    QCOMPARE(scale, 150.0);
  }

  // The sample recording's syringe stroke (3 L, block 2) gives back the head scale it was made with.
  void calibrationOnTheSampleStroke() {
    auto sample = kymora::HostDocument::Open(KYMORA_SAMPLES_DIR "/spirometry_demo.csv", {}, nullptr, nullptr);
    QVERIFY(sample);
    auto& doc = **sample;
    kymora::Selection stroke;
    stroke.valid = true;
    stroke.start = {750, 1};
    stroke.end = {2750, 1};
    doc.SetSelection(stroke);
    double scale = 1.0;
    FlowCalDlg dialog(&doc.Frame(), kRaw, 2, &scale, 8);
    Type(dialog.VolumeEdit(), QStringLiteral("3"));
    QVERIFY2(std::fabs(scale / 40.1 - 1.0) < 0.01, qPrintable(QString::number(scale)));
  }

  void calibrationNeedsOneBlock() {
    Select({0, 0}, {500, 1});
    double scale = 40.1;
    FlowCalDlg dialog(&mDoc->Frame(), kRaw, 2, &scale, 8);
    QVERIFY(!dialog.VolumeEdit()->isEnabled());
    QCOMPARE(dialog.Status()->text(), QStringLiteral("The selected range must all be within a single block."));
    QCOMPARE(dialog.HeadScaleEdit()->text(), QStringLiteral("40.1"));
  }

  // The ratio from the selection; a dead space out of range refused only while the correction is on.
  void volumeRatioFromSelectionAndRanges() {
    Select({0, 0}, {3000, 0});
    auto settings = MakeCom<SpVolSettings>();
    settings->mFlowChannel = kFlow;
    settings->mVolumeCorrection = true;
    SpVolDlg dialog(&mDoc->Frame(), 2, *settings);
    dialog.show();
    Type(Find<QLineEdit>(&dialog, "106"), QStringLiteral("150"));
    Press(&dialog, "132");
    // Full expiration: what is expired beyond the dead space over what was inspired less the dead space.
    QVERIFY(dialog.CalculatedRatio());
    QVERIFY(std::fabs(*dialog.CalculatedRatio() - 1.85 / 1.35) < 0.01);
    Press(&dialog, "110");
    Type(Find<QLineEdit>(&dialog, "106"), QStringLiteral("20000"));
    Press(&dialog, "1");
    QVERIFY(dialog.isVisible());
    QCOMPARE(mMessages.back(), std::wstring(L"Value must be in range 0 to 10000."));
    QCOMPARE(settings->mDeadSpace, kDefaultDeadSpace);
    mMessages.clear();
    Press(&dialog, "103");
    Press(&dialog, "1");
    QVERIFY(!dialog.isVisible());
    QVERIFY(mMessages.empty());
    QCOMPARE(settings->mDeadSpace, kDefaultDeadSpace);  // accepted, but not a value the calculation takes
    QVERIFY(std::fabs(settings->mVolumeRatio - 1.85 / 1.35) < 0.01);
    QCOMPARE(settings->mCorrectionType, 1);
    QVERIFY(!settings->mVolumeCorrection);
  }

  void volumeRatioNeedsSelectionAndSensibleValue() {
    struct Case {
      DataPosition start, end;
      int type;
      QString warning;
    } cases[] = {
        {{0, 0}, {500, 1}, 0, QStringLiteral("The selected range must all be within a single block.")},
        {{0, 0}, {900, 0}, 0, QString()},  // only inspiration: 1.0
        {{1500, 0}, {3000, 0}, 1, QStringLiteral("WARNING: The calculated volume ratio above is invalid.")},
    };
    for (const auto& c : cases) {
      Select(c.start, c.end);
      auto settings = MakeCom<SpVolSettings>();
      settings->mFlowChannel = kFlow;
      settings->mVolumeCorrection = true;
      settings->mCorrectionType = c.type;
      SpVolDlg dialog(&mDoc->Frame(), 2, *settings);
      QCOMPARE(Find<QLabel>(&dialog, "112")->text(), c.warning);
      QCOMPARE(Find<QPushButton>(&dialog, "110")->isEnabled(), c.warning.isEmpty());
    }
  }

  // OK without a change gives the calculation nothing new to apply.
  void tidalVolumeShowsItsSettings() {
    auto calc = PutCalculation(2, L"SpTidalVolCalculation");
    ComPtr<IPersistObject> held;
    QCOMPARE(calc->GetSettings(held.Put()), S_OK);
    auto* settings = dynamic_cast<SpTidalVolSettings*>(held.Get());
    settings->mSourceChannel = kFlow;
    settings->mExpiratoryOnly = true;
    QCOMPARE(calc->ApplySettings(settings, kTrue16), S_OK);
    SpTidalVolCalculationDialog dialog(&mDoc->Frame(), 2, *settings);
    dialog.show();
    QVERIFY(Find<QCheckBox>(&dialog, "1207")->isChecked());
    QCOMPARE(Find<QComboBox>(&dialog, "1206")->currentIndex(), kFlow);
    Press(&dialog, "1");
    QCOMPARE(calc->ApplySettings(settings, kFalse16), S_FALSE);
  }

  void minuteVentilationIntervalWithinRange() {
    const struct {
      QString typed;
      bool accepted;
    } cases[] = {{QStringLiteral("10000"), true},
                 {QStringLiteral("0"), true},
                 {QStringLiteral("10001"), false},
                 {QStringLiteral("-1"), false},
                 {QStringLiteral("soon"), false}};
    for (const auto& c : cases) {
      mMessages.clear();
      auto settings = MakeCom<SpMinVentSettings>();
      settings->mSourceChannel = kFlow;
      SpMinVentCalculationDialog dialog(&mDoc->Frame(), 2, *settings);
      dialog.show();
      QCOMPARE(Find<QLineEdit>(&dialog, "102")->text(), QStringLiteral("60"));
      Type(Find<QLineEdit>(&dialog, "102"), c.typed);
      Press(&dialog, "1");
      QCOMPARE(dialog.isVisible(), !c.accepted);
      QCOMPARE(settings->mUpdateInterval, c.accepted ? c.typed.toDouble() : 60.0);
      QCOMPARE(mMessages.size(), c.accepted ? 0u : 1u);
      if (!c.accepted) QCOMPARE(mMessages.front(), std::wstring(L"Value must be in range 0 to 10000."));
    }
  }

 private:
  void Select(DataPosition start, DataPosition end) {
    kymora::Selection s;
    s.valid = true;
    s.start = start;
    s.end = end;
    mDoc->SetSelection(s);
  }
  ComPtr<IChannelCalc> PutCalculation(std::int32_t channel, const wchar_t* className) {
    auto cls = mDoc->Registry().Calculations().FindByName(className);
    if (channel == mDoc->File().ChannelCount()) mDoc->File().AddChannel(className);
    ComPtr<IChannelCalc> calc;
    if (Failed(mDoc->Data().PutCalculation(channel, cls.Get(), &calc))) qFatal("no calculation");
    return calc;
  }

  ComPtr<kymora::HostRegistry> mRegistry;
  std::unique_ptr<kymora::HostDocument> mDoc;
  std::vector<std::wstring> mMessages;
};

QTEST_MAIN(CalcDialogsTest)
#include "calc_dialogs_test.moc"
