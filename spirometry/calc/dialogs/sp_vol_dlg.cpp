#include "spirometry/calc/dialogs/sp_vol_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cfloat>

#include "spirometry/calc/calibrate_base.h"
#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr int kMsgTitle = 1, kMsgSpirometry = 53, kMsgRatioNeedsSelection = 48, kMsgCalibrationNeedsSelection = 49;
constexpr int kMsgRatioInvalid = 77, kMsgInvalidValue = 22022, kMsgValueRange = 22023;
constexpr double kCalculatedRatioMin = 0.9, kCalculatedRatioMax = 2.0;

template <class W>
W* Named(W* widget, const char* id) {
  widget->setObjectName(QString::fromLatin1(id));
  return widget;
}
}  // namespace

SpVolDlg::SpVolDlg(IHostDocument* host, std::int32_t channel, SpVolSettings& settings, QWidget* parent)
    : QDialog(parent),
      mHost(host),
      mSettings(settings),
      mChannel(channel),
      mSource(Named(new QComboBox, "101")),
      mCorrection(Named(new QCheckBox(QStringLiteral("Apply volume &correction")), "103")),
      mDeadSpace(Named(new QLineEdit, "106")),
      mNormal(Named(new QRadioButton(QStringLiteral("Normal breaths")), "131")),
      mFull(Named(new QRadioButton(QStringLiteral("Full expiration")), "132")),
      mCalculatedText(Named(new QLabel(QStringLiteral("1.3212")), "109")),
      mApply(Named(new QPushButton(QStringLiteral("&Apply")), "110")),
      mRatio(Named(new QLineEdit, "107")),
      mWarning(Named(new QLabel(QStringLiteral("The calculated volume ratio above is invalid.")), "112")),
      mReset(Named(new QCheckBox(QStringLiteral("&Reset volume to zero at the end of each expiration")), "1207")) {
  setObjectName(QStringLiteral("SPIROMETRYVOLUMESETUPDIALOG"));
  auto data = Dialogs::ChannelDataOf(host);
  setWindowTitle(QString::fromStdWString(FormatString(kMsgTitle, {LoadString(kMsgSpirometry), L" - "}) +
                                         Dialogs::ChannelName(data.Get(), channel)));

  auto* source = Named(new QGroupBox(QStringLiteral("Source")), "280");
  auto* sourceRow = new QHBoxLayout(source);
  auto* sourceLabel = Named(new QLabel(QStringLiteral("&Spirometry flow channel:")), "102");
  sourceLabel->setBuddy(mSource);
  Dialogs::FillChannelList(mSource, data.Get(), settings.mFlowChannel);
  sourceRow->addWidget(sourceLabel);
  sourceRow->addWidget(mSource, 1);

  auto* correction = Named(new QGroupBox(QStringLiteral("Volume correction")), "234");
  auto* grid = new QGridLayout(correction);
  grid->addWidget(mCorrection, 0, 0, 1, 3);
  auto* deadLabel = Named(new QLabel(QStringLiteral("&Dead space:")), "104");
  deadLabel->setBuddy(mDeadSpace);
  grid->addWidget(deadLabel, 1, 0);
  grid->addWidget(mDeadSpace, 1, 1);
  grid->addWidget(Named(new QLabel(QStringLiteral("mL")), "235"), 1, 2);
  auto* type = Named(new QGroupBox(QStringLiteral("Correction type")), "130");
  auto* typeRow = new QHBoxLayout(type);
  typeRow->addWidget(mNormal);
  typeRow->addWidget(mFull);
  grid->addWidget(type, 2, 0, 1, 3);
  auto* calculatedLabel = Named(new QLabel(QStringLiteral("Calculated volume ratio from &selection:")), "108");
  calculatedLabel->setBuddy(mApply);
  grid->addWidget(calculatedLabel, 3, 0);
  grid->addWidget(mCalculatedText, 3, 1);
  grid->addWidget(mApply, 3, 2);
  auto* ratioLabel = Named(new QLabel(QStringLiteral("&Volume ratio:")), "105");
  ratioLabel->setBuddy(mRatio);
  grid->addWidget(ratioLabel, 4, 0);
  grid->addWidget(mRatio, 4, 1);
  mWarning->setWordWrap(true);
  QPalette warning = mWarning->palette();
  warning.setColor(QPalette::WindowText, Qt::red);
  mWarning->setPalette(warning);
  grid->addWidget(mWarning, 5, 0, 1, 3);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(source);
  layout->addWidget(correction);
  layout->addWidget(mReset);
  layout->addWidget(Dialogs::StandardButtons(this, host, L"Spiro_VolumeCalc"));

  mCorrection->setChecked(settings.mVolumeCorrection);
  mDeadSpace->setText(Dialogs::FormatNumber("%.3g", settings.mDeadSpace));
  mRatio->setText(Dialogs::FormatNumber("%.3g", settings.mVolumeRatio));
  (settings.mCorrectionType == 0 ? mNormal : mFull)->setChecked(true);
  mReset->setChecked(settings.mResetAtEndOfExpiration);
  Recompute();

  connect(mSource, &QComboBox::currentIndexChanged, this, [this] { Recompute(); });
  connect(mCorrection, &QCheckBox::toggled, this, [this] { CorrectionChanged(); });
  connect(mDeadSpace, &QLineEdit::textChanged, this, [this] { Recompute(); });
  connect(mRatio, &QLineEdit::textChanged, this, [this] {
    mRatioEdited = true;
    double v = 0.0;
    Check(mRatio, RatioLow(), RatioHigh(), false, &v);
  });
  connect(mNormal, &QRadioButton::toggled, this, [this] { Recompute(); });
  connect(mApply, &QPushButton::clicked, this, [this] { ApplyCalculated(); });
}

