#include "apps/kymora-gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <cmath>

#include "apps/kymora-gui/chart/chart_view.h"
#include "host/com/text.h"
#include "host/frame/document_events.h"
#include "host/frame/host_registry.h"
#include "host/ui/browser/html_window.h"
#include "host/ui/command_menus.h"
#include "host/ui/message_box.h"

namespace kymora::gui {

namespace {
QString Plain(const QString& caption) { return QString::fromStdWString(ui::PlainCaption(caption.toStdWString())); }
}  // namespace

MainWindow::MainWindow(std::filesystem::path helpRoot)
    : mArea(new QMdiArea),
      mChart(new chart::ChartView),
      mSelectionText(new QLabel),
      mCursorText(new QLabel),
      mProgress(new QProgressBar) {
  setObjectName(QStringLiteral("MainWindow"));
  setCentralWidget(mArea);
  mServices = MakeCom<ui::DesktopServices>(mArea, this, std::move(helpRoot));
  mServices->SetBrowser(MakeCom<ui::BrowserService>(&mServices->Printing()));

  mChartWindow = mArea->addSubWindow(mChart);
  mChartWindow->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint);
  mChartWindow->setWindowTitle(QStringLiteral("Chart"));
  mChartWindow->showMaximized();

  mProgress->setMaximumWidth(180);
  mProgress->setTextVisible(true);
  mProgress->setFormat(QStringLiteral("Summaries %p%"));
  mProgress->hide();
  mSelectionText->setObjectName(QStringLiteral("selectionText"));
  mCursorText->setObjectName(QStringLiteral("cursorText"));
  statusBar()->addWidget(mSelectionText, 1);
  statusBar()->addWidget(mCursorText, 2);
  statusBar()->addPermanentWidget(mProgress);

  mChart->onSelectionChanged = [this](const Selection& s) {
    if (mDoc) mDoc->SetSelection(s);  // the documents hear of it (and through them their views)
    UpdateSelectionText();
  };
  mChart->onCursorMoved = [this](double seconds) { UpdateCursorText(seconds); };
  mChart->onSummaryProgress = [this](std::int64_t done, std::int64_t total) {
    mProgress->setVisible(total > 0 && done < total);
    mProgress->setRange(0, 1000);
    mProgress->setValue(total > 0 ? static_cast<int>(1000.0 * static_cast<double>(done) / static_cast<double>(total))
                                  : 1000);
  };

  BuildMenus();
  QSettings settings;
  if (!restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray())) resize(1280, 800);
  restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
  UpdateTitle();
  UpdateSelectionText();

  // The extensions mark their documents changed without telling anyone; the title follows now and then.
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this] { UpdateTitle(); });
  poll->start(500);
}

MainWindow::~MainWindow() { CloseDocument(); }

