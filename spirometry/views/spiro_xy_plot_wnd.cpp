#include "spirometry/views/spiro_xy_plot_wnd.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <new>

#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/views/report_view.h"
#include "spirometry/views/spiro_printouts.h"
#include "spirometry/views/view_class.h"

namespace Spirometry {

namespace {
constexpr int kStringCopyXY = 76, kStringPrintXY = 84;

PaintStyle StyleOf(const QWidget* w) { return PaintStyle::ForDpi(w->logicalDpiY()); }

const std::wstring& CopyText() {
  static const std::wstring text = LoadString(kStringCopyXY);
  return text;
}
const std::wstring& PrintText() {
  static const std::wstring text = LoadString(kStringPrintXY);
  return text;
}

class SpiroXYGraphInAWindow final : public QWidget {
 public:
  SpiroXYGraphInAWindow(SpiroXYPlotWnd* view, QWidget* parent) : QWidget(parent), mView(view) {
    setObjectName(QStringLiteral("xyGraph"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const PaintStyle style = StyleOf(this);
    painter.fillRect(rect(), Qt::white);
    if (!mView->Page().valid) {
      PaintCentredMessage(painter, rect(), mView->Page().message, style);
      return;
    }
    mView->Graph().Draw(painter, rect(), style);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    mView->MoveMouse(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()), size());
  }
  void leaveEvent(QEvent*) override { mView->MoveMouse(-1, -1, size()); }

 private:
  SpiroXYPlotWnd* mView;
};
}  // namespace

class SpiroXYWidget final : public QWidget {
 public:
  explicit SpiroXYWidget(SpiroXYPlotWnd* view)
      : mReadout(new QLabel(this)),
        mFlowScale(new CDragScale(kFlowScaleId, true, view, this)),
        mVolumeScale(new CDragScale(kVolumeScaleId, false, view, this)),
        mGraph(new SpiroXYGraphInAWindow(view, this)),
        mView(view) {
    setObjectName(QStringLiteral("SpiroXYPlotWnd"));
    mReadout->setObjectName(QString::number(kReadoutId));
    setMinimumSize(200, 150);
    Refresh();
  }

  void Refresh() {
    const DataPage& page = mView->Page();
    mFlowScale->SetRange(mView->Graph().FlowRange());
    mVolumeScale->SetRange(mView->Graph().VolumeRange());
    mFlowScale->SetUnits(page.flowUnits);
    mVolumeScale->SetUnits(page.volumeUnits);
    mFlowScale->setVisible(page.valid);
    mVolumeScale->setVisible(page.valid);
    mGraph->update();
  }
  void SetReadout(const QString& text) { mReadout->setText(text); }
  void RepaintGraph() { mGraph->update(); }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const PaintStyle style = StyleOf(this);
    const XYLayout l =
        LayOutXYPlot({0, 0, width(), height()}, style.ScaleWidth(), style.ScaleLabelHeight(), style.lineHeight);
    const QRect graph = ToQRect(l.graph);
    mReadout->setGeometry(ToQRect(l.readout));
    mGraph->setGeometry(graph);
    mFlowScale->setGeometry(ToQRect(l.flowScale));
    mFlowScale->SetSpan(graph.top() - l.flowScale.top, graph.height());
    mVolumeScale->setGeometry(ToQRect(l.volumeScale));
    mVolumeScale->SetSpan(graph.left() - l.volumeScale.left, graph.width());
    mView->Graph().MarkForRebuild();
  }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    PaintGraphFrame(painter, mGraph->geometry(), StyleOf(this));
  }

 private:
  QLabel* mReadout;
  CDragScale *mFlowScale, *mVolumeScale;
  SpiroXYGraphInAWindow* mGraph;
  SpiroXYPlotWnd* mView;
};

SpiroXYPlotWnd::SpiroXYPlotWnd(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host)
    : SpiroViewBase(std::move(document), spiro, std::move(host),
                    {CopyText().c_str(), PrintText().c_str(), kStringXYName}),
      mPage(std::make_unique<DataPage>()),
      mGraph(mPage.get()) {
  ListenToCursor(spiro, this);
}

SpiroXYPlotWnd::~SpiroXYPlotWnd() { StopListening(this); }

HRESULT SpiroXYPlotWnd::Close() {
  StopListening(this);
  return SpiroViewBase::Close();
}

ComPtr<IPrintout> SpiroXYPlotWnd::MakePrintout() {
  if (!Document()) return nullptr;
  return MakeCom<SpiroXYPrintOut>(ComPtr<ICustomDocument>(Document()), Document());
}

QWidget* SpiroXYPlotWnd::CreateWidget() {
  mView = new SpiroXYWidget(this);
  return mView;
}

void SpiroXYPlotWnd::Update() {
  if (!Document()) return;
  *mPage = LoadDataPage(*Document());
  mGraph.SetVolumeRange(XYVolumeRange(*mPage));
  mGraph.SetFlowRange(XYFlowRange(*mPage));
  mGraph.SetCursorPoint(false, 0, 0);
  if (Widget() && mView) {
    mView->Refresh();
    mView->SetReadout(QString());
  }
}

void SpiroXYPlotWnd::ScaleChanged(int scaleId, ValueSpan range) {
  if (scaleId == kVolumeScaleId)
    mGraph.SetVolumeRange(range);
  else
    mGraph.SetFlowRange(range);
  if (Widget() && mView) mView->RepaintGraph();
}

void SpiroXYPlotWnd::CursorPoint(bool show, double volume, double flow) {
  if (!show && !mGraph.CursorShown()) return;
  mGraph.SetCursorPoint(show && mPage->valid, volume, flow);
  if (Widget() && mView) mView->RepaintGraph();
}

void SpiroXYPlotWnd::MoveMouse(int x, int y, QSize graph) {
  if (!Widget() || !mView) return;
  if (x < 0 || !mPage->valid) {
    mView->SetReadout(QString());
    return;
  }
  const QRect rect(QPoint(0, 0), graph);
  mView->SetReadout(QString::fromStdWString(XYReadout(*mPage, mGraph.FlowAt(y, rect), mGraph.VolumeAt(x, rect))));
}

namespace {
FrameClassRegistration gXYPlotWndClass(FrameClass::kFlowVolumeView,
                                       &SpiroViewClass<SpiroXYPlotWnd, kFlowVolumeViewClassId, kStringXYName>::Create);
}  // namespace

}  // namespace Spirometry
