#pragma once
// The drawing of the data window, apart from any window: one graph of flow or volume against time with
// its breaths and marks, the scales, frames and messages, and a whole page of them. The window's graphs
// and the printouts paint through these, so the screen, a printed page and a copied picture match.
#include <QColor>
#include <QFont>
#include <QRect>
#include <string>

#include "spirometry/views/data_page.h"

class QPainter;

namespace Spirometry {

// Sizes for a device: the screen at 96 dots per inch is scale 1; a printer at 600 draws 6.25 times larger.
struct PaintStyle {
  double scale = 1.0;
  QFont windowFont, markerFont;
  int lineHeight = 12;    // the window font's height + 2
  int markerHeight = 11;  // the marker font's height
  int pen = 1;            // a one-pixel line on this device
  static PaintStyle ForDpi(int dpiY);
  // What a vertical scale needs for its labels and units, and a horizontal one for its labels.
  int ScaleWidth() const;
  int ScaleLabelHeight() const;
};

namespace SpiroColours {
inline const QColor kBand{245, 245, 245};
inline const QColor kLight{220, 220, 220};
inline const QColor kBoundary{150, 150, 150};
inline const QColor kDark{100, 100, 100};
inline const QColor kFrame{155, 155, 155};
inline const QColor kMarker{0, 0, 255};
inline const QColor kGreen{0, 200, 0};
inline const QColor kFace{240, 240, 240};  // the background around the graphs
}  // namespace SpiroColours

QRect ToQRect(const PixelRect& r);
PixelRect ToPixelRect(const QRect& r);

// One graph of the data window: the breaths' bands and boundaries, the zero line, the trace and the title.
// The flow and volume graphs add their marks on forced breaths.
class SpiroGraph {
 public:
  SpiroGraph(const DataPage* page, bool flow) : mPage(page), mFlow(flow) {}
  virtual ~SpiroGraph() = default;
  SpiroGraph(const SpiroGraph&) = delete;
  SpiroGraph& operator=(const SpiroGraph&) = delete;

  void SetRange(ValueSpan range) { mRange = range; }
  ValueSpan Range() const { return mRange; }
  const ChannelTrace& Trace() const { return mFlow ? mPage->flow : mPage->volume; }
  const std::wstring& Title() const { return mFlow ? mPage->flowTitle : mPage->volumeTitle; }

  void Draw(QPainter& painter, const QRect& rect, const PaintStyle& style) const;
  // Device coordinates of a value and of a sample of the trace, within the graph's rectangle.
  int YOf(double value, const QRect& rect) const;
  int XOf(std::int64_t sample, const QRect& rect) const;
  // The trace's point at a sample, or false outside the trace or where it is not a number.
  bool PointAt(std::int64_t sample, const QRect& rect, QPoint* point) const;

 protected:
  virtual void DrawBands(QPainter& painter, const QRect& rect, const PaintStyle& style) const;
  virtual void DrawMarkers(QPainter&, const QRect&, const PaintStyle&) const {}
  void DrawTrace(QPainter& painter, const QRect& rect, const PaintStyle& style) const;

  const DataPage* mPage;
  bool mFlow;
  ValueSpan mRange;
};

// PEF on every forced and single expiration, PIF on forced breaths that are not single expirations.
class SpiroFlowGraph final : public SpiroGraph {
 public:
  explicit SpiroFlowGraph(const DataPage* page) : SpiroGraph(page, true) {}

 protected:
  void DrawMarkers(QPainter& painter, const QRect& rect, const PaintStyle& style) const override;
};

// FVC and FEV1 as dimension lines on every forced and single expiration.
class SpiroVolumeGraph final : public SpiroGraph {
 public:
  explicit SpiroVolumeGraph(const DataPage* page) : SpiroGraph(page, false) {}

 protected:
  void DrawMarkers(QPainter& painter, const QRect& rect, const PaintStyle& style) const override;
};

// A value scale: vertical (ticks on its right edge, the units along its left) or horizontal (ticks on its
// top edge, labels below, the units at its right end).
void PaintValueScale(QPainter& painter, const QRect& rect, ValueSpan range, bool vertical, const std::wstring& units,
                     const PaintStyle& style);
// The time scale from 0 to `seconds`, its ticks under the graph's width.
void PaintTimeScale(QPainter& painter, const QRect& rect, const QRect& graph, double seconds, const PaintStyle& style);
// The frame one pixel outside a graph.
void PaintGraphFrame(QPainter& painter, const QRect& graph, const PaintStyle& style);
// A message centred on one line in a rectangle.
void PaintCentredMessage(QPainter& painter, const QRect& rect, const std::wstring& text, const PaintStyle& style);

// The whole data window as a page: title line, both graphs with their scales and frames, the time scale;
// the message in both graph areas when the page is not valid.
void PaintDataPage(QPainter& painter, const QRect& area, const DataPage& page, const std::wstring& title,
                   const PaintStyle& style);

}  // namespace Spirometry