void MainWindow::BuildMenus() {
  auto* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(QStringLiteral("&Open..."), QKeySequence::Open, this, [this] { OnOpen(); });
  mRecentMenu = file->addMenu(QStringLiteral("Open &Recent"));
  connect(mRecentMenu, &QMenu::aboutToShow, this, [this] { RebuildRecentMenu(); });
  file->addAction(QStringLiteral("&Save"), QKeySequence::Save, this, [this] { Save(); });
  file->addAction(QStringLiteral("Save &As..."), QKeySequence::SaveAs, this, [this] { OnSaveAs(); });
  mExportMenu = file->addMenu(QStringLiteral("&Export"));
  connect(mExportMenu, &QMenu::aboutToShow, this, [this] { RebuildExportMenu(); });
  file->addSeparator();
  file->addAction(QStringLiteral("Page Set&up..."), this, [this] { OnPrint(HostCommands::kPrintSetup); });
  file->addAction(QStringLiteral("Print Pre&view..."), this, [this] { OnPrint(HostCommands::kPrintPreview); });
  file->addAction(QStringLiteral("&Print..."), QKeySequence::Print, this, [this] { OnPrint(HostCommands::kPrint); });
  file->addSeparator();
  file->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, this, [this] { close(); });

  auto* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  auto* copy = edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, this, [this] { OnCopy(); });
  connect(edit, &QMenu::aboutToShow, this, [this, copy] {
    std::wstring text;
    auto* view = ActiveExtensionView();
    copy->setText(view && view->GetCommandText(HostCommands::kCopy, &text) == S_OK ? QString::fromStdWString(text)
                                                                                   : QStringLiteral("&Copy Chart"));
  });

  auto* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(QStringLiteral("Zoom &In"), QKeySequence::ZoomIn, this, [this] { mChart->ZoomTime(2); });
  view->addAction(QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut, this, [this] { mChart->ZoomTime(0.5); });
  view->addAction(QStringLiteral("Show &All"), QKeySequence(Qt::CTRL | Qt::Key_0), this, [this] { mChart->ShowAll(); });
  view->addAction(QStringLiteral("Zoom to &Selection"), this, [this] {
    const auto& c = mChart->Content();
    if (c.selection.valid)
      mChart->ShowSeconds(c.timeline.SecondsOf(c.selection.start), c.timeline.SecondsOf(c.selection.end));
  });
  view->addSeparator();
  view->addAction(QStringLiteral("Channel Zoom I&n"), QKeySequence(Qt::CTRL | Qt::Key_Up), this,
                  [this] { mChart->ZoomChannel(mChart->CurrentChannel(), 1.5); });
  view->addAction(QStringLiteral("Channel Zoom O&ut"), QKeySequence(Qt::CTRL | Qt::Key_Down), this,
                  [this] { mChart->ZoomChannel(mChart->CurrentChannel(), 1 / 1.5); });
  view->addAction(QStringLiteral("&Fit Channel"), this, [this] { mChart->FitChannel(mChart->CurrentChannel()); });
  view->addAction(QStringLiteral("Fit All C&hannels"), this, [this] {
    for (int c = 0; c < static_cast<int>(mChart->Content().channels.size()); ++c) mChart->FitChannel(c);
  });

  auto* channel = menuBar()->addMenu(QStringLiteral("&Channel"));
  mChannelHeader = channel->addAction(QString());
  mChannelHeader->setEnabled(false);
  channel->addSeparator();
  channel->addAction(QStringLiteral("&Title..."), this, [this] { OnChannelTitle(); });
  channel->addAction(QStringLiteral("&Units..."), this, [this] { OnChannelUnits(); });
  channel->addAction(QStringLiteral("Units C&onversion..."), this, [this] { OnChannelConversion(); });
  channel->addAction(QStringLiteral("&Range..."), this, [this] { OnChannelRange(); });
  channel->addSeparator();
  channel->addAction(QStringLiteral("&Calculation..."), this, [this] { OnCalculation(); });
  connect(channel, &QMenu::aboutToShow, this, [this, channel] {
    const int c = mChart->CurrentChannel();
    const bool any = mDoc && c < mDoc->File().ChannelCount();
    mChannelHeader->setText(
        any ? QStringLiteral("Channel %1: %2")
                  .arg(c + 1)
                  .arg(QString::fromStdWString(mDoc->File().channels[static_cast<std::size_t>(c)].title))
            : QStringLiteral("No channel"));
    for (auto* a : channel->actions())
      if (a != mChannelHeader && !a->isSeparator())
        a->setEnabled(mDoc != nullptr && (any || a->text().contains(QStringLiteral("Calculation"))));
  });

  mWindowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
  mWindowMenuAction = mWindowMenu->menuAction();
  connect(mWindowMenu, &QMenu::aboutToShow, this, [this] { RebuildWindowMenu(); });
  mHelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
  connect(mHelpMenu, &QMenu::aboutToShow, this, [this] { RebuildHelpMenu(); });
  BuildExtensionMenus();
}

void MainWindow::BuildExtensionMenus() {
  auto menus = ui::LayOutMenus(HostRegistry::Current()->Menus().Entries());
  ui::AddCommandMenus(
      menuBar(), mWindowMenuAction, menus,
      [this](const ui::MenuItemSpec& item) { RunExtensionCommand(item.commandId, item.documentType); },
      [this](const ui::MenuItemSpec& item, CommandState& state) {
        UpdateExtensionCommand(item.commandId, item.documentType, state);
      });
}

void MainWindow::RebuildWindowMenu() {
  mWindowMenu->clear();
  mWindowMenu->addAction(QStringLiteral("&Tile"), mArea, &QMdiArea::tileSubWindows);
  mWindowMenu->addAction(QStringLiteral("&Cascade"), mArea, &QMdiArea::cascadeSubWindows);
  mWindowMenu->addSeparator();
  int n = 1;
  for (auto* sub : mArea->subWindowList()) {
    auto* a = mWindowMenu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(sub->windowTitle()), this,
                                     [this, sub] { mArea->setActiveSubWindow(sub); });
    a->setCheckable(true);
    a->setChecked(sub == mArea->activeSubWindow());
  }
}

void MainWindow::RebuildHelpMenu() {
  mHelpMenu->clear();
  std::error_code ec;
  const auto& root = mServices->Help().Root();
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(root, ec))
    if (entry.is_directory(ec) && std::filesystem::exists(entry.path() / "index.html", ec))
      files.push_back(entry.path());
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    return (a.filename() != "Kymora") < (b.filename() != "Kymora") ||
           ((a.filename() != "Kymora") == (b.filename() != "Kymora") && a < b);
  });
  for (const auto& f : files) {
    const auto name = f.filename().wstring();
    QString title = QString::fromStdWString(name);
    if (title.endsWith(QStringLiteral("Help"))) title.chop(4);
    mHelpMenu->addAction(QStringLiteral("%1 Help").arg(title), this,
                         [this, name] { mServices->ShowHelp(name.c_str(), L""); });
  }
  if (files.empty()) mHelpMenu->addAction(QStringLiteral("No help pages are installed"))->setEnabled(false);
  mHelpMenu->addSeparator();
  mHelpMenu->addAction(QStringLiteral("&About Kymora"), this, [this] {
    Message("Kymora, a recording host with its extensions, version " + std::string(KYMORA_VERSION) + ".", 0x40);
  });
}

