#pragma once
// Geometry of the data window and the flow-volume plot, apart from painting: where each graph and scale
// goes, how values and sample positions become pixels, tick steps, the cursor's sample, the marks on
// forced breaths and the chevrons that show which way a loop runs. Plain functions; the views, the
// printouts and the tests share them.
#include <array>
#include <cstdint>
#include <vector>

namespace Spirometry {

// A rectangle in pixels, right and bottom exclusive as in the window system.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelPoint {
  int x = 0, y = 0;
  friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// The data window: flow graph over volume graph, their vertical scales on the left, the time scale under
// the volume graph and the readout line above the flow graph. scaleWidth is what a vertical scale needs for
// its labels, lineHeight the window font's line height.
struct DataLayout {
  PixelRect flowGraph, volumeGraph, flowScale, volumeScale, timeScale, readout;
};
DataLayout LayOutDataWindow(const PixelRect& content, int scaleWidth, int lineHeight);

// The flow-volume plot: one graph, the flow scale on its left, the volume scale under it, the readout
// above. flowLabelWidth is what the flow scale needs for its labels, volumeLabelHeight what the volume
// scale needs for its labels.
struct XYLayout {
  PixelRect graph, flowScale, volumeScale, readout;
};
XYLayout LayOutXYPlot(const PixelRect& content, int flowLabelWidth, int volumeLabelHeight, int lineHeight);

// A vertical (or horizontal) range of values shown on a graph.
struct ValueSpan {
  double low = 0, high = 1;
  friend bool operator==(const ValueSpan&, const ValueSpan&) = default;
};
// The range that shows the data from min to max: 15 % of their span added at each end; with
// minimumSpan, a range still narrower than 0.25 grows by 0.125 at each end (a flat signal stays visible).
ValueSpan WidenedRange(float min, float max, bool minimumSpan);

// value → pixel as (value + offset) × pixelsPerUnit, pixels counted from the graph's own origin.
struct AxisMap {
  double pixelsPerUnit = 1, offset = 0;
  // The range across `pixels`: upward puts `high` at pixel 0 and `low` at `pixels` (a vertical axis);
  // otherwise `low` is at 0 (a horizontal one). A range without width maps as if it were 1 wide.
  static AxisMap Of(ValueSpan range, int pixels, bool upward);
  double PixelOf(double value) const { return (value + offset) * pixelsPerUnit; }
  double ValueAt(double pixel) const { return pixel / pixelsPerUnit - offset; }
};

// The x of a sample counted from the start of the analysed range, truncated.
int XOfSample(std::int64_t samplesFromStart, std::int64_t samplesShown, int width);
// The sample under a cursor at x (0 ≤ x < width): x × (samples ÷ width), truncated.
std::int64_t SampleAtX(int x, std::int64_t samplesShown, int width);
// A value's pixel, truncated toward zero.
int Truncated(double pixel);

// The smallest 1, 2 or 5 × 10^k at or above a positive value.
double NiceStep(double minimum);
// The tick step of an axis of the range over `pixels`, ticks at least minGapPixels apart.
double TickStep(ValueSpan range, int pixels, int minGapPixels);
// The multiples of step within the range, from low to high.
std::vector<double> TickValues(ValueSpan range, double step);

// Marks on forced breaths. A flow peak gets a tick of `length` pixels from the trace point away from the
// zero line (down for PEF, up for PIF) and its label beside the tick's far end.
int MarkerTickLength(int markerFontHeight);
struct PeakMark {
  PixelPoint from, to;  // the tick
  PixelPoint label;     // PEF: the label's top-left corner; PIF: its bottom-left corner
  bool labelBelow = true;
};
PeakMark PefMark(PixelPoint trace, int length);
PeakMark PifMark(PixelPoint trace, int length);

// The sample one second into an expiration (the start of expiration plus the whole-number sampling rate),
// or -1 when it lies beyond the block or at or after the end of the expiration (its smallest volume): FEV1
// is then the whole FVC, marked already, and the trace there belongs to what follows the expiration.
std::int64_t Fev1Sample(std::int64_t maxVolumeSample, std::int64_t minVolumeSample, std::int32_t wholeRate,
                        std::int64_t blockLength);
// The whole-number sampling rate of an interval: 1 ÷ secsPerSample + 0.5, truncated.
std::int32_t WholeRate(double secsPerSample);

// A vertical dimension line from one volume's y to another's, with an arrow head at each end and the label
// beside its middle.
struct DimensionMark {
  int x = 0, yFrom = 0, yTo = 0;
  PixelPoint label;  // the label's left end, vertically centred
};
DimensionMark VolumeDimension(int x, int yFrom, int yTo, int labelGap);

// The three points of a direction chevron at p for a step (dx, dy) from the previous point: two arms of
// length h at 25° either side of the way back along the path.
std::array<PixelPoint, 3> ChevronAt(PixelPoint p, double dx, double dy, double h);

}  // namespace Spirometry
