// The main window's document: opening, saving, exporting, recent files, unsaved changes.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

#include "apps/kymora-gui/chart/chart_view.h"
#include "apps/kymora-gui/main_window.h"
#include "host/com/text.h"
#include "host/frame/ifile_save_as_class.h"
#include "host/ui/message_box.h"
#include "host/ui/qt_clipboard.h"

namespace kymora::gui {

namespace {
constexpr int kRecentFiles = 8;
const QString kRecentKey = QStringLiteral("files/recent");
const QString kFolderKey = QStringLiteral("files/lastFolder");
constexpr std::uint32_t kYesNoCancelQuestion = 0x23;

QString KymoPathFor(const QString& path) {
  QFileInfo info(path);
  return info.dir().filePath(info.completeBaseName() + QStringLiteral(".kymo"));
}
}  // namespace

QString MainWindow::ChooseFile(FileDialogKind kind, const QString& start, const QString& filter) {
  if (mChooseFile) return mChooseFile(kind, start, filter);
  switch (kind) {
    case FileDialogKind::kOpen:
      return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), start, filter);
    case FileDialogKind::kSaveAs:
      return QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), start, filter);
    case FileDialogKind::kExport:
      return QFileDialog::getSaveFileName(this, QStringLiteral("Export"), start, filter);
  }
  return {};
}

void MainWindow::RememberFile(const QString& path) {
  QSettings settings;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  auto recent = settings.value(kRecentKey).toStringList();
  recent.removeAll(absolute);
  recent.prepend(absolute);
  while (recent.size() > kRecentFiles) recent.removeLast();
  settings.setValue(kRecentKey, recent);
  settings.setValue(kFolderKey, QFileInfo(path).absolutePath());
}

void MainWindow::RebuildRecentMenu() {
  mRecentMenu->clear();
  const auto recent = QSettings().value(kRecentKey).toStringList();
  int n = 1;
  for (const auto& path : recent)
    mRecentMenu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(QDir::toNativeSeparators(path)), this,
                           [this, path] { OpenFile(path); });
  if (recent.isEmpty()) mRecentMenu->addAction(QStringLiteral("No recent files"))->setEnabled(false);
}

void MainWindow::OnOpen() {
  const QString start = QSettings().value(kFolderKey, QDir::homePath()).toString();
  const QString path =
      ChooseFile(FileDialogKind::kOpen, start,
                 QStringLiteral("Recordings (*.kymo *.csv *.txt *.tsv *.edf *.bdf *.wav);;All files (*)"));
  if (!path.isEmpty()) OpenFile(path);
}

bool MainWindow::IsModified() const { return mDoc && mDoc->Frame().Modified(); }

bool MainWindow::MaybeSave() {
  if (!IsModified()) return true;
  const auto name = QFileInfo(mPath).fileName().toStdWString();
  switch (Ask(L"Save the changes to " + name + L" before closing it?", kYesNoCancelQuestion)) {
    case ui::Answer::kYes:
      return Save();
    case ui::Answer::kNo:
      return true;
    default:
      return false;
  }
}

bool MainWindow::OpenFile(const QString& path) {
  if (!MaybeSave()) return false;
  std::vector<std::string> warnings;
  auto* dialogs = &mServices->Dialogs();
  auto messageBox = [dialogs](const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
    return ui::ShowMessageBox(*dialogs, text, caption, style);
  };
  // The document is read completely before the one open now is let go of: a refused file changes nothing.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto opened = HostDocument::Open(path.toStdString(), {}, messageBox, &warnings);
  QApplication::restoreOverrideCursor();
  if (!opened) {
    Message(opened.ErrorMessage());
    return false;
  }
  Install(std::move(*opened), path);
  RememberFile(path);
  if (!warnings.empty()) {
    std::string text;
    for (const auto& w : warnings) text += (text.empty() ? "" : "\n") + w;
    Message(text, 0x30);
  }
  return true;
}

