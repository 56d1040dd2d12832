#pragma once
// What the chart shows: the time axis of the blocks, each channel's trace (title, units, vertical range,
// the summaries per block) and the selection, with a way to read samples when zoomed in closer than the
// summaries go. Plain data, filled by the chart widget from a host document (and by benchmarks from
// anything).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/kymora-gui/chart/time_axis.h"
#include "apps/kymora-gui/chart/trace_summary.h"
#include "apps/kymora-gui/chart/value_axis.h"

namespace kymora::chart {

struct ChannelTrace {
  std::wstring title, units;
  ValueRange range;
  bool rangeSetByUser = false;
  // Per block: the summary once built; null while it is being built or when the channel has no data there.
  std::vector<std::shared_ptr<const TraceSummary>> summaries;
  std::vector<bool> hasData;  // per block
};

// Reads `count` samples of a channel from `first` within a block into *out; false when they cannot be had.
using SampleReader = std::function<bool(std::int32_t channel, std::int32_t block, std::int64_t first,
                                        std::int64_t count, std::vector<float>* out)>;

struct ChartContent {
  Timeline timeline;
  std::vector<ChannelTrace> channels;
  Selection selection;
  SampleReader readSamples;
};

// Where the painter stops reading samples for a stretch whose summary is not built yet.
constexpr std::int64_t kMaxSamplesPerPaint = 1 << 21;

}  // namespace kymora::chart
