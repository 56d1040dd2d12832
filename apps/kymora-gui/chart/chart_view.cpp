#include "apps/kymora-gui/chart/chart_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

#include "apps/kymora-gui/chart/summary_worker.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ienum_float_ex.h"
#include "host/data/iunits.h"
#include "host/data/read_flags.h"

namespace kymora::chart {

namespace {
constexpr std::uint32_t kValueFlags = ReadFlags::kCalculated | ReadFlags::kInUnits;
constexpr int kScrollSteps = 100;  // scroll bar units per trace-area width
constexpr double kPixelsPerSampleAtMost = 20;

std::wstring UnitsOf(IChannelData* data, std::int32_t channel, std::int32_t blocks) {
  for (std::int32_t b = 0; b < blocks; ++b) {
    if (data->HasData(kValueFlags, b, channel) != S_OK) continue;
    ComPtr<IUnits> units;
    std::wstring text;
    if (Succeeded(data->GetUnits(kValueFlags, b, channel, units.Put())) && units && Succeeded(units->GetText(&text)))
      return text;
  }
  return {};
}
}  // namespace

ChartView::ChartView(QWidget* parent) : QWidget(parent), mScroll(new QScrollBar(Qt::Horizontal, this)) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(320, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  connect(mScroll, &QScrollBar::valueChanged, this, [this](int value) {
    if (mSyncing) return;
    const auto layout = Layout();
    TimeView v = mView;
    v.startSec = value * (mView.secsPerPixel * layout.traceWidth) / kScrollSteps;
    SetView(v);
  });
  mWorker = std::make_unique<SummaryWorker>(
      [this](std::uint64_t generation, const SummaryWorker::Job& job, std::shared_ptr<const TraceSummary> summary) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, channel = job.channel, block = job.block, summary] {
              SummaryArrived(generation, channel, block, summary);
            },
            Qt::QueuedConnection);
      },
      [this](std::uint64_t generation, std::int64_t done, std::int64_t total) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, done, total] {
              if (generation == mGeneration && onSummaryProgress) onSummaryProgress(done, total);
            },
            Qt::QueuedConnection);
      });
}

ChartView::~ChartView() { mWorker.reset(); }

void ChartView::SetData(IChannelData* data, const DataFile* file) {
  mWorker->Cancel();
  mData = ComPtr<IChannelData>(data);
  mFile = file;
  mContent = ChartContent{};
  mViewSet = false;
  mCurrent = 0;
  Rebuild(false);
}

void ChartView::Refresh() { Rebuild(true); }

void ChartView::Rebuild(bool keepRecordedSummaries) {
  auto previous = std::move(mContent.channels);
  mContent.channels.clear();
  if (!mData || !mFile) {
    mContent = ChartContent{};
    update();
    return;
  }
  mContent.timeline = Timeline::Of(*mFile);
  mContent.selection = mFile->selection;
  IChannelData* data = mData.Get();
  mContent.readSamples = [data](std::int32_t channel, std::int32_t block, std::int64_t first, std::int64_t count,
                                std::vector<float>* out) {
    ComPtr<IEnumFloatEx> reader;
    const DataPosition start{static_cast<std::int32_t>(first), block};
    const DataPosition end{static_cast<std::int32_t>(first + count), block};
    if (Failed(data->OpenReader(kValueFlags, channel, start, end, reader.Put())) || !reader) return false;
    out->resize(static_cast<std::size_t>(count));
    std::int32_t got = 0;
    if (Failed(reader->Read(static_cast<std::int32_t>(count), out->data(), &got))) return false;
    out->resize(static_cast<std::size_t>(got));
    return true;
  };

  const std::int32_t channels = mFile->ChannelCount(), blocks = mFile->BlockCount();
  std::vector<std::pair<int, int>> wanted;
  for (std::int32_t c = 0; c < channels; ++c) {
    ChannelTrace trace;
    data->GetChannelTitle(c, &trace.title);
    trace.units = UnitsOf(data, c, blocks);
    const bool calculated = mFile->channels[static_cast<std::size_t>(c)].calculation.has_value() || [&] {
      ComPtr<IChannelCalc> calc;
      return data->GetChannelCalc(c, calc.Put()) == S_OK;
    }();
    const bool keep = keepRecordedSummaries && !calculated && c < static_cast<std::int32_t>(previous.size());
    if (c < static_cast<std::int32_t>(previous.size()) && previous[static_cast<std::size_t>(c)].rangeSetByUser) {
      trace.range = previous[static_cast<std::size_t>(c)].range;
      trace.rangeSetByUser = true;
    } else if (keep) {
      trace.range = previous[static_cast<std::size_t>(c)].range;
    }
    trace.summaries.resize(static_cast<std::size_t>(blocks));
    trace.hasData.resize(static_cast<std::size_t>(blocks));
    for (std::int32_t b = 0; b < blocks; ++b) {
      trace.hasData[static_cast<std::size_t>(b)] = data->HasData(kValueFlags, b, c) == S_OK;
      if (keep && b < static_cast<std::int32_t>(previous[static_cast<std::size_t>(c)].summaries.size()))
        trace.summaries[static_cast<std::size_t>(b)] =
            previous[static_cast<std::size_t>(c)].summaries[static_cast<std::size_t>(b)];
      if (trace.hasData[static_cast<std::size_t>(b)] && !trace.summaries[static_cast<std::size_t>(b)])
        wanted.emplace_back(c, b);
    }
    mContent.channels.push_back(std::move(trace));
  }
  if (mCurrent >= channels) mCurrent = std::max(0, channels - 1);
  if (!mViewSet) {
    mView = FitAll(mContent.timeline.Duration(), std::max(1, Layout().traceWidth));
    mViewSet = true;
  }
  SetView(mView);
  StartSummaries(wanted);
}

