#include "spirometry/views/channel_trace.h"

#include <algorithm>
#include <cmath>

#include "host/calc/ienum_float_ex.h"
#include "host/com/com_ptr.h"
#include "host/data/iunits.h"
#include "host/data/read_flags.h"

namespace Spirometry {

namespace {
constexpr std::uint32_t kSampleFlags = ReadFlags::kCalculated | ReadFlags::kInUnits;
constexpr std::int32_t kChunk = 65536;

std::vector<MinMax> Coarser(const std::vector<MinMax>& finer, std::int64_t factor) {
  std::vector<MinMax> out((finer.size() + static_cast<std::size_t>(factor) - 1) / static_cast<std::size_t>(factor));
  for (std::size_t i = 0; i < finer.size(); ++i) out[i / static_cast<std::size_t>(factor)].Add(finer[i]);
  return out;
}
}  // namespace

void ChannelTrace::Assign(std::vector<float> samples) {
  mSamples = std::move(samples);
  mLevels.clear();
  std::vector<MinMax> base((mSamples.size() + kBaseBin - 1) / kBaseBin);
  for (std::size_t i = 0; i < mSamples.size(); ++i) base[i / kBaseBin].Add(mSamples[i]);
  mLevels.push_back(std::move(base));
  while (mLevels.back().size() > 1) mLevels.push_back(Coarser(mLevels.back(), kFactor));
}

float ChannelTrace::At(std::int64_t i) const {
  return i >= 0 && i < Size() ? mSamples[static_cast<std::size_t>(i)] : std::numeric_limits<float>::quiet_NaN();
}

MinMax ChannelTrace::Overall() const {
  MinMax all;
  if (!mLevels.empty())
    for (const MinMax& b : mLevels.back()) all.Add(b);
  return all;
}

void ChannelTrace::Columns(double perColumn, int columns, MinMax* out) const {
  int level = -1;
  std::int64_t bin = kBaseBin;
  while (level + 1 < static_cast<int>(mLevels.size()) && static_cast<double>(bin) <= perColumn) {
    ++level;
    bin *= kFactor;
  }
  bin = level < 0 ? 1 : bin / kFactor;
  for (int c = 0; c < columns; ++c) {
    MinMax m;
    const auto from = static_cast<std::int64_t>(std::floor(c * perColumn));
    const auto to = std::min(Size(), static_cast<std::int64_t>(std::floor((c + 1) * perColumn)));
    if (level < 0) {
      for (std::int64_t i = from; i < std::max(to, from + 1) && i < Size(); ++i)
        m.Add(mSamples[static_cast<std::size_t>(i)]);
    } else {
      const auto& bins = mLevels[static_cast<std::size_t>(level)];
      const std::int64_t last = std::min<std::int64_t>(static_cast<std::int64_t>(bins.size()), (to + bin - 1) / bin);
      for (std::int64_t b = from / bin; b < last; ++b) m.Add(bins[static_cast<std::size_t>(b)]);
    }
    out[c] = m;
  }
}

bool ReadChannelTrace(IChannelData* data, std::int32_t channel, DataPosition start, DataPosition end,
                      ChannelTrace* trace) {
  if (!data || !trace || start.offset == DataPosition::kNotSet) return false;
  end.block = start.block;
  ComPtr<IEnumFloatEx> reader;
  if (Failed(data->OpenReader(kSampleFlags, channel, start, end, reader.Put())) || !reader) return false;
  std::vector<float> samples;
  std::int64_t length = 0;
  if (Succeeded(reader->GetLength(&length)) && length > start.offset) {
    const std::int64_t stop = end.offset == DataPosition::kNotSet ? length : std::min<std::int64_t>(end.offset, length);
    samples.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, stop - start.offset) + kChunk));
  }
  for (;;) {
    const std::size_t at = samples.size();
    samples.resize(at + kChunk);
    std::int32_t delivered = 0;
    const HRESULT hr = reader->Read(kChunk, samples.data() + at, &delivered);
    samples.resize(at + static_cast<std::size_t>(std::max(0, delivered)));
    if (Failed(hr)) return false;
    if (hr != S_OK || delivered < kChunk) break;
  }
  trace->Assign(std::move(samples));
  return true;
}

std::wstring ChannelUnitsText(IChannelData* data, std::int32_t channel, std::int32_t block) {
  std::wstring text;
  ComPtr<IUnits> units;
  if (data && Succeeded(data->GetUnits(ReadFlags::kCalculated, block, channel, units.Put())) && units)
    units->GetText(&text);
  return text;
}

}  // namespace Spirometry
