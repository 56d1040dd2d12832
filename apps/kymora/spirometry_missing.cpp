#include "apps/kymora/spirometry_missing.h"

#include <cfloat>
#include <cmath>
#include <vector>

#include "host/calc/ichannel_calc.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_ptr.h"

namespace kymora::cli {

namespace {
constexpr std::uint32_t kSampleFlags = 0x40001000;  // as the user sees the channel
constexpr std::int32_t kChunk = 65536;

std::string Counted(std::int64_t count, std::int32_t channel, const char* role) {
  return std::to_string(count) + (count == 1 ? " sample" : " samples") + " of the " + role + " channel (channel " +
         std::to_string(channel + 1) + ")";
}
// Without a branch per sample, in eight independent counts, so that the loop vectorises.
std::int64_t CountNotFinite(const float* samples, std::int32_t count) {
  std::int32_t counts[8] = {};
  std::int32_t i = 0;
  for (; i + 8 <= count; i += 8)
    for (std::int32_t j = 0; j < 8; ++j) counts[j] += std::fabs(samples[i + j]) <= FLT_MAX ? 0 : 1;
  std::int64_t total = 0;
  for (std::int32_t j = 0; j < 8; ++j) total += counts[j];
  for (; i < count; ++i) total += std::isfinite(samples[i]) ? 0 : 1;
  return total;
}
}  // namespace

std::optional<std::int64_t> CountMissingSamples(IChannelData& data, std::int32_t channel, DataPosition start,
                                                DataPosition end) {
  end.block = start.block;
  ComPtr<IEnumFloatEx> reader;
  if (Failed(data.OpenReader(kSampleFlags, channel, start, end, reader.Put())) || !reader) return std::nullopt;
  std::vector<float> chunk(kChunk);
  std::int64_t missing = 0;
  for (;;) {
    std::int32_t delivered = 0;
    const HRESULT hr = reader->Read(kChunk, chunk.data(), &delivered);
    if (Failed(hr)) return std::nullopt;
    missing += CountNotFinite(chunk.data(), delivered);
    if (hr != S_OK || delivered < kChunk) return missing;
  }
}

std::string MissingSamplesNotice(IChannelData& data, std::int32_t flowChannel, std::int32_t volumeChannel,
                                 DataPosition start, DataPosition end) {
  std::string counted;
  std::int64_t total = 0;
  if (auto flow = CountMissingSamples(data, flowChannel, start, end); flow && *flow > 0) {
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