void ChartView::StartSummaries(const std::vector<std::pair<int, int>>& wanted) {
  std::vector<SummaryWorker::Job> jobs;
  for (const auto& [c, b] : wanted) {
    SummaryWorker::Job job{c, b, nullptr, mFile->blocks[static_cast<std::size_t>(b)].length};
    const DataPosition start{0, b}, end{DataPosition::kNotSet, b};
    if (Failed(mData->OpenReader(kValueFlags, c, start, end, job.reader.Put())) || !job.reader) continue;
    jobs.push_back(std::move(job));
  }
  mPendingSummaries = static_cast<int>(jobs.size());
  mGeneration = mWorker->Start(std::move(jobs));
  if (mPendingSummaries == 0 && onSummaryProgress) onSummaryProgress(0, 0);
  update();
}

void ChartView::SummaryArrived(std::uint64_t generation, int channel, int block,
                               std::shared_ptr<const TraceSummary> summary) {
  if (generation != mGeneration || channel >= static_cast<int>(mContent.channels.size())) return;
  --mPendingSummaries;
  auto& trace = mContent.channels[static_cast<std::size_t>(channel)];
  if (block >= static_cast<int>(trace.summaries.size())) return;
  // A channel whose samples cannot be read (a calculation that fails) shows nothing there rather than
  // waiting for a summary that never comes.
  if (!summary) trace.hasData[static_cast<std::size_t>(block)] = false;
  trace.summaries[static_cast<std::size_t>(block)] = std::move(summary);
  if (!trace.rangeSetByUser) {
    MinMax all;
    for (const auto& s : trace.summaries)
      if (s) all.Add(s->Overall());
    trace.range = FitRange(all.min, all.max);
  }
  update();
}

void ChartView::SetSelection(const Selection& selection) {
  mContent.selection = selection;
  update();
}

ChartLayout ChartView::Layout() const {
  return LayOutChart(width(), height() - mScroll->sizeHint().height(), static_cast<int>(mContent.channels.size()));
}

double ChartView::MinSecsPerPixel() const {
  double finest = 1.0;
  bool any = false;
  for (int b = 0; b < mContent.timeline.BlockCount(); ++b) {
    const double spt = mContent.timeline.Block(b).secsPerTick;
    finest = any ? std::min(finest, spt) : spt;
    any = true;
  }
  return finest / kPixelsPerSampleAtMost;
}

void ChartView::SetView(TimeView view) {
  const auto layout = Layout();
  mView = ClampView(view, mContent.timeline.Duration(), std::max(1, layout.traceWidth), MinSecsPerPixel());
  SyncScrollBar();
  update();
}

