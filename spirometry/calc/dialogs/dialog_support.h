#pragma once
// What the extension's dialogs share: running through the host's dialog runner, the help button, the
// channel lists, number texts and the marking of a field whose value is out of range.
#include <QString>
#include <cstdint>
#include <string>

#include "host/com/com_ptr.h"
#include "host/data/ichannel_data.h"
#include "host/frame/ihost_document.h"

class QComboBox;
class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QWidget;

namespace Spirometry::Dialogs {

inline constexpr const wchar_t* kHelpFile = L"SpirometryHelp";
inline constexpr std::uint32_t kExclamationBox = 0x30;
inline constexpr std::uint32_t kErrorBox = 0x10;

// True when the host runs dialogs: it has a dialog runner and the process a widget application. The
// command line has neither, and a dialog must not even be made there.
bool CanRunDialogs(IHostDocument* host);
// Runs the dialog modally through the host's dialog runner: QDialog::Accepted or Rejected. A host without
// one (the command line) cannot show dialogs, and the dialog counts as cancelled.
int RunModal(IHostDocument* host, QDialog* dialog);

// The host's channel data, or null.
ComPtr<IChannelData> ChannelDataOf(IHostDocument* host);

// OK, Cancel and Help with the control ids 1, 2 and 9 as object names; Help opens the topic.
QDialogButtonBox* StandardButtons(QDialog* dialog, IHostDocument* host, const wchar_t* helpTopic);

// A channel's name in lists and captions: its title, or "Channel N" when it has none.
std::wstring ChannelName(IChannelData* data, std::int32_t channel);
// Every channel of the file, the entry's data its zero-based number; the given channel selected.
void FillChannelList(QComboBox* box, IChannelData* data, std::int32_t selected);
// The zero-based channel of the selected entry, or the fallback when nothing is selected.
std::int32_t SelectedChannel(const QComboBox* box, std::int32_t fallback);

// A number as default stream formatting writes it (six significant digits, classic locale).
std::wstring StreamNumber(double value);
// printf formatting in the classic locale, "%.3g" or "%.5g".
QString FormatNumber(const char* format, double value);
// The edit's text as a decimal number (classic locale, surrounding blanks allowed); false when unreadable.
bool ReadNumber(const QLineEdit* edit, double* value);

// Shows a field in the error font while its value is invalid (its "invalid" property follows).
void MarkInvalid(QWidget* field, bool invalid);
bool IsMarkedInvalid(const QWidget* field);

}  // namespace Spirometry::Dialogs