// With the correction off the values do not matter to the calculation, so any number passes.
double SpVolDlg::DeadSpaceLow() const { return mCorrection->isChecked() ? kDeadSpaceMin : -FLT_MAX; }
double SpVolDlg::DeadSpaceHigh() const { return mCorrection->isChecked() ? kDeadSpaceMax : FLT_MAX; }
double SpVolDlg::RatioLow() const { return mCorrection->isChecked() ? kVolumeRatioMin : -FLT_MAX; }
double SpVolDlg::RatioHigh() const { return mCorrection->isChecked() ? kVolumeRatioMax : FLT_MAX; }

bool SpVolDlg::Check(QLineEdit* edit, double low, double high, bool tell, double* value) {
  const bool ok = Dialogs::ReadNumber(edit, value) && *value >= low && *value <= high;
  Dialogs::MarkInvalid(edit, !ok);
  if (!ok && tell && mHost) {
    const std::wstring text = FormatString(kMsgValueRange, {Dialogs::StreamNumber(low), Dialogs::StreamNumber(high)});
    mHost->ShowMessageBox(text.c_str(), LoadString(kMsgInvalidValue).c_str(), Dialogs::kExclamationBox);
    edit->setFocus();
  }
  return ok;
}

void SpVolDlg::CorrectionChanged() {
  double v = 0.0;
  Check(mRatio, RatioLow(), RatioHigh(), false, &v);
  Recompute();
}

void SpVolDlg::Recompute() {
  double deadSpace = 0.0;
  Check(mDeadSpace, DeadSpaceLow(), DeadSpaceHigh(), false, &deadSpace);
  const bool on = mCorrection->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{mDeadSpace, mNormal, mFull, mRatio, mCalculatedText})
    w->setEnabled(on);

  auto data = Dialogs::ChannelDataOf(mHost);
  const std::int32_t flow = Dialogs::SelectedChannel(mSource, -1);
  CalibrateBase reader(data.Get(), data.Get());
  reader.SetChannel(flow, mChannel);
  std::wstring message;
  mCalculated.reset();
  if (!reader.Validate(&message)) {
    if (message == LoadString(kMsgCalibrationNeedsSelection)) message = LoadString(kMsgRatioNeedsSelection);
    mWarning->setText(QString::fromStdWString(message));
    mCalculatedText->clear();
    mApply->setEnabled(false);
    return;
  }
  const DataPosition unset{};
  const double ratio = reader.VolumeRatio(data.Get(), unset, unset, flow, mNormal->isChecked() ? 0 : 1, deadSpace);
  mCalculated = ratio;
  mCalculatedText->setText(QString::fromStdWString(Dialogs::StreamNumber(ratio)));
  const bool valid = ratio >= kCalculatedRatioMin && ratio <= kCalculatedRatioMax;
  mApply->setEnabled(valid && on);
  mWarning->setText(valid ? QString() : QString::fromStdWString(LoadString(kMsgRatioInvalid)));
}

void SpVolDlg::ApplyCalculated() { mRatio->setText(mCalculatedText->text()); }

void SpVolDlg::accept() {
  double deadSpace = 0.0, ratio = 0.0;
  if (!Check(mDeadSpace, DeadSpaceLow(), DeadSpaceHigh(), true, &deadSpace)) return;
  if (mRatioEdited && !Check(mRatio, RatioLow(), RatioHigh(), true, &ratio)) return;
  QDialog::accept();
  mSettings.mVolumeCorrection = mCorrection->isChecked();
  mSettings.mResetAtEndOfExpiration = mReset->isChecked();
  // Values outside what the calculation takes are let through while the correction is off, but never
  // stored: the stored ones stay.
  if (deadSpace >= kDeadSpaceMin && deadSpace <= kDeadSpaceMax) mSettings.mDeadSpace = deadSpace;
  if (mRatioEdited && ratio >= kVolumeRatioMin && ratio <= kVolumeRatioMax) mSettings.mVolumeRatio = ratio;
  mSettings.mCorrectionType = mNormal->isChecked() ? 0 : 1;
  mSettings.mFlowChannel = Dialogs::SelectedChannel(mSource, mSettings.mFlowChannel);
}

}  // namespace Spirometry
