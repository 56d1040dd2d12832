#include "spirometry/views/spiro_config_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/document/channel_samples.h"
#include "spirometry/document/settings_dialog_hook.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/support/unit_prefix.h"
#include "spirometry/views/sp_preview.h"

namespace Spirometry {

namespace {
constexpr int kMsgInvalidCaption = 2, kMsgInvalidSettings = 3, kMsgNoneFound = 30, kMsgChannelN = 31;
constexpr int kPreviewDelayMs = 1000;
constexpr int kTickEvery = 20;
constexpr double kFieldMin = 0.01, kFieldMax = 10.0;
constexpr double kNoiseFloorMin = 0.0, kNoiseFloorMax = 100000.0;
constexpr double kThresholdStep = 0.1;
constexpr std::int32_t kAdmittedPrefixes[] = {6, 7, 8};

template <class W>
W* Named(W* widget, const char* id) {
  widget->setObjectName(QString::fromLatin1(id));
  return widget;
}

QLabel* Indicator(const char* id) {
  auto* mark = Named(new QLabel, id);
  mark->setFixedWidth(12);
  mark->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
  return mark;
}

void ShowMark(QLabel* mark, bool invalid) { mark->setText(invalid ? QStringLiteral("!") : QString()); }

// The up-down control beside an edit: one step up or down per click.
QWidget* UpDown(const char* id, QObject* owner, std::function<void(int)> step) {
  auto* box = Named(new QWidget, id);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int direction : {1, -1}) {
    auto* button = new QToolButton;
    button->setArrowType(direction > 0 ? Qt::UpArrow : Qt::DownArrow);
    button->setObjectName(direction > 0 ? QStringLiteral("up") : QStringLiteral("down"));
    button->setFixedSize(16, 11);
    button->setAutoRepeat(true);
    QObject::connect(button, &QToolButton::clicked, owner, [step, direction] { step(direction); });
    layout->addWidget(button);
  }
  return box;
}

// The edit's number; an unreadable text counts as 0.
double FieldValue(const QLineEdit* edit) {
  double v = 0.0;
  return Dialogs::ReadNumber(edit, &v) ? v : 0.0;
}

void FillChannels(QComboBox* box, const std::vector<std::int32_t>& channels, std::int32_t selected) {
  for (std::int32_t c : channels) {
    box->addItem(QString::fromStdWString(FormatString(kMsgChannelN, {std::to_wstring(std::int64_t{c} + 1)})), c);
    if (c == selected) box->setCurrentIndex(box->count() - 1);
  }
  if (channels.empty()) box->addItem(QString::fromStdWString(LoadString(kMsgNoneFound)));
}
}  // namespace

double DetectionLevelAt(int position) { return (position + 1) * 0.01; }

int DetectionLevelPosition(double level) {
  if (!(level > DetectionLevelAt(0))) return 0;
  if (level >= DetectionLevelAt(kDetectionPositions - 1)) return kDetectionPositions - 1;
  int lo = 0, hi = kDetectionPositions - 1;  // value[lo] < level <= value[hi]
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (DetectionLevelAt(mid) < level ? lo : hi) = mid;
  }
  return std::fabs(DetectionLevelAt(lo) - level) < std::fabs(DetectionLevelAt(hi) - level) ? lo : hi;
}