void ChartView::SyncScrollBar() {
  const auto layout = Layout();
  const double page = mView.secsPerPixel * std::max(1, layout.traceWidth);
  const double duration = mContent.timeline.Duration();
  mSyncing = true;
  const int maximum = page > 0 ? static_cast<int>(std::ceil(std::max(0.0, duration - page) / page * kScrollSteps)) : 0;
  mScroll->setRange(0, maximum);
  mScroll->setPageStep(kScrollSteps);
  mScroll->setSingleStep(kScrollSteps / 10);
  mScroll->setValue(page > 0 ? static_cast<int>(std::lround(mView.startSec / page * kScrollSteps)) : 0);
  mSyncing = false;
}

void ChartView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const auto layout = Layout();
  PaintChart(painter, layout, mContent, mView, mDecor);
  if (!mData) {
    painter.setPen(Qt::darkGray);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Open a recording with File > Open."));
  }
}

void ChartView::PaintInto(QPainter& painter, QSize size, double scale) const {
  const auto screen = Layout();
  const auto layout =
      LayOutChart(size.width(), size.height(), static_cast<int>(mContent.channels.size()),
                  static_cast<int>(170 * scale), static_cast<int>(30 * scale), static_cast<int>(6 * scale));
  // The same stretch of time across the page's trace area.
  TimeView view = mView;
  if (layout.traceWidth > 0)
    view.secsPerPixel = mView.secsPerPixel * std::max(1, screen.traceWidth) / layout.traceWidth;
  ChartDecor decor;
  decor.fontScale = scale;
  decor.currentChannel = -1;
  PaintChart(painter, layout, mContent, view, decor);
}

void ChartView::resizeEvent(QResizeEvent*) {
  const int h = mScroll->sizeHint().height();
  const auto layout = LayOutChart(width(), height() - h, static_cast<int>(mContent.channels.size()));
  mScroll->setGeometry(layout.traceLeft, height() - h, std::max(0, layout.traceWidth), h);
  if (!mViewSet) return;
  SetView(mView);
}

double ChartView::TraceX(double widgetX) const { return widgetX - Layout().traceLeft; }

void ChartView::SetCurrentChannel(int channel) {
  if (channel < 0 || channel >= static_cast<int>(mContent.channels.size()) || channel == mCurrent) return;
  mCurrent = channel;
  mDecor.currentChannel = channel;
  if (onCurrentChannelChanged) onCurrentChannelChanged(channel);
  update();
}

void ChartView::mousePressEvent(QMouseEvent* event) {
  const auto layout = Layout();
  const int row = layout.RowAt(static_cast<int>(event->position().y()));
  if (row >= 0) SetCurrentChannel(row);
  if (event->button() != Qt::LeftButton || event->position().x() < layout.traceLeft || layout.rows.empty()) return;
  mPressed = true;
  mDecor.dragging = true;
  mDecor.dragX0 = mDecor.dragX1 = TraceX(event->position().x());
  update();
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  const auto layout = Layout();
  const double x = TraceX(event->position().x());
  if (mPressed) mDecor.dragX1 = std::clamp(x, 0.0, static_cast<double>(layout.traceWidth));
  const bool over = x >= 0 && x <= layout.traceWidth && event->position().y() < layout.axisTop;
  mDecor.cursorX = over ? x : -1;
  if (onCursorMoved) onCursorMoved(over ? mView.SecondsAt(x) : std::nan(""));
  update();
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (!mPressed || event->button() != Qt::LeftButton) return;
  mPressed = false;
  mDecor.dragging = false;
  const auto selection = SelectionFromDrag(mContent.timeline, mView, mDecor.dragX0, mDecor.dragX1);
  if (selection != mContent.selection || !selection.valid) {
    mContent.selection = selection;
    if (onSelectionChanged) onSelectionChanged(selection);
  }
  update();
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event) {
  const auto layout = Layout();
  const int row = layout.RowAt(static_cast<int>(event->position().y()));
  if (row >= 0 && event->position().x() < layout.traceLeft) FitChannel(row);
}

void ChartView::leaveEvent(QEvent*) {
  mDecor.cursorX = -1;
  if (onCursorMoved) onCursorMoved(std::nan(""));
  update();
}