void MainWindow::Install(std::unique_ptr<HostDocument> doc, const QString& path) {
  CloseDocument();
  mDoc = std::move(doc);
  mPath = path;
  mSavedAsKymo = mDoc->IsKymo();
  mDoc->UseClipboard(MakeCom<ui::QtClipboard>());
  auto& frame = mDoc->Frame();
  frame.SetServices(ComPtr<IUnknown>(static_cast<IViewHost*>(mServices.Get())));
  frame.SetHostWindow(reinterpret_cast<std::uintptr_t>(static_cast<QWidget*>(this)));
  frame.SetPostListener([this] {
    if (mDeliveryQueued) return;
    mDeliveryQueued = true;
    QTimer::singleShot(0, this, [this] {
      mDeliveryQueued = false;
      if (mDoc) mDoc->Frame().DeliverPosted();
      AfterDocumentChange();
    });
  });
  mServices->Attach(&frame);
  mChart->SetData(mDoc->DataInterface(), &mDoc->File());
  mArea->setActiveSubWindow(mChartWindow);
  UpdateTitle();
  UpdateSelectionText();
}

void MainWindow::CloseDocument() {
  if (!mDoc) return;
  // The views lose their windows (their widgets go back to them) before the documents close them.
  mServices->Attach(nullptr);
  mChart->SetData(nullptr, nullptr);
  mDoc.reset();
  mPath.clear();
  UpdateTitle();
  UpdateSelectionText();
}

bool MainWindow::Save() {
  if (!mDoc) return false;
  if (!mSavedAsKymo) {
    OnSaveAs();
    return mSavedAsKymo && !IsModified();
  }
  return SaveAs(mPath);
}

void MainWindow::OnSaveAs() {
  if (!mDoc) return;
  const QString start = mSavedAsKymo ? mPath : KymoPathFor(mPath);
  QString path = ChooseFile(FileDialogKind::kSaveAs, start, QStringLiteral("Kymora data files (*.kymo)"));
  if (path.isEmpty()) return;
  if (!IsKymoPath(path.toStdString())) path += QStringLiteral(".kymo");
  SaveAs(path);
}

bool MainWindow::SaveAs(const QString& path) {
  if (!mDoc) return false;
  if (!IsKymoPath(path.toStdString())) {
    Message(path.toStdString() + ": the data is saved as a .kymo file");
    return false;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto saved = mDoc->Save(path.toStdString());  // one transaction: a failure leaves the file as it was
  QApplication::restoreOverrideCursor();
  if (!saved) {
    Message("The file was not saved: " + saved.ErrorMessage());
    return false;
  }
  mDoc->Frame().ClearModified();
  mPath = path;
  mSavedAsKymo = true;
  RememberFile(path);
  UpdateTitle();
  return true;
}

void MainWindow::RebuildExportMenu() {
  mExportMenu->clear();
  if (mDoc)
    for (const auto& c : mDoc->Registry().ClassObjectsOf<IFileSaveAsClass>()) {
      std::wstring extension, description;
      if (Failed(c->GetFileType(&extension, &description))) continue;
      const auto label =
          QStringLiteral("%1 (*.%2)...").arg(QString::fromStdWString(description), QString::fromStdWString(extension));
      ComPtr<IUnknown> cls(c.Get());
      mExportMenu->addAction(label, this, [this, cls] { OnExport(cls); });
    }
  if (mExportMenu->isEmpty()) mExportMenu->addAction(QStringLiteral("No export is offered"))->setEnabled(false);
}

void MainWindow::OnExport(const ComPtr<IUnknown>& saveClass) {
  auto cls = saveClass.As<IFileSaveAsClass>();
  if (!mDoc || !cls) return;
  std::wstring extension, description;
  Guid type;
  cls->GetFileType(&extension, &description);
  cls->GetDocumentType(&type);
  const QString ext = QString::fromStdWString(extension);
  QFileInfo info(mPath);
  QString path =
      ChooseFile(FileDialogKind::kExport, info.dir().filePath(info.completeBaseName() + QLatin1Char('.') + ext),
                 QStringLiteral("%1 (*.%2)").arg(QString::fromStdWString(description), ext));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + ext;
  auto document = mDoc->Frame().Document(type);
  if (!document) {
    Message(document.ErrorMessage());
    return;
  }
  // The class tells the user what went wrong itself.
  if (Succeeded(cls->Save(&mDoc->Frame(), document->Get(), path.toStdWString().c_str())))
    statusBar()->showMessage(QStringLiteral("Exported to %1").arg(QDir::toNativeSeparators(path)), 5000);
  AfterDocumentChange();
}

}  // namespace kymora::gui
