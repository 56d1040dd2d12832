#include "apps/kymora-gui/calculation_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "host/calc/icalculation_setup.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"
#include "host/frame/host_document.h"
#include "host/ui/message_box.h"

namespace kymora::gui {

Expected<SettingsList> ParseSettingsText(const std::wstring& text) {
  SettingsList list;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto start = text.find_first_not_of(L" \t", at);
    if (start == std::wstring::npos) break;
    const auto end = std::min(text.find_first_of(L" \t", start), text.size());
    const std::wstring word = text.substr(start, end - start);
    const auto eq = word.find(L'=');
    if (eq == std::wstring::npos || eq == 0) return Error{"'" + ToUtf8(word) + "' is not KEY=VALUE"};
    list.emplace_back(word.substr(0, eq), word.substr(eq + 1));
    at = end;
  }
  return list;
}

CalculationDialog::CalculationDialog(HostDocument& doc, int currentChannel, ui::DialogRunner& dialogs, QWidget* parent)
    : QDialog(parent),
      mDoc(doc),
      mDialogs(dialogs),
      mChannel(new QComboBox),
      mClasses(new QListWidget),
      mSettings(new QLineEdit),
      mCurrent(new QLabel),
      mNote(new QLabel) {
  setWindowTitle(QStringLiteral("Channel Calculation"));
  setObjectName(QStringLiteral("CalculationDialog"));
  auto& file = doc.File();
  for (std::int32_t c = 0; c < file.ChannelCount(); ++c)
    mChannel->addItem(QStringLiteral("%1: %2").arg(c + 1).arg(
        QString::fromStdWString(file.channels[static_cast<std::size_t>(c)].title)));
  mChannel->addItem(QStringLiteral("%1: new channel").arg(file.ChannelCount() + 1));
  mChannel->setCurrentIndex(std::clamp(currentChannel, 0, file.ChannelCount()));

  mClassObjects.push_back(nullptr);
  mClasses->addItem(QStringLiteral("None (the recorded data)"));
  for (const auto& cls : doc.Registry().Calculations().All()) {
    std::wstring display, name;
    cls->GetDisplayName(&display);
    cls->GetName(&name);
    auto* item = new QListWidgetItem(QString::fromStdWString(display.empty() ? name : display));
    item->setToolTip(QString::fromStdWString(name));
    mClasses->addItem(item);
    mClassObjects.push_back(cls);
  }
  mSettings->setPlaceholderText(QStringLiteral("settings to change, for example source=1 preset=3"));
  mCurrent->setWordWrap(true);
  mNote->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Channel:"), mChannel);
  form->addRow(QStringLiteral("C&alculation:"), mClasses);
  form->addRow(QStringLiteral("&Settings:"), mSettings);
  form->addRow(QString(), mCurrent);
  form->addRow(QString(), mNote);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // Start on the channel's own calculation.
  int row = 0;
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  Guid classId;
  if (currentChannel < file.ChannelCount() && doc.Data().GetChannelCalc(currentChannel, calc.Put()) == S_OK &&
      Succeeded(calc->GetSettings(settings.Put())) && Succeeded(settings->GetClassId(&classId)))
    for (std::size_t i = 1; i < mClassObjects.size(); ++i) {
      Guid id;
      mClassObjects[i]->GetClassId(&id);
      if (id == classId) row = static_cast<int>(i);
    }
  mClasses->setCurrentRow(row);
  connect(mClasses, &QListWidget::currentRowChanged, this, [this] { Describe(); });
  connect(mChannel, &QComboBox::currentIndexChanged, this, [this] { Describe(); });
  Describe();
  resize(520, 420);
}

void CalculationDialog::Describe() {
  const int row = std::max(0, mClasses->currentRow());
  const auto& cls = mClassObjects[static_cast<std::size_t>(row)];
  mSettings->setEnabled(cls != nullptr);
  if (!cls) {
    mCurrent->setText(QStringLiteral("The channel shows its recorded samples."));
    mNote->clear();
    return;
  }
  auto settings = StartingSettings(mDoc, mChannel->currentIndex(), cls.Get());
  std::wstring text;
  auto keys = settings ? settings->As<IKeyValueSettings>() : nullptr;
  if (keys && Succeeded(keys->Describe(&text)))
    mCurrent->setText(QStringLiteral("Now: %1").arg(QString::fromStdWString(text)));
  else
    mCurrent->setText(QStringLiteral("This calculation takes no settings by name."));
  mSettings->setEnabled(keys != nullptr);
  const bool dialog = cls.As<ICalculationSetup>() != nullptr;
  mNote->setText(dialog ? QStringLiteral("OK opens the calculation's set-up dialog.")
                        : QStringLiteral("OK applies the calculation with these settings."));
}

CalculationRequest CalculationDialog::Request() const {
  CalculationRequest request;
  request.channel = mChannel->currentIndex();
  request.cls = mClassObjects[static_cast<std::size_t>(std::max(0, mClasses->currentRow()))];
  if (request.cls)
    if (auto values = ParseSettingsText(mSettings->text().toStdWString())) request.values = *values;
  return request;
}

void CalculationDialog::accept() {
  const int row = std::max(0, mClasses->currentRow());
  if (mClassObjects[static_cast<std::size_t>(row)] && mSettings->isEnabled()) {
    auto values = ParseSettingsText(mSettings->text().toStdWString());
    if (!values) {
      ui::ShowMessageBox(mDialogs, FromUtf8(values.ErrorMessage()), windowTitle().toStdWString(), 0x30);
      return;
    }
  }
  if (!mClassObjects[static_cast<std::size_t>(row)] && mChannel->currentIndex() >= mDoc.File().ChannelCount()) {
    ui::ShowMessageBox(mDialogs, L"Choose a calculation for a new channel.", windowTitle().toStdWString(), 0x30);
    return;
  }
  QDialog::accept();
}

}  // namespace kymora::gui
