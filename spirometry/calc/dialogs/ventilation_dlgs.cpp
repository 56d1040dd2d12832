#include "spirometry/calc/dialogs/ventilation_dlgs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr int kMsgTidalVolume = 101, kMsgMinuteVentilation = 102, kMsgInvalidValue = 22022, kMsgValueRange = 22023;

QString Caption(int title, IChannelData* data, std::int32_t channel) {
  return QString::fromStdWString(LoadString(title) + L" - " + Dialogs::ChannelName(data, channel));
}

// The "Source" group: the flow data list (control 1206).
QGroupBox* SourceGroup(QComboBox* list, IChannelData* data, std::int32_t selected) {
  auto* group = new QGroupBox(QStringLiteral("Source"));
  auto* row = new QHBoxLayout(group);
  auto* label = new QLabel(QStringLiteral("&Flow data:"));
  label->setBuddy(list);
  list->setObjectName(QStringLiteral("1206"));
  Dialogs::FillChannelList(list, data, selected);
  row->addWidget(label);
  row->addWidget(list, 1);
  return group;
}
}  // namespace

SpTidalVolCalculationDialog::SpTidalVolCalculationDialog(IHostDocument* host, std::int32_t channel,
                                                         SpTidalVolSettings& settings, QWidget* parent)
    : QDialog(parent),
      mSettings(settings),
      mSource(new QComboBox),
      mExpiratory(new QCheckBox(QStringLiteral("&Source has expiratory flow only"))) {
  setObjectName(QStringLiteral("181"));
  auto data = Dialogs::ChannelDataOf(host);
  setWindowTitle(Caption(kMsgTidalVolume, data.Get(), channel));
  auto* options = new QGroupBox(QStringLiteral("Options"));
  auto* optionsLayout = new QVBoxLayout(options);
  mExpiratory->setObjectName(QStringLiteral("1207"));
  mExpiratory->setChecked(settings.mExpiratoryOnly);
  optionsLayout->addWidget(mExpiratory);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(SourceGroup(mSource, data.Get(), settings.mSourceChannel));
  layout->addWidget(options);
  layout->addWidget(Dialogs::StandardButtons(this, host, L"Spiro_TidalVolCalc"));
}

void SpTidalVolCalculationDialog::accept() {
  QDialog::accept();
  mSettings.mSourceChannel = Dialogs::SelectedChannel(mSource, mSettings.mSourceChannel);
  mSettings.mExpiratoryOnly = mExpiratory->isChecked();
}

SpMinVentCalculationDialog::SpMinVentCalculationDialog(IHostDocument* host, std::int32_t channel,
                                                       SpMinVentSettings& settings, QWidget* parent)
    : QDialog(parent),
      mHost(host),
      mSettings(settings),
      mSource(new QComboBox),
      mInterval(new QLineEdit(Dialogs::FormatNumber("%g", settings.mUpdateInterval))) {
  setObjectName(QStringLiteral("180"));
  auto data = Dialogs::ChannelDataOf(host);
  setWindowTitle(Caption(kMsgMinuteVentilation, data.Get(), channel));
  auto* interval = new QGroupBox(QStringLiteral("Update interval"));
  auto* row = new QHBoxLayout(interval);
  auto* label = new QLabel(QStringLiteral("&Interval:"));
  label->setBuddy(mInterval);
  mInterval->setObjectName(QStringLiteral("102"));
  row->addWidget(label);
  row->addWidget(mInterval, 1);
  row->addWidget(new QLabel(QStringLiteral("s")));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(SourceGroup(mSource, data.Get(), settings.mSourceChannel));
  layout->addWidget(interval);
  layout->addWidget(Dialogs::StandardButtons(this, host, L"Spiro_MinuteVentCalc"));
  connect(mInterval, &QLineEdit::textChanged, this, [this] {
    double v = 0.0;
    Dialogs::MarkInvalid(mInterval,
                         !Dialogs::ReadNumber(mInterval, &v) || v < kUpdateIntervalMin || v > kUpdateIntervalMax);
  });
}

void SpMinVentCalculationDialog::accept() {
  double interval = 0.0;
  if (!Dialogs::ReadNumber(mInterval, &interval) || interval < kUpdateIntervalMin || interval > kUpdateIntervalMax) {
    Dialogs::MarkInvalid(mInterval, true);
    const std::wstring text = FormatString(
        kMsgValueRange, {Dialogs::StreamNumber(kUpdateIntervalMin), Dialogs::StreamNumber(kUpdateIntervalMax)});
    if (mHost) mHost->ShowMessageBox(text.c_str(), LoadString(kMsgInvalidValue).c_str(), Dialogs::kExclamationBox);
    mInterval->setFocus();
    return;
  }
  QDialog::accept();
  mSettings.mSourceChannel = Dialogs::SelectedChannel(mSource, mSettings.mSourceChannel);
  mSettings.mUpdateInterval = interval;
}

}  // namespace Spirometry
