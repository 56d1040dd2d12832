#include "apps/kymora/spirometry_missing.h"

#include "host/calc/ichannel_calc.h"
#include "host/calc/missing_sample_count.h"
#include "host/com/com_ptr.h"

namespace kymora::cli {

namespace {
std::string Counted(std::int64_t count, std::int32_t channel, const char* role) {
  return std::to_string(count) + (count == 1 ? " sample" : " samples") + " of the " + role + " channel (channel " +
         std::to_string(channel + 1) + ")";
}
}  // namespace

std::optional<std::int64_t> CountMissingSamples(IChannelData& data, std::int32_t channel, DataPosition start,
                                                DataPosition end) {
  return MissingSampleCounter(data, channel, start, end).Finish();
}

std::string MissingSamplesNotice(IChannelData& data, std::int32_t flowChannel, std::int32_t volumeChannel,
                                 DataPosition start, DataPosition end, std::optional<std::int64_t> countedFlow) {
  std::string counted;
  std::int64_t total = 0;
  if (auto flow = countedFlow ? countedFlow : CountMissingSamples(data, flowChannel, start, end); flow && *flow > 0) {
    counted = Counted(*flow, flowChannel, "flow");
    total += *flow;
  }
  ComPtr<IChannelCalc> calc;
  if (data.GetChannelCalc(volumeChannel, calc.Put()) == S_FALSE) {
    if (auto volume = CountMissingSamples(data, volumeChannel, start, end); volume && *volume > 0) {
      counted += (counted.empty() ? "" : " and ") + Counted(*volume, volumeChannel, "volume");
      total += *volume;
    }
  }
  if (total == 0) return std::string();
  return counted + " in the selection " + (total == 1 ? "is" : "are") +
         " missing (empty, NaN or infinite); the analysis steps over " + (total == 1 ? "it" : "them");
}

}  // namespace kymora::cli
