#pragma once
// Paints the chart: the label column (title, units, scale of each channel), the traces stacked on one time
// axis with the block boundaries, the selection, the cursor and the time axis. Only paints: every position
// comes from the geometry functions.
#include <QColor>

#include "apps/kymora-gui/chart/chart_content.h"

class QPainter;

namespace kymora::chart {

struct ChartDecor {
  double cursorX = -1;      // trace-area x of the cursor line; negative: none
  int currentChannel = -1;  // highlighted in the label column
  bool dragging = false;    // a drag in progress shows its stretch instead of the selection
  double dragX0 = 0, dragX1 = 0;
  double fontScale = 1.0;  // for devices of another resolution than the screen (printouts)
};

QColor TraceColour(int channel);
QColor SelectionColour();

// Paints into the painter's current coordinates: the chart occupies (0, 0) to (layout.width, layout.height).
void PaintChart(QPainter& painter, const ChartLayout& layout, const ChartContent& content, const TimeView& view,
                const ChartDecor& decor);

// The trace of one channel in one row (also used by benchmarks): the columns of the trace area that the
// channel's blocks cover, each from its minimum to its maximum.
void PaintTrace(QPainter& painter, const ChartLayout& layout, const ChartContent& content, const TimeView& view,
                int channel);

}  // namespace kymora::chart
