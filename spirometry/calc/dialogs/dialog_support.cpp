#include "spirometry/calc/dialogs/dialog_support.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <locale>
#include <sstream>

#include "host/ui/idialog_runner.h"
#include "host/ui/ihelp_service.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry::Dialogs {

namespace {
constexpr int kMsgChannelN = 31;
}

bool CanRunDialogs(IHostDocument* host) {
  ComPtr<IDialogRunner> runner;
  return host && Succeeded(host->QueryInterface(IDialogRunner::kIid, runner.PutVoid())) && runner &&
         qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

int RunModal(IHostDocument* host, QDialog* dialog) {
  ComPtr<IDialogRunner> runner;
  if (!host || Failed(host->QueryInterface(IDialogRunner::kIid, runner.PutVoid())) || !runner) return QDialog::Rejected;
  std::int32_t result = kDialogRejected;
  if (Failed(runner->RunModal(dialog, &result))) return QDialog::Rejected;
  return result == kDialogAccepted ? QDialog::Accepted : QDialog::Rejected;
}

ComPtr<IChannelData> ChannelDataOf(IHostDocument* host) {
  ComPtr<IChannelData> data;
  if (host) host->GetChannelData(data.Put());
  return data;
}

QDialogButtonBox* StandardButtons(QDialog* dialog, IHostDocument* host, const wchar_t* helpTopic) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
  buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("9"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  const std::wstring topic = helpTopic;
  QObject::connect(buttons, &QDialogButtonBox::helpRequested, dialog, [host, topic] {
    ComPtr<IHelpService> help;
    if (host && Succeeded(host->QueryInterface(IHelpService::kIid, help.PutVoid())) && help)
      help->ShowHelp(kHelpFile, topic.c_str());
  });
  return buttons;
}

std::wstring ChannelName(IChannelData* data, std::int32_t channel) {
  std::wstring title;
  if (data && data->GetChannelTitle(channel, &title) == S_OK && !title.empty()) return title;
  return FormatString(kMsgChannelN, {std::to_wstring(std::int64_t{channel} + 1)});
}

void FillChannelList(QComboBox* box, IChannelData* data, std::int32_t selected) {
  std::int32_t count = 0;
  if (data) data->GetChannelCount(&count);
  box->clear();
  for (std::int32_t c = 0; c < count; ++c) {
    box->addItem(QString::fromStdWString(ChannelName(data, c)), c);
    if (c == selected) box->setCurrentIndex(c);
  }
  if (selected < 0 || selected >= count) box->setCurrentIndex(-1);
}

std::int32_t SelectedChannel(const QComboBox* box, std::int32_t fallback) {
  const QVariant v = box->currentData();
  return v.isValid() ? v.toInt() : fallback;
}

std::wstring StreamNumber(double value) {
  std::wostringstream text;
  text.imbue(std::locale::classic());
  text << value;
  return text.str();
}

QString FormatNumber(const char* format, double value) {
  // Qt's printf writes numbers in the classic locale whatever the process's locale.
  return QString::asprintf(format, value);
}

bool ReadNumber(const QLineEdit* edit, double* value) {
  bool ok = false;
  const double v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
  if (ok) *value = v;
  return ok;
}

void MarkInvalid(QWidget* field, bool invalid) {
  if (IsMarkedInvalid(field) == invalid) return;
  field->setProperty("invalid", invalid);
  QFont font = field->font();
  font.setBold(invalid);
  field->setFont(font);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Text, invalid ? QColor(Qt::red) : QPalette().color(QPalette::Text));
  field->setPalette(palette);
}

bool IsMarkedInvalid(const QWidget* field) { return field->property("invalid").toBool(); }

}  // namespace Spirometry::Dialogs
