#include "spirometry/document/channel_samples.h"

#include <algorithm>

#include "host/calc/ienum_float_ex.h"
#include "host/com/com_ptr.h"
#include "host/data/iunits.h"
#include "spirometry/support/unit_prefix.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kSampleFlags = 0x40001000;  // as the user sees the channel, in its units
constexpr std::int32_t kChunk = 65536;
}  // namespace

bool ReadSamplesInLitres(IChannelData* data, std::int32_t channel, DataPosition start, DataPosition end,
                         ChannelSamples* samples) {
  if (!data || !samples || start.offset == DataPosition::kNotSet) return false;
  samples->values.clear();
  end.block = start.block;
  ComPtr<IEnumFloatEx> reader;
  if (Failed(data->OpenReader(kSampleFlags, channel, start, end, reader.Put())) || !reader) return false;
  if (Failed(reader->GetSecsPerTick(&samples->secsPerSample)) || !(samples->secsPerSample > 0.0)) return false;
  std::int32_t prefix = 8;
  ComPtr<IUnits> units;
  if (Succeeded(reader->GetUnits(units.Put())) && units && Failed(units->GetPrefixCode(&prefix))) prefix = 8;
  const double factor = UnitPrefixFactor(prefix);
  for (;;) {
    const std::size_t at = samples->values.size();
    samples->values.resize(at + kChunk);
    std::int32_t delivered = 0;
    const HRESULT hr = reader->Read(kChunk, samples->values.data() + at, &delivered);
    samples->values.resize(at + static_cast<std::size_t>(std::max(0, delivered)));
    if (Failed(hr)) return false;
    if (hr != S_OK || delivered < kChunk) break;
  }
  if (factor != 1.0)
    for (float& v : samples->values) v = static_cast<float>(v / factor);
  return true;
}

}  // namespace Spirometry