SpiroConfigDlg::SpiroConfigDlg(SpiroDocument& document, SpConfig& settings,
                               const std::vector<std::int32_t>& flowChannels,
                               const std::vector<std::int32_t>& volumeChannels, QWidget* parent)
    : QDialog(parent),
      mDocument(document),
      mSettings(settings),
      mShownPrefix(settings.FlowUnitsPrefix),
      mPreview(new SPPreview),
      mTimer(new QTimer(this)) {
  setObjectName(QStringLiteral("SPIROCONFIG"));
  setWindowTitle(QStringLiteral("Spirometry Settings"));
  mTimer->setObjectName(QStringLiteral("100"));
  mTimer->setSingleShot(true);
  mTimer->setInterval(kPreviewDelayMs);
  connect(mTimer, &QTimer::timeout, this, [this] { RefreshPreview(); });

  auto* previewBox = Named(new QGroupBox(QStringLiteral("Preview of detected breaths")), "236");
  auto* previewLayout = new QVBoxLayout(previewBox);
  auto* placeholder = Named(new QLabel, "270");
  placeholder->hide();
  previewLayout->addWidget(placeholder);
  previewLayout->addWidget(mPreview);

  auto* lower = new QHBoxLayout;
  lower->addWidget(BuildSources(flowChannels, volumeChannels), 0);
  lower->addWidget(BuildDetection(), 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(previewBox, 1);
  layout->addLayout(lower);
  layout->addWidget(Dialogs::StandardButtons(this, document.Host(), L"Spiro_SettingsDlg"));

  CheckFields();
  RefreshPreview();
}

QWidget* SpiroConfigDlg::BuildSources(const std::vector<std::int32_t>& flowChannels,
                                      const std::vector<std::int32_t>& volumeChannels) {
  auto* box = Named(new QGroupBox(QStringLiteral("Sources")), "280");
  auto* grid = new QGridLayout(box);
  mFlow = Named(new QComboBox, "108");
  mVolume = Named(new QComboBox, "109");
  FillChannels(mFlow, flowChannels, mSettings.FlowChannel);
  FillChannels(mVolume, volumeChannels, mSettings.VolumeChannel);
  auto* flowLabel = Named(new QLabel(QStringLiteral("&Flow channel:")), "110");
  auto* volumeLabel = Named(new QLabel(QStringLiteral("&Volume channel:")), "111");
  flowLabel->setBuddy(mFlow);
  volumeLabel->setBuddy(mVolume);
  grid->addWidget(flowLabel, 0, 0);
  grid->addWidget(mFlow, 0, 1, 1, 3);
  grid->addWidget(volumeLabel, 1, 0);
  grid->addWidget(mVolume, 1, 1, 1, 3);

  mUnits = Named(new QComboBox, "1209");
  for (std::int32_t code : kAdmittedPrefixes) {
    mUnits->addItem(QString::fromStdWString(UnitPrefixText(code)) + QStringLiteral("L/s"), code);
    if (code == mSettings.FlowUnitsPrefix) mUnits->setCurrentIndex(mUnits->count() - 1);
  }
  grid->addWidget(new QLabel(QStringLiteral("Flow units:")), 2, 0);
  grid->addWidget(mUnits, 2, 1);
  mClamp = Named(new QCheckBox(QStringLiteral("Clamp flow noise-floor to:")), "1210");
  mClamp->setChecked(mSettings.ApplyNoiseFloor);
  grid->addWidget(mClamp, 3, 0, 1, 4);
  mNoiseFloor =
      Named(new QLineEdit(Dialogs::FormatNumber("%g", mSettings.NoiseFloor * UnitPrefixFactor(Prefix()))), "120");
  mNoiseUnits = Named(new QLabel(mUnits->currentText()), "1211");
  mNoiseMark = Indicator("300");
  grid->addWidget(mNoiseFloor, 4, 1);
  grid->addWidget(mNoiseUnits, 4, 2);
  grid->addWidget(mNoiseMark, 4, 3);

  connect(mFlow, &QComboBox::currentIndexChanged, this, [this] { RefreshPreview(); });
  connect(mVolume, &QComboBox::currentIndexChanged, this, [this] { RefreshPreview(); });
  connect(mUnits, &QComboBox::currentIndexChanged, this, [this] { UnitsChanged(); });
  connect(mNoiseFloor, &QLineEdit::textChanged, this, [this] { CheckFields(); });
  return box;
}

QWidget* SpiroConfigDlg::BuildDetection() {
  auto* box = Named(new QGroupBox(QStringLiteral("Detection adjustment")), "297");
  auto* grid = new QGridLayout(box);
  mLevel = Named(new QLineEdit(Dialogs::FormatNumber("%g", mSettings.DetectionLevel)), "103");
  auto* levelLabel = Named(new QLabel(QStringLiteral("&Cycle detection level:")), "101");
  levelLabel->setBuddy(mLevel);
  mLevelMark = Indicator("298");
  mAuto = Named(new QCheckBox(QStringLiteral("A&uto")), "auto");
  mAuto->setToolTip(QStringLiteral("Choose the detection level from the noise and the breaths of the selection"));
  mAuto->setChecked(mSettings.AutoDetectionLevel);
  auto* levelRow = new QHBoxLayout;
  levelRow->addWidget(mLevel);
  levelRow->addWidget(UpDown("237", this, [this](int step) { StepLevel(step); }));
  levelRow->addWidget(Named(new QLabel(QStringLiteral("% full range")), "105"));
  levelRow->addWidget(mLevelMark);
  levelRow->addWidget(mAuto);
  grid->addWidget(levelLabel, 0, 0);
  grid->addLayout(levelRow, 0, 1);

  mSlider = Named(new QSlider(Qt::Horizontal), "239");
  mSlider->setRange(0, kDetectionPositions - 1);
  mSlider->setTickInterval(kTickEvery);
  mSlider->setTickPosition(QSlider::TicksBelow);
  mSlider->setValue(DetectionLevelPosition(mSettings.DetectionLevel));
  auto* ends = new QHBoxLayout;
  ends->addWidget(Named(new QLabel(QStringLiteral("0.01% full range")), "240"));
  ends->addStretch();
  ends->addWidget(Named(new QLabel(QStringLiteral("10% full range")), "241"));
  grid->addWidget(mSlider, 1, 0, 1, 2);
  grid->addLayout(ends, 2, 0, 1, 2);

  mThreshold = Named(new QLineEdit(Dialogs::FormatNumber("%g", mSettings.ForcedExpThres)), "104");
  auto* thresholdLabel = Named(new QLabel(QStringLiteral("Forced &expiration threshold:")), "102");
  thresholdLabel->setBuddy(mThreshold);
  mThresholdMark = Indicator("299");
  auto* thresholdRow = new QHBoxLayout;
  thresholdRow->addWidget(mThreshold);
  thresholdRow->addWidget(UpDown("238", this, [this](int step) { StepThreshold(step); }));
  thresholdRow->addWidget(Named(new QLabel(QStringLiteral("x average volume")), "106"));
  thresholdRow->addWidget(mThresholdMark);
  thresholdRow->addStretch();
  grid->addWidget(thresholdLabel, 3, 0);
  grid->addLayout(thresholdRow, 3, 1);
  mNonForced = Named(new QCheckBox(QStringLiteral("Include non-forced breaths in Spirometry &report")), "107");
  mNonForced->setChecked(mSettings.IncludeNonForced);
  grid->addWidget(mNonForced, 4, 0, 1, 2);
  mStandard = Named(new QCheckBox(QStringLiteral("Include the ATS/ERS 2019 &measures in the report")), "standard");
  mStandard->setToolTip(QStringLiteral("Back-extrapolated FEV1 and FEV6, acceptability and the grade of the test"));
  mStandard->setChecked(mSettings.StandardReport);
  grid->addWidget(mStandard, 5, 0, 1, 2);

  const auto automatic = [this] {
    for (QWidget* w : std::initializer_list<QWidget*>{mLevel, mSlider, findChild<QWidget*>(QStringLiteral("237"))})
      w->setEnabled(!mAuto->isChecked());
    CheckFields();
    RefreshPreview();
  };
  mLevel->setEnabled(!mAuto->isChecked());
  mSlider->setEnabled(!mAuto->isChecked());
  connect(mAuto, &QCheckBox::toggled, this, automatic);
  connect(mLevel, &QLineEdit::textChanged, this, [this] { LevelTyped(); });
  connect(mSlider, &QSlider::valueChanged, this, [this](int position) { LevelSlid(position); });
  connect(mThreshold, &QLineEdit::textChanged, this, [this] {
    CheckFields();
    RefreshPreview();
  });
  return box;
}

std::int32_t SpiroConfigDlg::Prefix() const {
  const QVariant code = mUnits->currentData();
  return code.isValid() ? code.toInt() : mSettings.FlowUnitsPrefix;
}

bool SpiroConfigDlg::PreviewPending() const { return mTimer->isActive(); }

void SpiroConfigDlg::LevelTyped() {
  CheckFields();
  if (!mSyncing) {
    mSyncing = true;
    mSlider->setValue(DetectionLevelPosition(FieldValue(mLevel)));
    mSyncing = false;
  }
  mTimer->start();
}

void SpiroConfigDlg::LevelSlid(int position) {
  if (mSyncing) return;
  mSyncing = true;
  mLevel->setText(Dialogs::FormatNumber("%g", DetectionLevelAt(position)));
  mSyncing = false;
}

void SpiroConfigDlg::StepLevel(int steps) {
  const int position = std::clamp(DetectionLevelPosition(FieldValue(mLevel)) + steps, 0, kDetectionPositions - 1);
  mLevel->setText(Dialogs::FormatNumber("%g", DetectionLevelAt(position)));
}

void SpiroConfigDlg::StepThreshold(int steps) {
  const double value = std::clamp(FieldValue(mThreshold) + steps * kThresholdStep, kFieldMin, kFieldMax);
  mThreshold->setText(Dialogs::FormatNumber("%g", std::round(value * 100.0) / 100.0));
}

void SpiroConfigDlg::UnitsChanged() {
  // The noise floor keeps its flow in L/s; only the units it is shown in change.
  const double litres = FieldValue(mNoiseFloor) / UnitPrefixFactor(mShownPrefix);
  mShownPrefix = Prefix();
  mNoiseFloor->setText(Dialogs::FormatNumber("%g", litres * UnitPrefixFactor(mShownPrefix)));
  mNoiseUnits->setText(mUnits->currentText());
}

bool SpiroConfigDlg::CheckFields() {
  auto outside = [](const QLineEdit* edit, double low, double high) {
    const double v = FieldValue(edit);
    return edit->isEnabled() && (v < low || v > high);
  };
  const bool level = outside(mLevel, kFieldMin, kFieldMax);
  const bool threshold = outside(mThreshold, kFieldMin, kFieldMax);
  double noise = 0.0;
  const bool noiseBad = !Dialogs::ReadNumber(mNoiseFloor, &noise) || noise < kNoiseFloorMin || noise > kNoiseFloorMax;
  ShowMark(mLevelMark, level);
  ShowMark(mThresholdMark, threshold);
  ShowMark(mNoiseMark, noiseBad);
  return !level && !threshold && (!noiseBad || !mClamp->isChecked());
}

void SpiroConfigDlg::RefreshPreview() {
  mTimer->stop();
  const QVariant flow = mFlow->currentData(), volume = mVolume->currentData();
  const DataPosition start = mDocument.SelectionStart(), end = mDocument.SelectionEnd();
  IChannelData* data = mDocument.Data();
  const bool oneBlock = start.block != DataPosition::kNotSet && start.block == end.block && end.offset > start.offset;
  ChannelSamples samples;
  if (!flow.isValid() || !volume.isValid() || !oneBlock ||
      !ReadSamplesInLitres(data, flow.toInt(), start, end, &samples)) {
    mPreview->Clear();
    return;
  }
  const std::int32_t channel = flow.toInt();
  double height = DetectionHeight(data, start.block, mDocument.DetectionSourceOf(channel), FieldValue(mLevel));
  if (mAuto->isChecked()) height = ChooseDetectionHeight(samples.values, samples.secsPerSample).height;
  std::vector<Breath> breaths;
  DetectBreaths(data, PreviewExpressionText(channel, height), channel, start, end, &breaths);
  mPreview->Show(std::move(samples.values), start.offset, std::move(breaths));
}

void SpiroConfigDlg::accept() {
  if (!CheckFields()) {
    if (IHostDocument* host = mDocument.Host())
      host->ShowMessageBox(LoadString(kMsgInvalidSettings).c_str(), LoadString(kMsgInvalidCaption).c_str(),
                           Dialogs::kErrorBox);
    return;
  }
  QDialog::accept();
  mSettings.AutoDetectionLevel = mAuto->isChecked();
  if (!mAuto->isChecked()) mSettings.DetectionLevel = FieldValue(mLevel);
  mSettings.ForcedExpThres = FieldValue(mThreshold);
  mSettings.IncludeNonForced = mNonForced->isChecked();
  mSettings.StandardReport = mStandard->isChecked();
  const QVariant flow = mFlow->currentData(), volume = mVolume->currentData();
  mSettings.FlowChannel = flow.isValid() ? flow.toInt() : 0;
  mSettings.VolumeChannel = volume.isValid() ? volume.toInt() : 1;
  mSettings.FlowUnitsPrefix = Prefix();
  mSettings.ApplyNoiseFloor = mClamp->isChecked();
  double noise = 0.0;
  if (Dialogs::ReadNumber(mNoiseFloor, &noise) && noise >= kNoiseFloorMin && noise <= kNoiseFloorMax)
    mSettings.NoiseFloor = noise / UnitPrefixFactor(Prefix());
}

namespace {
bool RunSettingsDialog(SettingsDialogRequest& request) {
  if (!request.document || !request.settings || !request.flowChannels || !request.volumeChannels ||
      !Dialogs::CanRunDialogs(request.document->Host()))
    return false;
  try {
    SpiroConfigDlg dialog(*request.document, *request.settings, *request.flowChannels, *request.volumeChannels);
    return Dialogs::RunModal(request.document->Host(), &dialog) == QDialog::Accepted;
  } catch (...) {
    return false;
  }
}

SettingsDialogRegistration gSettingsDialog(&RunSettingsDialog);
}  // namespace

}  // namespace Spirometry
