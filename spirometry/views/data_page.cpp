#include "spirometry/views/data_page.h"

#include <cmath>
#include <cwchar>

#include "host/data/read_flags.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr int kStringFlow = 26, kStringVolume = 27, kStringTime = 32;
constexpr std::size_t kReadoutLength = 256;  // at most 255 characters

double Finite(float v) { return std::isfinite(v) ? v : 0.0; }
}  // namespace

std::wstring DataReadout(const DataPage& page, std::int64_t sample) {
  if (!page.valid) return {};
  const double seconds = page.rate > 0 ? static_cast<double>(sample) / page.rate : 0.0;
  wchar_t text[kReadoutLength];
  std::swprintf(text, kReadoutLength, L"%ls = %.3g s, %ls = %.3g %ls, %ls = %.3g %ls", LoadString(kStringTime).c_str(),
                seconds, LoadString(kStringFlow).c_str(), Finite(page.flow.At(sample)), page.flowUnits.c_str(),
                LoadString(kStringVolume).c_str(), Finite(page.volume.At(sample)), page.volumeUnits.c_str());
  return text;
}

std::wstring XYReadout(const DataPage& page, double flow, double volume) {
  if (!page.valid) return {};
  wchar_t text[kReadoutLength];
  std::swprintf(text, kReadoutLength, L"%ls = %.3g %ls, %ls = %.3g %ls", LoadString(kStringFlow).c_str(), flow,
                page.flowUnits.c_str(), LoadString(kStringVolume).c_str(), volume, page.volumeUnits.c_str());
  return text;
}

std::int64_t DataPage::SampleOf(DataPosition p) const {
  if (p.block != start.block || p.offset == DataPosition::kNotSet) return -1;
  return static_cast<std::int64_t>(p.offset) - start.offset;
}

std::wstring GraphTitle(std::int32_t channel, const std::wstring& what) {
  wchar_t text[256];
  std::swprintf(text, 256, L"Ch %d : %ls", channel + 1, what.c_str());
  return text;
}

DataPage LoadDataPage(SpiroDocument& document) {
  DataPage page;
  if (!document.EnsureAnalysis(&page.message)) return page;
  const BreathAnalysis& analysis = document.Analysis();
  IChannelData* data = document.Data();
  if (!data || analysis.Count() == 0) return page;
  page.start = analysis.At(0).Start;
  page.end = analysis.At(analysis.Count() - 1).End;
  if (page.start.block == DataPosition::kNotSet || page.end.block != page.start.block) return page;

  const SpConfig& settings = document.CurrentSettings();
  page.flowChannel = settings.FlowChannel;
  page.volumeChannel = settings.VolumeChannel;
  const std::int32_t block = page.start.block;
  if (Failed(data->GetBlockLength(ReadFlags::kBlockInfo, block, page.flowChannel, &page.blockLength)) ||
      Failed(data->GetSecsPerTick(ReadFlags::kBlockInfo, block, page.flowChannel, &page.secsPerSample)))
    return page;
  page.rate = WholeRate(page.secsPerSample);
  if (!ReadChannelTrace(data, page.flowChannel, page.start, page.end, &page.flow) ||
      !ReadChannelTrace(data, page.volumeChannel, page.start, page.end, &page.volume) || page.flow.Size() == 0)
    return page;

  const MinMax flow = page.flow.Overall(), volume = page.volume.Overall();
  page.flowRange = WidenedRange(flow.min, flow.max, true);
  page.volumeRange = WidenedRange(volume.min, volume.max, true);
  page.flowTitle = GraphTitle(page.flowChannel, LoadString(kStringFlow));
  page.volumeTitle = GraphTitle(page.volumeChannel, LoadString(kStringVolume));
  page.flowUnits = ChannelUnitsText(data, page.flowChannel, block);
  page.volumeUnits = ChannelUnitsText(data, page.volumeChannel, block);
  for (const auto& breath : analysis.Breaths()) page.breaths.push_back(*breath);
  page.valid = true;
  return page;
}

}  // namespace Spirometry
