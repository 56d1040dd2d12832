#include "spirometry/calc/dialogs/sp_flow_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

#include "host/data/ichannel_data2.h"
#include "host/data/iunits.h"
#include "host/data/iunits_conversion.h"
#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/calc/dialogs/flow_cal_dlg.h"
#include "spirometry/calc/units_check.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr int kMsgTitle = 57, kMsgSpirometry = 53, kMsgCustom = 28, kMsgInformation = 45, kMsgFormula = 46;
constexpr int kMsgHeadInformation = 55, kMsgSpirometryFlow = 29, kMsgUserConversion = 80, kMsgNotVolts = 83;
constexpr double kLinearTolerance = 0.01;
constexpr double kScaleChanged = 1e-6;
constexpr std::int32_t kCustomIndex = 5;
constexpr std::uint32_t kUnitsFlags = 0x80003000;  // block-level, in units, with the prefix

bool IsNonLinear(double coefficient) { return std::fabs(coefficient - 1.0) > kLinearTolerance; }

template <class W>
W* Named(W* widget, const char* id) {
  widget->setObjectName(QString::fromLatin1(id));
  return widget;
}
}  // namespace

SpFlowDlg::SpFlowDlg(IHostDocument* host, std::int32_t channel, SpFlowSettings& settings, QWidget* parent)
    : QDialog(parent),
      mHost(host),
      mSettings(settings),
      mChannel(channel),
      mLastPreset(mTable.Contains(settings.mPresetIndex) ? settings.mPresetIndex : kDefaultFlowHeadPreset),
      mHeadScale(settings.mHeadScale),
      mCoefficient(1.0),
      mCustom(settings.mUseCustomHeadScale),
      mPrefixCode(settings.mOutputUnitsPrefix),
      mSource(Named(new QComboBox, "101")),
      mDrift(Named(new QCheckBox(QStringLiteral("&Drift correction")), "103")),
      mHead(Named(new QComboBox, "106")),
      mInfo(Named(new QToolButton, "233")),
      mNonLinear(Named(new QCheckBox(QStringLiteral("&Apply non-linear compensation")), "107")),
      mFormula(Named(new QLabel(QStringLiteral("Final formula: Flow (L/s) = 40.1 x voltage")), "108")) {
  setObjectName(QStringLiteral("SPIROMETRYFLOWSETUPDIALOG"));
  auto data = Dialogs::ChannelDataOf(host);
  setWindowTitle(QString::fromStdWString(FormatString(kMsgTitle, {LoadString(kMsgSpirometry), L" - "}) +
                                         Dialogs::ChannelName(data.Get(), channel)));
  mCalibration = [this](std::int32_t source, double* headScale) {
    FlowCalDlg dialog(mHost, source, mChannel, headScale, mPrefixCode, this);
    return Dialogs::RunModal(mHost, &dialog) == QDialog::Accepted;
  };

  // Source
  auto* source = Named(new QGroupBox(QStringLiteral("Source")), "280");
  auto* sourceForm = new QFormLayout(source);
  Dialogs::FillChannelList(mSource, data.Get(), settings.mRawFlowChannel);
  auto* sourceLabel = Named(new QLabel(QStringLiteral("&Flow data:")), "102");
  sourceLabel->setBuddy(mSource);
  sourceForm->addRow(sourceLabel, mSource);
  sourceForm->addRow(mDrift);
  mDrift->setChecked(settings.mDriftCorrection);

  // Flow head calibration
  auto* head = Named(new QGroupBox(QStringLiteral("Flow head calibration")), "274");
  auto* headLayout = new QVBoxLayout(head);
  auto* headRow = new QHBoxLayout;
  auto* headLabel = Named(new QLabel(QStringLiteral("Flow &head:")), "105");
  headLabel->setBuddy(mHead);
  for (std::int32_t i = 0; i < mTable.Size(); ++i) mHead->addItem(QString::fromStdWString(mTable.Name(i)));
  mHead->addItem(QString::fromStdWString(LoadString(kMsgCustom)));
  mInfo->setText(QStringLiteral("I"));
  mInfo->setAccessibleName(QString::fromStdWString(LoadString(kMsgHeadInformation)));
  auto* calibrate = Named(new QPushButton(QStringLiteral("&Calibrate...")), "110");
  headRow->addWidget(headLabel);
  headRow->addWidget(mHead, 1);
  headRow->addWidget(mInfo);
  headRow->addWidget(calibrate);
  headLayout->addLayout(headRow);
  headLayout->addWidget(mNonLinear);
  headLayout->addWidget(mFormula);
  mNonLinear->setChecked(settings.mApplyNonLinear);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(source);
  layout->addWidget(head);
  layout->addWidget(Dialogs::StandardButtons(this, host, L"Spiro_FlowCalc"));

  if (mCustom) {
    mHead->setCurrentIndex(kCustomIndex);
  } else {
    mHead->setCurrentIndex(mLastPreset);
    mHeadScale = mTable.HeadScale(mLastPreset);
    mCoefficient = mTable.Coefficient(mLastPreset);
  }
  Update();

  connect(mHead, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!mSelecting) HeadChanged(index);
  });
  connect(calibrate, &QPushButton::clicked, this, [this] { Calibrate(); });
  connect(mNonLinear, &QCheckBox::toggled, this, [this] { Update(); });
  connect(mInfo, &QToolButton::clicked, this,
          [this] { QToolTip::showText(mInfo->mapToGlobal(QPoint(0, mInfo->height())), InformationText(), mInfo); });
}

