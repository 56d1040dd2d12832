#pragma once
// The chart widget: every channel of a data file as a trace, stacked on one time axis, drawn from min/max
// summaries built in the background. Wheel zooms time about the mouse (Shift+wheel scrolls, Ctrl+wheel
// zooms the channel under the mouse vertically), the keys zoom and scroll, the scroll bar scrolls, a drag
// selects a stretch and a click clears the selection.
#include <QWidget>
#include <functional>
#include <memory>

#include "apps/kymora-gui/chart/chart_content.h"
#include "apps/kymora-gui/chart/chart_painter.h"
#include "host/com/com_ptr.h"
#include "host/data/ichannel_data.h"

class QScrollBar;

namespace kymora::chart {

class SummaryWorker;

class ChartView final : public QWidget {
 public:
  explicit ChartView(QWidget* parent = nullptr);
  ~ChartView() override;

  // Shows the channels of a data file (null: nothing). The time view and the ranges the user set are
  // kept where they still fit; summaries are built again for every channel.
  void SetData(IChannelData* data, const DataFile* file);
  // The channels may have changed (a calculation, a title): the content is read again and the summaries of
  // calculated channels (which may depend on anything) are built again.
  void Refresh();
  void SetSelection(const Selection& selection);

  // Called when the user drags or clicks out a selection.
  std::function<void(const Selection&)> onSelectionChanged;
  // Called as the mouse moves over the traces with the time under it; NaN when it leaves them.
  std::function<void(double seconds)> onCursorMoved;
  // Progress of the summaries: done and total samples; done == total when every summary is ready.
  std::function<void(std::int64_t done, std::int64_t total)> onSummaryProgress;
  std::function<void(int channel)> onCurrentChannelChanged;

  const ChartContent& Content() const { return mContent; }
  const TimeView& View() const { return mView; }
  ChartLayout Layout() const;
  bool SummariesReady() const { return mPendingSummaries == 0; }
  int CurrentChannel() const { return mCurrent; }
  void SetCurrentChannel(int channel);
  // The value of a channel at a time (the sample nearest it), NaN where there is none.
  double ValueAt(int channel, double seconds) const;

  void ZoomTime(double factor);  // about the middle of the trace area
  void ScrollTime(double pages);
  void ShowAll();
  void ShowSeconds(double from, double to);
  void ZoomChannel(int channel, double factor);
  void FitChannel(int channel);
  void SetChannelRange(int channel, ValueRange range);

  // Paints the whole chart into a painter at a size (for printouts and pictures), `scale` device pixels
  // per screen pixel, showing the time the widget shows.
  void PaintInto(QPainter& painter, QSize size, double scale) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Rebuild(bool keepRecordedSummaries);
  void StartSummaries(const std::vector<std::pair<int, int>>& wanted);
  void SummaryArrived(std::uint64_t generation, int channel, int block, std::shared_ptr<const TraceSummary> summary);
  void SetView(TimeView view);
  void SyncScrollBar();
  double MinSecsPerPixel() const;
  double TraceX(double widgetX) const;

  ComPtr<IChannelData> mData;
  const DataFile* mFile = nullptr;
  ChartContent mContent;
  TimeView mView;
  bool mViewSet = false;
  int mCurrent = 0;
  ChartDecor mDecor;
  bool mPressed = false;
  QScrollBar* mScroll;
  bool mSyncing = false;
  std::unique_ptr<SummaryWorker> mWorker;
  std::uint64_t mGeneration = 0;
  int mPendingSummaries = 0;
};

}  // namespace kymora::chart
