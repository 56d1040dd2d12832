// The data window, the flow-volume plot and their printouts on Qt's offscreen platform, over the real
// host with a flow-head recording made into flow and volume by the extension's calculations. Pages are
// drawn into images and checked where the geometry puts a band, a mark or a curve.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QTest>
#include <cmath>

#include "host/frame/document_events.h"
#include "host/frame/host_document.h"
#include "host/ui/qt_clipboard.h"
#include "spirometry/document/document_test_host.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/extension/test_host.h"
#include "spirometry/views/spiro_data_wnd.h"
#include "spirometry/views/spiro_printouts.h"
#include "spirometry/views/spiro_xy_plot_wnd.h"

using namespace Spirometry;

namespace {
constexpr std::int32_t kRaw = 0, kFlow = 1, kVolume = 2;
constexpr QSize kPage(1000, 700);

// The Part's mappings, written out apart from the views' code.
int RefX(std::int64_t sample, std::int64_t samples, int width) {
  return static_cast<int>(static_cast<double>(sample) / (static_cast<double>(samples) / width));
}
int RefY(double value, ValueSpan r, const QRect& g) {
  return g.top() + static_cast<int>((r.high - value) / (r.high - r.low) * g.height());
}

int CountColour(const QImage& image, int x, int y0, int y1, QRgb colour) {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(image.height(), y1); ++y) n += image.pixel(x, y) == colour;
  return n;
}
}  // namespace

class SpiroViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    mRegistry = Spirometry::testing::InstallModuleClasses();
    for (FrameClass c : {FrameClass::kDocument, FrameClass::kDataView, FrameClass::kFlowVolumeView}) {
      ComPtr<IUnknown> object = ComPtr<IUnknown>::Attach(FrameClassSlot(c)());
      QVERIFY(object);
      mRegistry->RegisterClassObject(object.Get());
    }
    mRecording = Spirometry::testing::MakeBreathingRecording(3, 1, 2);
    const std::vector<float> volts = mRecording.Volts();
    mLength = static_cast<std::int32_t>(volts.size());
    auto file = std::make_shared<kymora::DataFile>();
    file->AddChannel(L"Raw flow");
    file->AddBlock(0.001, mLength);
    file->SetSamples(0, kRaw, L"V", 0.1, volts);
    file->AddBlock(0.001, 5000);  // a second block for selections across blocks
    file->SetSamples(1, kRaw, L"V", 0.1, std::vector<float>(5000, 0.0f));
    mHost = Spirometry::testing::MakeDocument(file);
    QVERIFY(
        Spirometry::testing::PutCalculationWithKeys(*mHost, kFlow, L"SpFlow", {{L"source", L"1"}, {L"preset", L"3"}}));
    QVERIFY(Spirometry::testing::PutCalculationWithKeys(*mHost, kVolume, L"SpVol", {{L"source", L"2"}}));
    Spirometry::testing::SelectRange(*mHost, {0, 0}, {mLength, 0});
    SpConfig s;
    s.FlowChannel = kFlow;
    s.VolumeChannel = kVolume;
    Spirometry::testing::SendSettingsMessage(*mHost, s);
  }

  void cleanup() { mHost.reset(); }

  void documentCommandsOpenBothViews() {
    std::uint16_t ns = 0;
    QCOMPARE(mHost->Frame().GetNamespaceIndex(kSpiroDocumentGuid, &ns), S_OK);
    auto* doc = Doc();
    QCOMPARE(doc->ExecuteCommand((std::uint32_t{ns} << 16) | kLocalCommandDataView), S_OK);
    QCOMPARE(doc->ExecuteCommand((std::uint32_t{ns} << 16) | kLocalCommandFlowVolumeView), S_OK);
    QCOMPARE(mHost->Frame().IsViewOpen(kDataViewClassId, doc), S_OK);
    QCOMPARE(mHost->Frame().IsViewOpen(kFlowVolumeViewClassId, doc), S_OK);
  }

  void dataPageShadesForcedBreathsAndMarksPef() {
    const QImage image = Render(MakeCom<SpiroDataPrintOut>(ComPtr<ICustomDocument>(Doc()), Doc()));
    const DataPage page = LoadDataPage(*Doc());
    QVERIFY(page.valid);
    const PaintStyle style = PaintStyle::ForDpi(96);
    const DataLayout l = LayOutDataWindow({0, 0, kPage.width(), kPage.height()}, style.ScaleWidth(), style.lineHeight);
    const QRect flow = ToQRect(l.flowGraph), volume = ToQRect(l.volumeGraph);
    const QRgb band = qRgb(245, 245, 245), blue = qRgb(0, 0, 255);
    int forced = 0;
    for (const Breath& b : page.breaths) {
      const int x1 = flow.left() + RefX(b.Start.offset - page.start.offset, page.Samples(), flow.width());
      const int x2 = flow.left() + RefX(b.End.offset - page.start.offset, page.Samples(), flow.width());
      const int x = (x1 + x2) / 2;
      const int shaded = CountColour(image, x, flow.top(), flow.bottom(), band) +
                         CountColour(image, x, volume.top(), volume.bottom(), band);
      if (!b.IsForced) {
        QCOMPARE(shaded, 0);
        continue;
      }
      ++forced;
      QVERIFY2(shaded > flow.height(), "a forced breath is shaded over most of both graphs");
      const std::int64_t pef = b.PeakExpiratoryFlowPosition.offset - page.start.offset;
      const int px = flow.left() + RefX(pef, page.Samples(), flow.width());
      const int py = RefY(page.flow.At(pef), page.flowRange, flow);
      QVERIFY2(CountColour(image, px, py, py + MarkerTickLength(style.markerHeight), blue) >= 2,
               "the PEF tick hangs from the PEF sample");
    }
    QCOMPARE(forced, mRecording.forced);
  }

  void flowVolumePageDrawsTheLoopWithChevrons() {
    const QImage image = Render(MakeCom<SpiroXYPrintOut>(ComPtr<ICustomDocument>(Doc()), Doc()));
    const DataPage page = LoadDataPage(*Doc());
    const PaintStyle style = PaintStyle::ForDpi(96);
    const XYLayout l = LayOutXYPlot({0, 0, kPage.width(), kPage.height()}, style.ScaleWidth(), style.ScaleLabelHeight(),
                                    style.lineHeight);
    const QRect g = ToQRect(l.graph);
    const MinMax v = page.volume.Overall(), f = page.flow.Overall();
    const ValueSpan vr{v.min - 0.15 * (v.max - v.min), v.max + 0.15 * (v.max - v.min)};
    const ValueSpan fr{f.min - 0.15 * (f.max - f.min), f.max + 0.15 * (f.max - f.min)};
    // Every hundredth sample's point is on the curve (within a pixel).
    int missed = 0, checked = 0;
    for (std::int64_t i = 0; i < page.Samples(); i += 100, ++checked) {
      const int x = g.left() + static_cast<int>((page.volume.At(i) - vr.low) / (vr.high - vr.low) * g.width());
      const int y = RefY(page.flow.At(i), fr, g);
      bool near = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) near = near || image.pixel(x + dx, y + dy) == qRgb(0, 0, 255);
      missed += !near;
    }
    QVERIFY2(missed <= checked / 50, qPrintable(QString("%1 of %2 points off the curve").arg(missed).arg(checked)));
    int chevron = 0;
    for (int y = g.top(); y < g.bottom(); ++y)
      for (int x = g.left(); x < g.right(); ++x) chevron += image.pixel(x, y) == qRgb(55, 55, 55);
    QVERIFY(chevron > 10);
  }

  void selectionAcrossBlocksShowsTheMessageEverywhere() {
    Spirometry::testing::SelectRange(*mHost, {1000, 0}, {1000, 1});
    const DataPage page = LoadDataPage(*Doc());
    QVERIFY(!page.valid);
    QCOMPARE(QString::fromStdWString(page.message), QStringLiteral("The selection is across multiple blocks."));
    const QImage image = Render(MakeCom<SpiroDataPrintOut>(ComPtr<ICustomDocument>(Doc()), Doc()));
    const PaintStyle style = PaintStyle::ForDpi(96);
    const DataLayout l = LayOutDataWindow({0, 0, kPage.width(), kPage.height()}, style.ScaleWidth(), style.lineHeight);
    for (const PixelRect& r : {l.flowGraph, l.volumeGraph}) {
      const QRect g = ToQRect(r);
      int inked = 0, offCentre = 0;
      for (int y = g.top(); y < g.bottom(); ++y)
        for (int x = g.left(); x < g.right(); ++x) {
          const bool ink = qGray(image.pixel(x, y)) < 128;
          inked += ink;
          offCentre += ink && std::abs(y - g.center().y()) > style.markerHeight;
        }
      QVERIFY2(inked > 50, "the message is written in the graph area");
      QCOMPARE(offCentre, 0);
    }
  }

  void windowFollowsTheCursorScalesAndSelection() {
    auto data = OpenView<SpiroDataWnd>(kDataViewClassId);
    auto xy = OpenView<SpiroXYPlotWnd>(kFlowVolumeViewClassId);
    QWidget* widget = Widget(data.Get());
    widget->resize(900, 600);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget));
    auto* flowGraph = widget->findChild<QWidget*>(QStringLiteral("flowGraph"));
    auto* readout = widget->findChild<QLabel*>(QString::number(kReadoutId));
    auto* flowScale = widget->findChild<QWidget*>(QString::number(kFlowScaleId));
    QVERIFY(flowGraph && readout && flowScale && widget->findChild<QWidget*>(QString::number(kVolumeScaleId)));

    QWidget* plot = Widget(xy.Get());
    plot->resize(700, 500);
    plot->show();
    QTest::mouseMove(flowGraph, QPoint(0, 20));
    QVERIFY2(readout->text().startsWith(QStringLiteral("Time = 0 s, Flow = ")), qPrintable(readout->text()));
    // The plot marks the volume and flow under the cursor, its ranges widened by 15 % at each end; the
    // cursor's sample is x × (samples ÷ width).
    auto* xyGraph = plot->findChild<QWidget*>(QStringLiteral("xyGraph"));
    QVERIFY(xyGraph);
    const DataPage& page = xy->Page();
    const int cursorX = flowGraph->width() * 11 / 20;
    QTest::mouseMove(flowGraph, QPoint(cursorX, 20));
    QVERIFY(xy->Graph().CursorShown());
    const auto sample = static_cast<std::int64_t>(cursorX * (static_cast<double>(page.Samples()) / flowGraph->width()));
    const MinMax v = page.volume.Overall(), f = page.flow.Overall();
    const double x =
        (page.volume.At(sample) - (v.min - 0.15 * (v.max - v.min))) / (1.3 * (v.max - v.min)) * xyGraph->width();
    const int y = RefY(page.flow.At(sample), {f.min - 0.15 * (f.max - f.min), f.max + 0.15 * (f.max - f.min)},
                       QRect(0, 0, xyGraph->width(), xyGraph->height()));
    const QImage shot = xyGraph->grab().toImage();
    QCOMPARE(QColor(shot.pixel(static_cast<int>(x), y)), QColor(Qt::red));
    data->MoveCursor(-1, flowGraph->width());
    QVERIFY(readout->text().isEmpty());
    QVERIFY(!xy->Graph().CursorShown());

    // Dragging the flow scale 40 pixels down shows values 40 pixels' worth higher.
    const ValueSpan before = data->FlowGraph().Range();
    const double perPixel = (before.high - before.low) / flowGraph->height();
    QTest::mousePress(flowScale, Qt::LeftButton, {}, QPoint(10, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 140), flowScale->mapToGlobal(QPointF(10, 140)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(flowScale, &move);
    QTest::mouseRelease(flowScale, Qt::LeftButton, {}, QPoint(10, 140));
    QVERIFY(std::fabs(data->FlowGraph().Range().high - (before.high + 40 * perPixel)) < 1e-9);

    const std::size_t breaths = data->Page().breaths.size();
    Spirometry::testing::SelectRange(*mHost, {0, 0}, {mLength / 2, 0});
    QVERIFY(data->Page().breaths.size() < breaths);
    QCOMPARE(xy->Page().Samples(), data->Page().Samples());
  }

  void copyPlacesAPictureOfThePage() {
    mHost->UseClipboard(MakeCom<kymora::ui::QtClipboard>());
    auto data = OpenView<SpiroDataWnd>(kDataViewClassId);
    QCOMPARE(data->ExecuteCommand(HostCommands::kCopy), S_OK);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime && mime->hasFormat(QStringLiteral("image/png")) && mime->hasFormat(QStringLiteral("image/svg+xml")));
    const QImage picture = QImage::fromData(mime->data(QStringLiteral("image/png")), "PNG");
    QCOMPARE(picture.size(), QSize(kSpiroViewPreferredWidth, kSpiroViewPreferredHeight));
  }

 private:
  SpiroDocument* Doc() {
    auto doc = mHost->Frame().Document(kSpiroDocumentGuid);
    return doc ? SpiroDocument::FromUnknown(doc->Get()) : nullptr;
  }

  QImage Render(ComPtr<IPrintout> printout) {
    QImage image(kPage, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const PrintArea area{0, 0, kPage.width(), kPage.height(), 96, 96};
    [&] { QCOMPARE(printout->PrintPage(1, &painter, &area), S_OK); }();
    return image;
  }

  template <class View>
  ComPtr<View> OpenView(const Guid& cls) {
    auto view = mHost->Frame().OpenViewOf(cls, Doc());
    if (!view) return nullptr;
    return ComPtr<View>(dynamic_cast<View*>(view->Get()));
  }

  static QWidget* Widget(IDocView* view) {
    ComPtr<IViewWindow> window;
    QWidget* widget = nullptr;
    if (Succeeded(view->QueryInterface(IViewWindow::kIid, window.PutVoid()))) window->GetWidget(&widget);
    return widget;
  }

  ComPtr<kymora::HostRegistry> mRegistry;
  std::unique_ptr<kymora::HostDocument> mHost;
  Spirometry::testing::BreathingRecording mRecording;
  std::int32_t mLength = 0;
};

QTEST_MAIN(SpiroViewsTest)
#include "spiro_views_test.moc"
