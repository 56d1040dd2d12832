#include "spirometry/views/spiro_data_wnd.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <new>

#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/views/cursor_link.h"
#include "spirometry/views/report_view.h"
#include "spirometry/views/spiro_printouts.h"
#include "spirometry/views/view_class.h"

namespace Spirometry {

namespace {

PaintStyle StyleOf(const QWidget* w) { return PaintStyle::ForDpi(w->logicalDpiY()); }

// One graph in the window: paints its graph (or the document's message) and the cursor line, and reports
// the mouse.
class SpiroGraphInAWindow final : public QWidget {
 public:
  SpiroGraphInAWindow(SpiroDataWnd* view, SpiroGraph* graph, QWidget* parent)
      : QWidget(parent), mView(view), mGraph(graph) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  void SetCursorX(int x) {
    if (x == mCursorX) return;
    mCursorX = x;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const PaintStyle style = StyleOf(this);
    if (!mView->Page().valid) {
      painter.fillRect(rect(), Qt::white);
      PaintCentredMessage(painter, rect(), mView->Page().message, style);
      return;
    }
    mGraph->Draw(painter, rect(), style);
    if (mCursorX >= 0) {
      painter.setPen(QPen(SpiroColours::kDark, style.pen, Qt::DotLine));
      painter.drawLine(mCursorX, 0, mCursorX, height());
    }
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    mView->MoveCursor(static_cast<int>(event->position().x()), width());
  }
  void leaveEvent(QEvent*) override { mView->MoveCursor(-1, width()); }

 private:
  SpiroDataWnd* mView;
  SpiroGraph* mGraph;
  int mCursorX = -1;
};

class TimeScaleWidget final : public QWidget {
 public:
  using QWidget::QWidget;
  void Set(double seconds, int graphLeft, int graphWidth) {
    mSeconds = seconds;
    mGraphLeft = graphLeft;
    mGraphWidth = graphWidth;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (mSeconds <= 0) return;
    QPainter painter(this);
    PaintTimeScale(painter, rect(), QRect(mGraphLeft, 0, mGraphWidth, 1), mSeconds, StyleOf(this));
  }

 private:
  double mSeconds = 0;
  int mGraphLeft = 0, mGraphWidth = 0;
};
}  // namespace

class SpiroDataWidget final : public QWidget {
 public:
  explicit SpiroDataWidget(SpiroDataWnd* view)
      : mReadout(new QLabel(this)),
        mFlowScale(new CDragScale(kFlowScaleId, true, view, this)),
        mVolumeScale(new CDragScale(kVolumeScaleId, true, view, this)),
        mTime(new TimeScaleWidget(this)),
        mFlow(new SpiroGraphInAWindow(view, &view->FlowGraph(), this)),
        mVolume(new SpiroGraphInAWindow(view, &view->VolumeGraph(), this)),
        mView(view) {
    setObjectName(QStringLiteral("SpiroDataWnd"));
    mReadout->setObjectName(QString::number(kReadoutId));
    mReadout->setAutoFillBackground(true);
    mReadout->setBackgroundRole(QPalette::Base);
    mFlow->setObjectName(QStringLiteral("flowGraph"));
    mVolume->setObjectName(QStringLiteral("volumeGraph"));
    setMinimumSize(200, 150);
    Refresh();
  }

  void Refresh() {
    const DataPage& page = mView->Page();
    mFlowScale->SetRange(mView->FlowGraph().Range());
    mVolumeScale->SetRange(mView->VolumeGraph().Range());
    mFlowScale->SetUnits(page.flowUnits);
    mVolumeScale->SetUnits(page.volumeUnits);
    mFlowScale->setVisible(page.valid);
    mVolumeScale->setVisible(page.valid);
    mTime->setVisible(page.valid);
    mTime->Set(page.valid ? page.Seconds() : 0, mFlow->x() - mTime->x(), mFlow->width());
    SetCursor(-1, QString());
    mFlow->update();
    mVolume->update();
  }
  void SetCursor(int x, const QString& readout) {
    mFlow->SetCursorX(x);
    mVolume->SetCursorX(x);
    mReadout->setText(readout);
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const PaintStyle style = StyleOf(this);
    const DataLayout l = LayOutDataWindow({0, 0, width(), height()}, style.ScaleWidth(), style.lineHeight);
    mReadout->setGeometry(ToQRect(l.readout));
    mFlowScale->setGeometry(ToQRect(l.flowScale));
    mVolumeScale->setGeometry(ToQRect(l.volumeScale));
    mTime->setGeometry(ToQRect(l.timeScale));
    mFlow->setGeometry(ToQRect(l.flowGraph));
    mVolume->setGeometry(ToQRect(l.volumeGraph));
    Refresh();
  }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    const PaintStyle style = StyleOf(this);
    PaintGraphFrame(painter, mFlow->geometry(), style);
    PaintGraphFrame(painter, mVolume->geometry(), style);
  }

 private:
  QLabel* mReadout;
  CDragScale *mFlowScale, *mVolumeScale;
  TimeScaleWidget* mTime;
  SpiroGraphInAWindow *mFlow, *mVolume;
  SpiroDataWnd* mView;
};

SpiroDataWnd::SpiroDataWnd(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host)
    : SpiroViewBase(std::move(document), spiro, std::move(host), {kCopyDataText, kPrintDataText, kStringDataName}),
      mPage(std::make_unique<DataPage>()),
      mFlowGraph(mPage.get()),
      mVolumeGraph(mPage.get()) {}

SpiroDataWnd::~SpiroDataWnd() = default;

ComPtr<IPrintout> SpiroDataWnd::MakePrintout() {
  if (!Document()) return nullptr;
  return MakeCom<SpiroDataPrintOut>(ComPtr<ICustomDocument>(Document()), Document());
}

QWidget* SpiroDataWnd::CreateWidget() {
  mView = new SpiroDataWidget(this);
  return mView;
}

void SpiroDataWnd::Update() {
  if (!Document()) return;
  *mPage = LoadDataPage(*Document());
  mFlowGraph.SetRange(mPage->flowRange);
  mVolumeGraph.SetRange(mPage->volumeRange);
  if (Widget() && mView) mView->Refresh();
  TellCursor(Document(), false, 0, 0);
}

void SpiroDataWnd::ScaleChanged(int scaleId, ValueSpan range) {
  SpiroGraph& graph = scaleId == kFlowScaleId ? static_cast<SpiroGraph&>(mFlowGraph) : mVolumeGraph;
  graph.SetRange(range);
  if (Widget() && mView) mView->Refresh();
}

void SpiroDataWnd::MoveCursor(int x, int graphWidth) {
  if (!Widget() || !mView) return;
  if (x < 0 || !mPage->valid) {
    mView->SetCursor(-1, QString());
    TellCursor(Document(), false, 0, 0);
    return;
  }
  const std::int64_t sample = SampleAtX(x, mPage->Samples(), graphWidth);
  mView->SetCursor(x, QString::fromStdWString(DataReadout(*mPage, sample)));
  const float volume = mPage->volume.At(sample), flow = mPage->flow.At(sample);
  TellCursor(Document(), std::isfinite(volume) && std::isfinite(flow), volume, flow);
}

namespace {
FrameClassRegistration gDataWndClass(FrameClass::kDataView,
                                     &SpiroViewClass<SpiroDataWnd, kDataViewClassId, kStringDataName>::Create);
}  // namespace

}  // namespace Spirometry