void SpFlowDlg::ShowPreset(std::int32_t preset) {
  mLastPreset = preset;
  mHeadScale = mTable.HeadScale(preset);
  mCoefficient = mTable.Coefficient(preset);
  mCustom = false;
  SelectHead(preset);
  NoteHeadScale();
}

void SpFlowDlg::SelectHead(int index) {
  mSelecting = true;
  mHead->setCurrentIndex(index);
  mSelecting = false;
}

void SpFlowDlg::HeadChanged(int index) {
  if (index == kCustomIndex) {
    Calibrate();
    return;
  }
  if (mTable.Contains(index)) ShowPreset(index);
  Update();
}

void SpFlowDlg::Calibrate() {
  const double before = mHeadScale;
  const std::int32_t source = Dialogs::SelectedChannel(mSource, mSettings.mRawFlowChannel);
  if (mCalibration && mCalibration(source, &mHeadScale)) {
    SelectHead(kCustomIndex);
    mCoefficient = 1.0;
    mCustom = true;
    NoteHeadScale();
  } else {
    mHeadScale = before;
    if (mCustom)
      SelectHead(kCustomIndex);
    else
      ShowPreset(mLastPreset);
  }
  Update();
}

void SpFlowDlg::NoteHeadScale() {
  if (std::fabs(mHeadScale - mSettings.mHeadScale) > kScaleChanged) mModified = true;
}

QString SpFlowDlg::InformationText() const {
  const std::wstring coefficient =
      std::fabs(mCoefficient - 1.0) < kLinearTolerance ? std::wstring(L"N/A") : Dialogs::StreamNumber(mCoefficient);
  return QString::fromStdWString(FormatString(kMsgInformation, {Dialogs::StreamNumber(mHeadScale), coefficient}));
}

QString SpFlowDlg::FormulaText() const { return mFormula->text(); }

void SpFlowDlg::Update() {
  mInfo->setToolTip(InformationText());
  const bool nonLinear = IsNonLinear(mCoefficient);
  mNonLinear->setEnabled(nonLinear);
  std::wstring text;
  if (mNonLinear->isChecked() && nonLinear) {
    const QString tail =
        QStringLiteral("x ( 1 %1 %2 x voltage)").arg(QChar(0x00B1)).arg(QString::asprintf("%g", mCoefficient));
    text = FormatString(kMsgFormula, {L"", Dialogs::StreamNumber(mHeadScale), tail.toStdWString()});
  } else {
    text = FormatString(kMsgFormula, {UnitPrefixText(mPrefixCode),
                                      Dialogs::StreamNumber(mHeadScale * UnitPrefixFactor(mPrefixCode)), L" "});
  }
  mFormula->setText(QString::fromStdWString(text));
}

void SpFlowDlg::accept() {
  QDialog::accept();
  const int head = mHead->currentIndex();
  mSettings.mPresetIndex = mCustom ? kCustomIndex : (mTable.Contains(head) ? head : mLastPreset);
  mSettings.mDriftCorrection = mDrift->isChecked();
  mSettings.mApplyNonLinear = mNonLinear->isChecked();
  mSettings.mUseCustomHeadScale = mCustom;
  mSettings.mRawFlowChannel = Dialogs::SelectedChannel(mSource, mSettings.mRawFlowChannel);
  if (mModified) mSettings.mHeadScale = mHeadScale;
  mSettings.mOutputUnitsPrefix = mPrefixCode;
  WarnAboutUnits();
}

// The flow calculation expects a flow-head voltage as recorded; anything else is worth a word, but not a
// refusal. A host without the second data interface keeps no conversions of the user.
void SpFlowDlg::WarnAboutUnits() {
  auto data = Dialogs::ChannelDataOf(mHost);
  std::int32_t blocks = 0;
  if (!data || Failed(data->GetBlockCount(&blocks))) return;
  auto data2 = data.As<IChannelData2>();
  const std::int32_t source = mSettings.mRawFlowChannel;
  const std::uint32_t flags = kUnitsFlags | (source == mChannel ? 0x1u : 0x40000000u);
  bool converted = false, notVolts = false;
  for (std::int32_t block = blocks - 1; block >= 0; --block) {
    if (data->HasData(flags, block, source) != S_OK) continue;
    ComPtr<IUnitsConversion> conversion;
    if (data2 && data2->GetUserConversion(flags, block, source, conversion.Put(), nullptr) == S_OK) converted = true;
    ComPtr<IUnits> units;
    std::wstring text;
    if (Failed(data->GetUnits(flags, block, source, units.Put())) || !units || Failed(units->GetText(&text))) continue;
    if (!VoltagePrefixExponent(text)) notVolts = true;
  }
  const std::wstring title = LoadString(kMsgSpirometryFlow);
  if (converted) mHost->ShowMessageBox(LoadString(kMsgUserConversion).c_str(), title.c_str(), Dialogs::kExclamationBox);
  if (notVolts) mHost->ShowMessageBox(LoadString(kMsgNotVolts).c_str(), title.c_str(), Dialogs::kExclamationBox);
}

}  // namespace Spirometry
