#pragma once
// The desktop program's main window: one data file at a time, its chart in a sub-window of the workspace
// beside the extensions' views, the menus (the host's and the extensions'), the status bar with the
// selection, the cursor readout and the progress of the summaries.
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>

#include "host/frame/host_document.h"
#include "host/frame/icommand_state.h"
#include "host/ui/desktop_services.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;

namespace kymora::chart {
class ChartView;
}

namespace kymora::gui {

enum class FileDialogKind { kOpen, kSaveAs, kExport };

class MainWindow final : public QMainWindow {
 public:
  // Chooses a file: the kind of question, the folder or file to start from, the filter. Empty: cancelled.
  using FileChooser = std::function<QString(FileDialogKind kind, const QString& start, const QString& filter)>;

  explicit MainWindow(std::filesystem::path helpRoot);
  ~MainWindow() override;

  // Opens a .kymo file or imports a recording, after asking about unsaved changes. A refused file leaves
  // the open document as it was. False when nothing was opened (the user has been told why).
  bool OpenFile(const QString& path);
  // Saves to the document's .kymo file (Save As for a recording that is not one yet).
  bool Save();
  bool SaveAs(const QString& path);
  // Asks about unsaved changes; false when the user cancels (or a save fails).
  bool MaybeSave();
  bool IsModified() const;

  HostDocument* Document() { return mDoc.get(); }
  const QString& FilePath() const { return mPath; }
  chart::ChartView* Chart() { return mChart; }
  ui::DesktopServices& Services() { return *mServices; }
  QMdiArea* Workspace() { return mArea; }
  // A menu command by its path of plain captions, "Spirometry>Report" or "File>Save As" (the last part may
  // also name an extension's item by its path name, "Report View"); null when there is none.
  QAction* FindMenuAction(const QString& path) const;
  void SetFileChooser(FileChooser chooser) { mChooseFile = std::move(chooser); }
  // Applies a selection in seconds on the chart's time axis, as a drag would.
  void SelectSeconds(double from, double to);
  // The window with its sub-windows as a picture, and the dialog (centred, with a title bar) when given.
  QImage Picture(QWidget* dialog = nullptr);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildExtensionMenus();
  void RebuildRecentMenu();
  void RebuildExportMenu();
  void RebuildWindowMenu();
  void RebuildHelpMenu();
  void Install(std::unique_ptr<HostDocument> doc, const QString& path);
  void CloseDocument();
  void UpdateTitle();
  void UpdateSelectionText();
  void UpdateCursorText(double seconds);
  void Message(const std::string& text, std::uint32_t style = 0x10);
  int Ask(const std::wstring& text, std::uint32_t style);
  QString ChooseFile(FileDialogKind kind, const QString& start, const QString& filter);
  void RememberFile(const QString& path);
  IDocView* ActiveExtensionView() const;
  bool ChartIsActive() const;

  // Commands
  void OnOpen();
  void OnSaveAs();
  void OnExport(const ComPtr<IUnknown>& saveClass);
  void OnCopy();
  void OnPrint(std::uint32_t command);
  void OnChannelTitle();
  void OnChannelUnits();
  void OnChannelConversion();
  void OnChannelRange();
  // The document is marked changed, the host told and the chart redrawn after a channel was edited.
  void AfterChannelEdit();
  void OnCalculation();
  void RunExtensionCommand(std::uint32_t commandId, const Guid& documentType);
  void UpdateExtensionCommand(std::uint32_t commandId, const Guid& documentType, CommandState& state);
  void AfterDocumentChange();

  std::unique_ptr<HostDocument> mDoc;
  QString mPath;  // the .kymo file or the recording the document came from
  bool mSavedAsKymo = false;
  ComPtr<ui::DesktopServices> mServices;
  QMdiArea* mArea;
  QMdiSubWindow* mChartWindow;
  chart::ChartView* mChart;
  QLabel* mSelectionText;
  QLabel* mCursorText;
  QProgressBar* mProgress;
  QMenu* mRecentMenu = nullptr;
  QMenu* mExportMenu = nullptr;
  QMenu* mWindowMenu = nullptr;
  QMenu* mHelpMenu = nullptr;
  QAction* mWindowMenuAction = nullptr;
  QAction* mChannelHeader = nullptr;
  FileChooser mChooseFile;
  bool mDeliveryQueued = false;
};

}  // namespace kymora::gui