QAction* MainWindow::FindMenuAction(const QString& path) const {
  const auto parts = path.split(QLatin1Char('>'));
  if (parts.size() < 2) return nullptr;
  QList<QAction*> actions = menuBar()->actions();
  for (int i = 0; i < parts.size(); ++i) {
    const QString wanted = Plain(parts[i].trimmed());
    QAction* found = nullptr;
    for (auto* a : actions) {
      if (a->isSeparator()) continue;
      // A submenu's contents may be built when it opens.
      const QString itemName = a->objectName().section(QLatin1Char('|'), -1);
      if (Plain(a->text()).compare(wanted, Qt::CaseInsensitive) == 0 ||
          itemName.compare(wanted, Qt::CaseInsensitive) == 0) {
        found = a;
        break;
      }
    }
    if (!found) return nullptr;
    if (i == parts.size() - 1) return found->menu() ? nullptr : found;
    if (!found->menu()) return nullptr;
    emit found->menu()->aboutToShow();
    actions = found->menu()->actions();
  }
  return nullptr;
}

QImage MainWindow::Picture(QWidget* dialog) {
  QImage image = grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (!dialog) return image;
  const QImage inner = dialog->grab().toImage();
  QPainter p(&image);
  const int bar = 26;
  const QSize size(inner.width() + 2, inner.height() + bar + 1);
  const QPoint at((image.width() - size.width()) / 2, std::max(0, (image.height() - size.height()) / 2));
  p.fillRect(QRect(at + QPoint(4, 4), size), QColor(0, 0, 0, 60));  // a shadow
  p.fillRect(QRect(at, size), QColor(70, 80, 95));
  p.setPen(Qt::white);
  p.drawText(QRect(at.x() + 10, at.y(), size.width() - 20, bar), Qt::AlignVCenter | Qt::AlignLeft,
             dialog->windowTitle());
  p.drawImage(at + QPoint(1, bar), inner);
  return image;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!MaybeSave()) {
    event->ignore();
    return;
  }
  QSettings settings;
  settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("window/state"), saveState());
  CloseDocument();
  if (auto* help = mServices->Help().Window()) help->close();
  event->accept();
}

void MainWindow::UpdateTitle() {
  const QString name =
      mPath.isEmpty() ? QStringLiteral("Kymora") : QFileInfo(mPath).fileName() + QStringLiteral("[*] - Kymora");
  if (windowTitle() != name) setWindowTitle(name);
  setWindowModified(IsModified());
  mChartWindow->setWindowTitle(mPath.isEmpty() ? QStringLiteral("Chart") : QFileInfo(mPath).fileName());
}

void MainWindow::SelectSeconds(double from, double to) {
  if (!mDoc) return;
  const auto selection = chart::SelectionOfSeconds(mChart->Content().timeline, from, to);
  mChart->SetSelection(selection);
  mDoc->SetSelection(selection);
  UpdateSelectionText();
}

void MainWindow::UpdateSelectionText() {
  const auto& c = mChart->Content();
  if (!mDoc || !c.selection.valid) {
    mSelectionText->setText(mDoc ? QStringLiteral("No selection") : QString());
    return;
  }
  const double t0 = c.timeline.SecondsOf(c.selection.start), t1 = c.timeline.SecondsOf(c.selection.end);
  auto at = [](double t, DataPosition p) {
    return QStringLiteral("%1 s (block %2)").arg(QString::number(t, 'f', 3)).arg(p.block + 1);
  };
  mSelectionText->setText(
      QStringLiteral("Selection %1 to %2, %3 s")
          .arg(at(t0, c.selection.start), at(t1, c.selection.end), QString::number(t1 - t0, 'f', 3)));
}

void MainWindow::UpdateCursorText(double seconds) {
  if (std::isnan(seconds) || !mDoc) {
    mCursorText->clear();
    return;
  }
  const auto& c = mChart->Content();
  const auto p = c.timeline.PositionAt(seconds);
  QString text = QStringLiteral("t = %1 s (block %2)").arg(QString::number(seconds, 'f', 3)).arg(p.block + 1);
  for (int ch = 0; ch < static_cast<int>(c.channels.size()); ++ch) {
    const double v = mChart->ValueAt(ch, seconds);
    text += QStringLiteral("   Ch%1 %2 %3")
                .arg(ch + 1)
                .arg(std::isnan(v) ? QStringLiteral("-") : QString::fromStdString(chart::ValueText(v)))
                .arg(QString::fromStdWString(c.channels[static_cast<std::size_t>(ch)].units));
  }
  mCursorText->setText(text);
}

void MainWindow::Message(const std::string& text, std::uint32_t style) {
  ui::ShowMessageBox(mServices->Dialogs(), FromUtf8(text), L"Kymora", style);
}

int MainWindow::Ask(const std::wstring& text, std::uint32_t style) {
  return ui::ShowMessageBox(mServices->Dialogs(), text, L"Kymora", style);
}

}  // namespace kymora::gui