void ChartView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  const auto layout = Layout();
  if (event->modifiers() & Qt::ControlModifier) {
    const int row = layout.RowAt(static_cast<int>(event->position().y()));
    if (row >= 0) ZoomChannel(row, std::pow(1.25, steps));
  } else if (event->modifiers() & Qt::ShiftModifier) {
    ScrollTime(-steps * 0.1);
  } else {
    const double x = std::clamp(TraceX(event->position().x()), 0.0, static_cast<double>(layout.traceWidth));
    SetView(ZoomAt(mView, x, std::pow(1.25, steps), mContent.timeline.Duration(), std::max(1, layout.traceWidth),
                   MinSecsPerPixel()));
  }
  event->accept();
}

void ChartView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomTime(2);
      break;
    case Qt::Key_Minus:
      ZoomTime(0.5);
      break;
    case Qt::Key_Left:
      ScrollTime(-0.1);
      break;
    case Qt::Key_Right:
      ScrollTime(0.1);
      break;
    case Qt::Key_PageUp:
      ScrollTime(-1);
      break;
    case Qt::Key_PageDown:
      ScrollTime(1);
      break;
    case Qt::Key_Home:
      SetView({0, mView.secsPerPixel});
      break;
    case Qt::Key_End:
      SetView({mContent.timeline.Duration(), mView.secsPerPixel});
      break;
    case Qt::Key_Up:
      SetCurrentChannel(mCurrent - 1);
      break;
    case Qt::Key_Down:
      SetCurrentChannel(mCurrent + 1);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
}

void ChartView::ZoomTime(double factor) {
  const auto layout = Layout();
  SetView(ZoomAt(mView, layout.traceWidth / 2.0, factor, mContent.timeline.Duration(), std::max(1, layout.traceWidth),
                 MinSecsPerPixel()));
}

void ChartView::ScrollTime(double pages) {
  TimeView v = mView;
  v.startSec += pages * mView.secsPerPixel * std::max(1, Layout().traceWidth);
  SetView(v);
}

void ChartView::ShowAll() { SetView(FitAll(mContent.timeline.Duration(), std::max(1, Layout().traceWidth))); }

void ChartView::ShowSeconds(double from, double to) {
  const int width = std::max(1, Layout().traceWidth);
  if (!(to > from)) return;
  SetView({from, (to - from) / width});
}

void ChartView::ZoomChannel(int channel, double factor) {
  if (channel < 0 || channel >= static_cast<int>(mContent.channels.size())) return;
  auto& trace = mContent.channels[static_cast<std::size_t>(channel)];
  trace.range = ZoomRange(trace.range, factor, (trace.range.bottom + trace.range.top) / 2);
  trace.rangeSetByUser = true;
  update();
}

void ChartView::FitChannel(int channel) {
  if (channel < 0 || channel >= static_cast<int>(mContent.channels.size())) return;
  auto& trace = mContent.channels[static_cast<std::size_t>(channel)];
  MinMax all;
  for (const auto& s : trace.summaries)
    if (s) all.Add(s->Overall());
  trace.range = FitRange(all.min, all.max);
  trace.rangeSetByUser = false;
  update();
}

void ChartView::SetChannelRange(int channel, ValueRange range) {
  if (channel < 0 || channel >= static_cast<int>(mContent.channels.size()) || !(range.top > range.bottom)) return;
  auto& trace = mContent.channels[static_cast<std::size_t>(channel)];
  trace.range = range;
  trace.rangeSetByUser = true;
  update();
}

double ChartView::ValueAt(int channel, double seconds) const {
  if (!mData || channel < 0 || channel >= static_cast<int>(mContent.channels.size()) || std::isnan(seconds))
    return std::nan("");
  auto p = mContent.timeline.PositionAt(seconds);
  if (p.block < 0 || p.block >= mContent.timeline.BlockCount()) return std::nan("");
  const auto length = mContent.timeline.Block(p.block).length;
  if (p.offset >= length) p.offset = static_cast<std::int32_t>(length - 1);
  float value = 0;
  if (p.offset < 0 || mData->GetSample(kValueFlags, p.block, channel, p.offset, &value) != S_OK) return std::nan("");
  return value;
}

}  // namespace kymora::chart
