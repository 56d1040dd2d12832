#include "host/data/data_file.h"

#include <cmath>

namespace kymora {

std::optional<std::string> WhyNotUsable(const UserConversion& conversion) {
  if (!std::isfinite(conversion.scale) || conversion.scale == 0)
    return "the units conversion's scale must be a finite number other than 0";
  if (!std::isfinite(conversion.offset)) return "the units conversion's offset must be a finite number";
  return std::nullopt;
}

Expected<std::shared_ptr<const Samples>> ChannelBlock::ReadSamples() const {
  if (mDeferred) return mDeferred->Get();
  return mSamples;
}

std::int64_t ChannelBlock::SampleCount() const {
  if (mDeferred) return mDeferred->Count();
  return mSamples ? static_cast<std::int64_t>(mSamples->size()) : 0;
}

void ChannelBlock::SetSamples(std::shared_ptr<const Samples> samples) {
  mSamples = std::move(samples);
  mDeferred.reset();
}

void ChannelBlock::DeferSamples(std::shared_ptr<DeferredSamples> deferred) {
  mDeferred = std::move(deferred);
  mSamples.reset();
}

std::int32_t DataFile::AddChannel(std::wstring title) {
  channels.push_back(Channel{std::move(title), std::nullopt});
  for (auto& b : blocks) b.channels.emplace_back();
  return ChannelCount() - 1;
}

std::int32_t DataFile::AddBlock(double secsPerTick, std::int64_t length) {
  Block b;
  b.secsPerTick = secsPerTick;
  b.length = length;
  b.channels.resize(channels.size());
  blocks.push_back(std::move(b));
  return BlockCount() - 1;
}

void DataFile::SetSamples(std::int32_t block, std::int32_t channel, std::wstring units, double range, Samples samples) {
  auto& cb = blocks.at(static_cast<std::size_t>(block)).channels.at(static_cast<std::size_t>(channel));
  cb.units = std::move(units);
  cb.range = range;
  cb.SetSamples(std::make_shared<const Samples>(std::move(samples)));
  cb.userConversion.reset();  // it was set on top of the data that these samples replace
}

std::optional<std::string> DataFile::Check() const {
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const auto& block = blocks[b];
    auto where = "block " + std::to_string(b + 1);
    if (!(block.secsPerTick > 0) || !std::isfinite(block.secsPerTick))
      return where + ": the sample interval must be a positive number";
    if (block.length < 0) return where + ": negative length";
    if (block.channels.size() != channels.size()) return where + ": wrong number of channels";
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
      const auto& cb = block.channels[c];
      if (cb.HasData() && cb.SampleCount() != block.length)
        return where + ", channel " + std::to_string(c + 1) + ": sample count differs from the block length";
      if (!(cb.range > 0) || !std::isfinite(cb.range))
        return where + ", channel " + std::to_string(c + 1) + ": the full-scale range must be positive";
      if (cb.userConversion) {
        if (!cb.HasData())
          return where + ", channel " + std::to_string(c + 1) + ": a units conversion without recorded data";
        if (auto why = WhyNotUsable(*cb.userConversion))
          return where + ", channel " + std::to_string(c + 1) + ": " + *why;
      }
    }
  }
  if (selection.valid) {
    for (auto p : {selection.start, selection.end}) {
      if (p.block < 0 || p.block >= BlockCount()) return "the selection lies outside the blocks";
      if (p.offset != DataPosition::kNotSet && (p.offset < 0 || p.offset > blocks[p.block].length))
        return "the selection lies outside its block";
    }
  }
  return std::nullopt;
}

std::optional<std::string> DataFile::ReadFailure() const {
  for (const auto& block : blocks)
    for (const auto& cb : block.channels)
      if (auto failure = cb.ReadFailure()) return failure;
  return std::nullopt;
}

std::optional<std::int64_t> DataFile::AbsoluteIndex(DataPosition position) const {
  if (position.block < 0 || position.block >= BlockCount()) return std::nullopt;
  std::int64_t index = 0;
  for (std::int32_t b = 0; b < position.block; ++b) index += blocks[b].length;
  const auto& block = blocks[position.block];
  if (position.offset == DataPosition::kNotSet) return index + block.length;
  if (position.offset < 0) return std::nullopt;
  return index + position.offset;
}

std::optional<double> DataFile::TimeOf(DataPosition position, bool fromBlockStart) const {
  if (position.block < 0 || position.block >= BlockCount()) return std::nullopt;
  double t = 0;
  if (!fromBlockStart)
    for (std::int32_t b = 0; b < position.block; ++b) t += blocks[b].secsPerTick * blocks[b].length;
  const auto& block = blocks[position.block];
  std::int64_t offset = position.offset == DataPosition::kNotSet ? block.length : position.offset;
  if (offset < 0) return std::nullopt;
  return t + block.secsPerTick * offset;
}

double NiceRange(double largestMagnitude) {
  if (!(largestMagnitude > 0) || !std::isfinite(largestMagnitude)) return 1.0;
  double decade = std::pow(10.0, std::floor(std::log10(largestMagnitude)));
  for (int i = 0; i < 3; ++i) {  // guard against log10 rounding at exact powers of ten
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
      double candidate = m * decade;
      // Compare with a relative tolerance so that 0.3 lands on 0.5 and 1e-7 on 1e-7.
      if (candidate >= largestMagnitude * (1 - 1e-12)) {
        if (m == 10.0) return 10.0 * decade;
        return candidate;
      }
    }
    decade *= 10.0;
  }
  return largestMagnitude;
}

}  // namespace kymora
