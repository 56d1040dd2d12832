// The main window's commands: copy, print, the channel menu, the extensions' commands.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "apps/kymora-gui/calculation_dialog.h"
#include "apps/kymora-gui/chart/chart_view.h"
#include "apps/kymora-gui/chart_printout.h"
#include "apps/kymora-gui/main_window.h"
#include "host/calc/icalculation_setup.h"
#include "host/com/text.h"
#include "host/frame/document_events.h"
#include "host/ui/iclipboard_picture.h"
#include "host/ui/message_box.h"

namespace kymora::gui {

IDocView* MainWindow::ActiveExtensionView() const { return mServices->Views().ActiveView(); }

bool MainWindow::ChartIsActive() const { return mArea->activeSubWindow() == mChartWindow || !ActiveExtensionView(); }

void MainWindow::AfterDocumentChange() {
  if (!mDoc) return;
  mChart->SetSelection(mDoc->File().selection);
  UpdateSelectionText();
  UpdateTitle();
}

void MainWindow::OnCopy() {
  if (!mDoc) return;
  if (auto* view = ActiveExtensionView(); view && view->ExecuteCommand(HostCommands::kCopy) != S_FALSE) return;
  // The chart as a picture, at the size it has on the screen.
  ComPtr<IClipboard> clipboard;
  mDoc->Frame().QueryInterface(IClipboard::kIid, clipboard.PutVoid());
  auto pictures = clipboard.As<IClipboardPicture>();
  if (!pictures || Failed(clipboard->Open(0))) {
    Message("The clipboard could not be opened.");
    return;
  }
  clipboard->Empty();
  auto printout = MakeCom<ChartPrintout>(mChart, QFileInfo(mPath).fileName().toStdWString());
  const HRESULT hr = pictures->SetPicture(printout.Get(), mChart->width(), mChart->height());
  clipboard->Close();
  if (Failed(hr)) Message("The chart could not be copied.");
}

void MainWindow::OnPrint(std::uint32_t command) {
  if (!mDoc) return;
  if (command == HostCommands::kPrintSetup) {
    mServices->PageSetup();
    return;
  }
  if (auto* view = ActiveExtensionView(); view && !ChartIsActive() && view->ExecuteCommand(command) != S_FALSE) return;
  auto printout = MakeCom<ChartPrintout>(mChart, QFileInfo(mPath).fileName().toStdWString());
  if (command == HostCommands::kPrint)
    mServices->Print(printout.Get());
  else
    mServices->PrintPreview(printout.Get());
}

namespace {
// Sets a field of a channel in every block where the channel has recorded data; whether any changed.
template <class Value>
bool SetInBlocksWithData(DataFile& file, std::size_t channel, Value ChannelBlock::*field, const Value& value) {
  bool changed = false;
  for (auto& block : file.blocks) {
    auto& cb = block.channels[channel];
    if (cb.HasData() && cb.*field != value) {
      cb.*field = value;
      changed = true;
    }
  }
  return changed;
}
}  // namespace

void MainWindow::AfterChannelEdit() {
  mDoc->Frame().SetModified();
  mDoc->Frame().RaiseHostEvent(HostEvents::kChanged);
  mChart->Refresh();
  AfterDocumentChange();
}

void MainWindow::OnChannelTitle() {
  const int c = mChart->CurrentChannel();
  if (!mDoc || c >= mDoc->File().ChannelCount()) return;
  auto& channel = mDoc->File().channels[static_cast<std::size_t>(c)];
  QInputDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Channel %1 Title").arg(c + 1));
  dialog.setLabelText(QStringLiteral("Title:"));
  dialog.setTextValue(QString::fromStdWString(channel.title));
  if (mServices->Dialogs().Run(&dialog) != QDialog::Accepted) return;
  const QString title = dialog.textValue().trimmed();
  if (title.isEmpty()) {
    Message("A channel needs a title; it keeps \"" + ToUtf8(channel.title) + "\".", 0x30);
    return;
  }
  if (title.toStdWString() == channel.title) return;
  channel.title = title.toStdWString();
  AfterChannelEdit();
}

void MainWindow::OnChannelUnits() {
  const int c = mChart->CurrentChannel();
  if (!mDoc || c >= mDoc->File().ChannelCount()) return;
  auto& file = mDoc->File();
  if (file.channels[static_cast<std::size_t>(c)].calculation) {
    Message("The units of a calculated channel come from its calculation; set them in Channel > Calculation.", 0x40);
    return;
  }
  QInputDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Channel %1 Units").arg(c + 1));
  dialog.setLabelText(QStringLiteral("Units of the recorded samples:"));
  dialog.setTextValue(QString::fromStdWString(mChart->Content().channels[static_cast<std::size_t>(c)].units));
  if (mServices->Dialogs().Run(&dialog) != QDialog::Accepted) return;
  const std::wstring units = dialog.textValue().trimmed().toStdWString();
  if (SetInBlocksWithData(file, static_cast<std::size_t>(c), &ChannelBlock::units, units)) AfterChannelEdit();
}

// The user's units conversion of a recorded channel, set in every block where the channel has data: shown
// value = recorded value × scale + offset. Calculations go on reading the recorded values.
void MainWindow::OnChannelConversion() {
  const int c = mChart->CurrentChannel();
  if (!mDoc || c >= mDoc->File().ChannelCount()) return;
  auto& file = mDoc->File();
  const auto channel = static_cast<std::size_t>(c);
  const ChannelBlock* first = nullptr;
  for (const auto& block : file.blocks)
    if (!first && block.channels[channel].HasData()) first = &block.channels[channel];
  if (file.channels[channel].calculation || !first) {
    Message("A units conversion lies on recorded data; this channel has none to convert.", 0x40);
    return;
  }
  const auto current = first->userConversion.value_or(UserConversion{1.0, 0.0, first->units});
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Channel %1 Units Conversion").arg(c + 1));
  auto* scale = new QLineEdit(QString::fromStdString(chart::ValueText(current.scale)));
  auto* offset = new QLineEdit(QString::fromStdString(chart::ValueText(current.offset)));
  auto* units = new QLineEdit(QString::fromStdWString(current.units));
  auto* remove = new QCheckBox(QStringLiteral("&Remove the conversion (show the recorded values)"));
  scale->setObjectName(QStringLiteral("scale"));
  offset->setObjectName(QStringLiteral("offset"));
  units->setObjectName(QStringLiteral("units"));
  remove->setObjectName(QStringLiteral("remove"));
  remove->setChecked(!first->userConversion);
  auto* form = new QFormLayout(&dialog);
  form->addRow(QStringLiteral("Shown value = recorded value x &scale:"), scale);
  form->addRow(QStringLiteral("+ &offset:"), offset);
  form->addRow(QStringLiteral("Shown &units:"), units);
  form->addRow(remove);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (mServices->Dialogs().Run(&dialog) != QDialog::Accepted) return;
  std::optional<UserConversion> conversion;
  if (!remove->isChecked()) {
    bool okScale = false, okOffset = false;
    conversion = UserConversion{QLocale().toDouble(scale->text(), &okScale),
                                QLocale().toDouble(offset->text(), &okOffset), units->text().trimmed().toStdWString()};
    auto why = okScale && okOffset ? WhyNotUsable(*conversion)
                                   : std::optional<std::string>("the scale and the offset must be numbers");
    if (why) {
      Message("Cannot use this conversion: " + *why + ". The channel keeps what it had.", 0x30);
      return;
    }
  }
  if (SetInBlocksWithData(file, channel, &ChannelBlock::userConversion, conversion)) AfterChannelEdit();
}

void MainWindow::OnChannelRange() {
  const int c = mChart->CurrentChannel();
  if (!mDoc || c >= static_cast<int>(mChart->Content().channels.size())) return;
  const auto range = mChart->Content().channels[static_cast<std::size_t>(c)].range;
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Channel %1 Range").arg(c + 1));
  auto* top = new QLineEdit(QString::fromStdString(chart::ValueText(range.top)));
  auto* bottom = new QLineEdit(QString::fromStdString(chart::ValueText(range.bottom)));
  top->setObjectName(QStringLiteral("top"));
  bottom->setObjectName(QStringLiteral("bottom"));
  for (auto* e : {top, bottom}) e->setValidator(new QDoubleValidator(e));
  auto* form = new QFormLayout(&dialog);
  form->addRow(QStringLiteral("&Top:"), top);
  form->addRow(QStringLiteral("&Bottom:"), bottom);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (mServices->Dialogs().Run(&dialog) != QDialog::Accepted) return;
  bool okTop = false, okBottom = false;
  const double t = QLocale().toDouble(top->text(), &okTop), b = QLocale().toDouble(bottom->text(), &okBottom);
  if (!okTop || !okBottom || !std::isfinite(t) || !std::isfinite(b) || !(t > b)) {
    Message("The range needs two numbers with the top above the bottom; the channel keeps its range.", 0x30);
    return;
  }
  mChart->SetChannelRange(c, {b, t});
}

void MainWindow::OnCalculation() {
  if (!mDoc) return;
  CalculationDialog dialog(*mDoc, mChart->CurrentChannel(), mServices->Dialogs(), this);
  if (mServices->Dialogs().Run(&dialog) != QDialog::Accepted) return;
  auto request = dialog.Request();
  if (auto setup = request.cls.As<ICalculationSetup>()) {
    HostDocument* doc = mDoc.get();
    request.setup = [setup, doc](std::int32_t channel, IPersistObject* settings) {
      return setup->RunSetup(&doc->Frame(), channel, settings);
    };
  }
  auto changed = ChangeCalculation(*mDoc, request);
  if (!changed) {
    Message(changed.ErrorMessage() + "\nThe channel is as it was.", 0x30);
    return;
  }
  if (*changed == CalculationOutcome::kApplied) {
    mChart->Refresh();
    mChart->SetCurrentChannel(request.channel);
  }
  AfterDocumentChange();
}

void MainWindow::RunExtensionCommand(std::uint32_t commandId, const Guid& documentType) {
  if (!mDoc) {
    Message("Open a recording first.", 0x40);
    return;
  }
  auto& frame = mDoc->Frame();
  if (!documentType.IsNull()) {
    auto document = frame.Document(documentType);  // the document comes to life with its first command
    if (!document) {
      Message(document.ErrorMessage());
      return;
    }
  }
  if (frame.ExecuteCommand(commandId) == S_FALSE) Message("No document took the command.", 0x30);
  AfterDocumentChange();
}

void MainWindow::UpdateExtensionCommand(std::uint32_t commandId, const Guid& documentType, CommandState& state) {
  state.enabled = ToBool16(mDoc != nullptr);
  if (!mDoc) return;
  // A document that does not exist yet is not brought to life to answer: its commands are offered.
  auto document = mDoc->Frame().FindDocument(documentType);
  if (!document) return;
  if (auto full = document.As<ICommandState>(); full && full->UpdateCommandState(commandId, &state) == S_OK) return;
  Bool16 enabled = kTrue16;
  if (document->UpdateCommand(commandId, &enabled) == S_OK) state.enabled = enabled;
}

}  // namespace kymora::gui
