// The desktop program end to end on a real X server (run under xvfb-run): the sample recording opens, a
// drag selects, a menu opens, the file is saved and opened again with its selection, and the pictures show
// the traces where the samples put them.
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <fstream>
#include <sstream>

#include "apps/kymora-gui/chart/chart_view.h"
#include "apps/kymora-gui/main_window.h"
#include "host/com/runtime.h"
#include "host/frame/extension_loader.h"
#include "host/frame/host_registry.h"

using namespace kymora;
using namespace kymora::gui;

namespace {
// The sample recording read here, apart from the program: one value per millisecond.
std::vector<double> ReadSamples(const std::string& path) {
  std::ifstream in(path);
  std::vector<double> values;
  std::string line;
  bool header = false;
  while (std::getline(in, line)) {
    if (line.rfind("# block", 0) == 0) break;  // the first block only
    if (line.empty() || line[0] == '#') continue;
    if (!header) {
      header = true;
      continue;
    }
    values.push_back(std::stod(line.substr(line.find(',') + 1)));
  }
  return values;
}

bool Near(QRgb a, QColor b, int tolerance = 40) {
  return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) + std::abs(qBlue(a) - b.blue()) <= tolerance;
}

// The picture is not blank: many colours, and the trace's colour in many places.
void CheckNotBlank(const QImage& image) {
  QSet<QRgb> colours;
  int trace = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) {
      colours.insert(image.pixel(x, y));
      trace += Near(image.pixel(x, y), chart::TraceColour(0)) ? 1 : 0;
    }
  QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
  QVERIFY2(trace > 300, qPrintable(QString::number(trace)));
}
}  // namespace

class GuiEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    HostRegistry::RegisterWithComponentLibrary();
    KymCoInitialize();
    LoadExtensions(KYMORA_EXTENSIONS_DIR);
    mSamples = ReadSamples(mSample.toStdString());
    QCOMPARE(mSamples.size(), std::size_t{180000});
  }

  void selectSaveReopenAndLook() {
    MainWindow window(std::filesystem::path(KYMORA_HELP_DIR));
    window.resize(1200, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Services().Dialogs().SetInterceptor([](QDialog*) { return 0; });
    QVERIFY(window.OpenFile(mSample));
    auto* chart = window.Chart();
    QTRY_VERIFY_WITH_TIMEOUT(chart->SummariesReady(), 30000);

    // A drag from 30 % to 50 % of the trace area's width; the whole recording (its blocks laid end to end)
    // spans the width.
    const auto layout = chart->Layout();
    const int y = layout.rows[0].top + layout.rows[0].height / 2;
    const int x0 = layout.traceLeft + layout.traceWidth * 3 / 10, x1 = layout.traceLeft + layout.traceWidth / 2;
    QTest::mousePress(chart, Qt::LeftButton, {}, QPoint(x0, y));
    QTest::mouseMove(chart, QPoint((x0 + x1) / 2, y));
    QTest::mouseMove(chart, QPoint(x1, y));
    QTest::mouseRelease(chart, Qt::LeftButton, {}, QPoint(x1, y));
    const Selection selected = window.Document()->File().selection;
    QVERIFY(selected.valid);
    double seconds = 0.0;
    for (const auto& block : window.Document()->File().blocks) seconds += block.length * block.secsPerTick;
    const double perPixel = seconds / layout.traceWidth;
    QCOMPARE(selected.start.block, 0);
    QCOMPARE(selected.end.block, 0);
    QVERIFY(std::abs(selected.start.offset - (x0 - layout.traceLeft) * perPixel * 1000) <= 1);
    QVERIFY(std::abs(selected.end.offset - (x1 - layout.traceLeft) * perPixel * 1000) <= 1);

    // Open a menu with the mouse, and close it again.
    auto* bar = window.menuBar();
    QAction* fileAction = bar->actions().front();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(fileAction).center());
    QTRY_VERIFY(fileAction->menu()->isVisible());
    QTest::keyClick(fileAction->menu(), Qt::Key_Escape);
    QTRY_VERIFY(!fileAction->menu()->isVisible());

    // Save: a recording is saved as a new .kymo file.
    const QString saved = mTemp.filePath(QStringLiteral("demo.kymo"));
    window.SetFileChooser([&](FileDialogKind kind, const QString&, const QString&) {
      return kind == FileDialogKind::kSaveAs ? saved : QString();
    });
    window.FindMenuAction(QStringLiteral("File>Save"))->trigger();
    QVERIFY(QFile::exists(saved));
    QVERIFY(!window.IsModified());

    MainWindow reopened(std::filesystem::path(KYMORA_HELP_DIR));
    reopened.resize(1200, 700);
    reopened.show();
    QVERIFY(QTest::qWaitForWindowExposed(&reopened));
    QVERIFY(reopened.OpenFile(saved));
    QCOMPARE(reopened.Document()->File().selection, selected);
    QTRY_VERIFY_WITH_TIMEOUT(reopened.Chart()->SummariesReady(), 30000);
    QTest::qWait(50);
    const QImage shot = reopened.Picture();
    shot.save(mTemp.filePath(QStringLiteral("reopened.png")));
    CheckNotBlank(shot);
    CheckTraces(reopened, shot);
  }

  void programWritesItsPicture() {
    const QString out = mTemp.filePath(QStringLiteral("shot.png"));
    QProcess program;
    program.start(QStringLiteral(KYMORA_GUI_BIN),
                  {mSample, QStringLiteral("--screenshot"), out, QStringLiteral("--select"), QStringLiteral("40-60"),
                   QStringLiteral("--size"), QStringLiteral("1000x600")});
    QVERIFY(program.waitForFinished(60000));
    QVERIFY2(program.exitCode() == 0, program.readAllStandardError().constData());
    QImage shot(out);
    QCOMPARE(shot.size(), QSize(1000, 600));
    CheckNotBlank(shot);
    // The selection's colour (over white) left of the middle, where 40 to 60 s lie; none right of it.
    int selectedAt50 = 0, selectedAt100 = 0;
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, shot.height() / 2);
      if (Near(p, QColor(214, 226, 245), 12)) (x < shot.width() * 0.6 ? selectedAt50 : selectedAt100)++;
    }
    QVERIFY2(selectedAt50 > 50, qPrintable(QString::number(selectedAt50)));
    QCOMPARE(selectedAt100, 0);
    QProcess wrong;
    wrong.start(QStringLiteral(KYMORA_GUI_BIN), {mSample, QStringLiteral("--screenshot"), out, QStringLiteral("--open"),
                                                 QStringLiteral("Nowhere>Nothing")});
    QVERIFY(wrong.waitForFinished(60000));
    QCOMPARE(wrong.exitCode(), 2);
  }

  // The report window's page, drawn by the browser engine on the X server: the five boxes of the selection's
  // report (settings, selection, one forced breath, summary, non-forced averages) with their dark headings.
  void programPicturesTheReportWindow() {
    // The sample with its flow and volume channels and the spirometry settings, made by the command line.
    const QString kymora = QFileInfo(QStringLiteral(KYMORA_GUI_BIN)).dir().filePath(QStringLiteral("kymora"));
    const QString file = mTemp.filePath(QStringLiteral("spirometry.kymo"));
    for (const QStringList& args :
         {QStringList{QStringLiteral("import"), mSample, file},
          QStringList{QStringLiteral("spirometry"), file, QStringLiteral("--raw-channel"), QStringLiteral("1"),
                      QStringLiteral("--preset"), QStringLiteral("3"), QStringLiteral("--save")}}) {
      QProcess step;
      step.start(kymora, args);
      QVERIFY(step.waitForFinished(60000));
      QVERIFY2(step.exitCode() == 0, step.readAllStandardError().constData());
    }
    const QStringList report{file, QStringLiteral("--select"), QStringLiteral("40-60"), QStringLiteral("--open"),
                             QStringLiteral("Spirometry>Report")};
    const QImage shot = Picture(report, QStringLiteral("report.png"));
    QVERIFY(!shot.isNull());
    int heading = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) heading += shot.pixel(x, y) == qRgb(0x2f, 0x5d, 0x7c) ? 1 : 0;
    QVERIFY2(heading > 5 * 300 * 25, qPrintable(QString::number(heading)));

    // Its print preview, in the middle of the window: the page laid out for paper, with its text.
    const QImage preview =
        Picture(report + QStringList{QStringLiteral("--open"), QStringLiteral("File>Print Preview...")},
                QStringLiteral("report-preview.png"));
    QVERIFY(!preview.isNull());
    int text = 0;
    const QPoint centre = preview.rect().center();
    for (int y = centre.y() - 200; y < centre.y() + 300; ++y)
      for (int x = centre.x() - 380; x < centre.x() + 380; ++x) text += qGray(preview.pixel(x, y)) < 90 ? 1 : 0;
    QVERIFY2(text > 2000, qPrintable(QString::number(text)));
  }

 private:
  // Runs the program to write a picture (OUT in the test's folder) with the arguments; a null image on failure.
  QImage Picture(QStringList args, const QString& name) {
    const QString out = mTemp.filePath(name);
    args << QStringLiteral("--screenshot") << out;
    QProcess program;
    program.start(QStringLiteral(KYMORA_GUI_BIN), args);
    if (!program.waitForFinished(120000) || program.exitCode() != 0) {
      qWarning("%s", program.readAllStandardError().constData());
      return {};
    }
    return QImage(out);
  }

  // In 24 columns across the trace area: the trace's colour lies between the samples' minimum and maximum
  // of that column's stretch of time (mapped by the scale the channel shows), and nowhere away from the
  // samples of the column and its neighbours.
  void CheckTraces(MainWindow& window, const QImage& shot) {
    auto* chart = window.Chart();
    const auto layout = chart->Layout();
    const auto range = chart->Content().channels[0].range;
    const auto& row = layout.rows[0];
    const QPoint origin = chart->mapTo(&window, QPoint(0, 0));
    double seconds = 0.0;
    for (const auto& block : window.Document()->File().blocks) seconds += block.length * block.secsPerTick;
    const double perPixel = seconds / layout.traceWidth;
    auto yOf = [&](double v) {
      return origin.y() + row.top + (range.top - v) / (range.top - range.bottom) * row.height;
    };
    // The samples' range in columns [from, to).
    auto samplesIn = [&](int from, int to) {
      const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(from * perPixel * 1000)));
      const auto last = std::min(mSamples.size(), static_cast<std::size_t>(std::ceil(to * perPixel * 1000)));
      std::pair<double, double> r{mSamples[first], mSamples[first]};
      for (auto i = first; i < last; ++i) r = {std::min(r.first, mSamples[i]), std::max(r.second, mSamples[i])};
      return r;
    };
    for (int k = 1; k < 25; ++k) {
      const int c = layout.traceWidth * k / 25;
      const auto own = samplesIn(c, c + 1);
      // A column is drawn from its minimum to its maximum, stretched to meet the column before it.
      const auto near = samplesIn(c - 1, c + 2);
      const int x = origin.x() + layout.traceLeft + c;
      int inside = 0, outside = 0;
      for (int py = origin.y() + row.top + 1; py < origin.y() + row.top + row.height - 1; ++py) {
        if (Near(shot.pixel(x, py), chart::TraceColour(0)) || Near(shot.pixel(x + 1, py), chart::TraceColour(0)))
          inside += py >= yOf(own.second) - 3 && py <= yOf(own.first) + 3 ? 1 : 0;
        if (Near(shot.pixel(x, py), chart::TraceColour(0)))
          outside += py < yOf(near.second) - 3 || py > yOf(near.first) + 3 ? 1 : 0;
      }
      QVERIFY2(inside > 0, qPrintable(QStringLiteral("column %1: no trace where its samples are").arg(c)));
      QVERIFY2(outside == 0,
               qPrintable(QStringLiteral("column %1: %2 trace pixels away from the samples").arg(c).arg(outside)));
    }
  }

  QTemporaryDir mTemp;
  const QString mSample = QStringLiteral(KYMORA_SAMPLES_DIR "/spirometry_demo.csv");
  std::vector<double> mSamples;
};

QTEST_MAIN(GuiEndToEndTest)
#include "gui_end_to_end_test.moc"
