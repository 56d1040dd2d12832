#include "host/ui/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "host/ui/dialog_runner.h"

namespace kymora::ui {

MessageBoxLayout LayoutOfStyle(std::uint32_t style) {
  using namespace Answer;
  MessageBoxLayout layout;
  switch (style & 0xF) {
    case 1:
      layout.answers = {kOk, kCancel};
      break;
    case 2:
      layout.answers = {kAbort, kRetry, kIgnore};
      break;
    case 3:
      layout.answers = {kYes, kNo, kCancel};
      break;
    case 4:
      layout.answers = {kYes, kNo};
      break;
    case 5:
      layout.answers = {kRetry, kCancel};
      break;
    default:
      layout.answers = {kOk};
      break;
  }
  const std::size_t defaultIndex = (style >> 8) & 0xF;
  layout.defaultAnswer = layout.answers[defaultIndex < layout.answers.size() ? defaultIndex : 0];
  // Closing the box is Cancel where there is one; a yes/no question closes as No, abort/retry/ignore as
  // Abort, a lone OK as OK.
  layout.escapeAnswer = layout.answers.back() == kCancel ? kCancel
                        : layout.answers.front() == kYes ? kNo
                                                         : layout.answers.front();
  switch ((style >> 4) & 0xF) {
    case 1:
      layout.icon = MessageIcon::kError;
      break;
    case 2:
      layout.icon = MessageIcon::kQuestion;
      break;
    case 3:
      layout.icon = MessageIcon::kWarning;
      break;
    case 4:
      layout.icon = MessageIcon::kInformation;
      break;
    default:
      break;
  }
  return layout;
}

namespace {
QMessageBox::StandardButton ButtonOf(int answer) {
  switch (answer) {
    case Answer::kCancel:
      return QMessageBox::Cancel;
    case Answer::kAbort:
      return QMessageBox::Abort;
    case Answer::kRetry:
      return QMessageBox::Retry;
    case Answer::kIgnore:
      return QMessageBox::Ignore;
    case Answer::kYes:
      return QMessageBox::Yes;
    case Answer::kNo:
      return QMessageBox::No;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}
}  // namespace

int ShowMessageBox(DialogRunner& runner, const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
  const auto layout = LayoutOfStyle(style);
  QMessageBox box;
  box.setWindowTitle(caption.empty() ? QStringLiteral("Kymora") : QString::fromStdWString(caption));
  box.setText(QString::fromStdWString(text));
  box.setIcon(IconOf(layout.icon));
  QMessageBox::StandardButtons buttons;
  for (int a : layout.answers) buttons |= ButtonOf(a);
  box.setStandardButtons(buttons);
  box.setDefaultButton(ButtonOf(layout.defaultAnswer));
  box.setEscapeButton(ButtonOf(layout.escapeAnswer));
  runner.Run(&box);
  if (auto* clicked = box.clickedButton())
    for (int a : layout.answers)
      if (box.standardButton(clicked) == ButtonOf(a)) return a;
  return layout.escapeAnswer;
}

}  // namespace kymora::ui
