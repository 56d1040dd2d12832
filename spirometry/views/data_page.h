#pragma once
// What the data window, the flow-volume plot and their printouts show of a document: the analysed
// stretch's flow and volume samples with their summaries, vertical ranges, titles and units, and the
// breaths; or, when there is no valid analysis, the document's message. Read once per update (the views)
// or per page (the printouts).
#include <cstdint>
#include <string>
#include <vector>

#include "host/data/data_position.h"
#include "spirometry/document/breath.h"
#include "spirometry/views/channel_trace.h"
#include "spirometry/views/spiro_geometry.h"

namespace Spirometry {

class SpiroDocument;

struct DataPage {
  bool valid = false;
  std::wstring message;  // why there is nothing to show (empty when the data is simply missing)
  std::int32_t flowChannel = 0, volumeChannel = 0;
  DataPosition start, end;  // the analysed range, within one block
  std::int64_t blockLength = 0;
  double secsPerSample = 0.001;
  std::int32_t rate = 1000;  // whole samples per second
  ChannelTrace flow, volume;
  ValueSpan flowRange, volumeRange;
  std::wstring flowTitle, volumeTitle, flowUnits, volumeUnits;
  std::vector<Breath> breaths;

  // Samples of the analysed range.
  std::int64_t Samples() const { return flow.Size(); }
  double Seconds() const { return rate > 0 ? static_cast<double>(Samples()) / rate : 0.0; }
  // A breath position as a sample of the traces (-1 when it lies in another block or is not set).
  std::int64_t SampleOf(DataPosition p) const;
};

// "Ch %d : %s" with the one-based channel number.
std::wstring GraphTitle(std::int32_t channel, const std::wstring& what);

// The data window's readout at a sample of the analysed range: "Time = %.3g s, Flow = %.3g L/s, Volume =
// %.3g L" (the values 0 where the sample lies outside the range).
std::wstring DataReadout(const DataPage& page, std::int64_t sample);
// The flow-volume plot's readout: "Flow = %.3g L/s, Volume = %.3g L".
std::wstring XYReadout(const DataPage& page, double flow, double volume);

// Brings the document's analysis up to date and reads what the views show of it. Without a valid
// analysis the page is not valid and carries the document's message.
DataPage LoadDataPage(SpiroDocument& document);

}  // namespace Spirometry
