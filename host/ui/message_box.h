#pragma once
// The host's message boxes on the desktop: a style word (buttons in bits 0-3, icon in bits 4-7, default
// button in bits 8-11) becomes a QMessageBox, and the button chosen comes back as its answer code.
#include <cstdint>
#include <string>
#include <vector>

namespace kymora::ui {

class DialogRunner;

namespace Answer {
constexpr int kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7;
}

enum class MessageIcon { kNone, kError, kQuestion, kWarning, kInformation };

struct MessageBoxLayout {
  std::vector<int> answers;  // the buttons, left to right, as answer codes
  int defaultAnswer = Answer::kOk;
  int escapeAnswer = Answer::kOk;  // what closing the box (Escape, the window's close button) answers
  MessageIcon icon = MessageIcon::kNone;
};

MessageBoxLayout LayoutOfStyle(std::uint32_t style);

// Shows the box over the runner's main window; returns the answer code.
int ShowMessageBox(DialogRunner& runner, const std::wstring& text, const std::wstring& caption, std::uint32_t style);

}  // namespace kymora::ui
