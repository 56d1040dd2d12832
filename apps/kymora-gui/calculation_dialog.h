#pragma once
// Channel > Calculation...: which channel (or a new one), which registered calculation (or none), and
// settings typed by name for calculations that take them. A class with a set-up dialog opens it on OK.
#include <QDialog>
#include <string>
#include <utility>
#include <vector>

#include "host/com/expected.h"
#include "host/frame/calculation_change.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace kymora::ui {
class DialogRunner;
}

namespace kymora::gui {

using SettingsList = std::vector<std::pair<std::wstring, std::wstring>>;

// "KEY=VALUE KEY=VALUE ...", separated by spaces; every word needs a key and an '='.
Expected<SettingsList> ParseSettingsText(const std::wstring& text);

class CalculationDialog final : public QDialog {
 public:
  // Messages about what was typed go through the runner's message boxes.
  CalculationDialog(HostDocument& doc, int currentChannel, ui::DialogRunner& dialogs, QWidget* parent = nullptr);

  // The request the dialog's choices make (no set-up dialog attached).
  CalculationRequest Request() const;

  QComboBox* ChannelBox() const { return mChannel; }
  QListWidget* ClassList() const { return mClasses; }
  QLineEdit* SettingsEdit() const { return mSettings; }
  // Stays open and says so when the settings are not KEY=VALUE words.
  void accept() override;

 private:
  void Describe();

  HostDocument& mDoc;
  ui::DialogRunner& mDialogs;
  std::vector<ComPtr<ICalculationClass>> mClassObjects;  // row 0 is "None"
  QComboBox* mChannel;
  QListWidget* mClasses;
  QLineEdit* mSettings;
  QLabel* mCurrent;
  QLabel* mNote;
};

}  // namespace kymora::gui
