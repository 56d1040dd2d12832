#include "host/data/import/recording_builder.h"

#include <cmath>

namespace kymora::import {

void RecordingBuilder::AddChannel(std::wstring title, std::wstring units, double range) {
  if (title.empty()) title = L"Channel " + std::to_wstring(mChannels.size() + 1);
  mChannels.push_back({std::move(title), std::move(units), range});
}

void RecordingBuilder::AddBlock(double secsPerTick, std::vector<Samples> columns) {
  mBlocks.push_back({secsPerTick, std::move(columns)});
}

Expected<Imported> RecordingBuilder::Finish(const ImportOptions& options) && {
  const auto channelCount = static_cast<std::int32_t>(mChannels.size());
  if (channelCount == 0) return Error{mName + ": no channels to import"};
  if (mBlocks.empty()) return Error{mName + ": no samples to import"};
  for (const auto& [channel, range] : options.ranges) {
    if (channel < 1 || channel > channelCount)
      return Error{mName + ": --range names channel " + std::to_string(channel) + ", but the file has " +
                   std::to_string(channelCount) + (channelCount == 1 ? " channel" : " channels")};
    if (!(range > 0) || !std::isfinite(range))
      return Error{mName + ": --range for channel " + std::to_string(channel) + " must be a positive number"};
    mChannels[static_cast<std::size_t>(channel - 1)].range = range;
  }

  Imported result;
  DataFile& file = result.file;
  for (auto& c : mChannels) file.AddChannel(c.title);
  for (auto& b : mBlocks) {
    if (b.columns.size() != mChannels.size()) return Error{mName + ": internal error: block without all channels"};
    auto length = static_cast<std::int64_t>(b.columns.empty() ? 0 : b.columns.front().size());
    auto block = file.AddBlock(b.secsPerTick, length);
    for (std::size_t c = 0; c < mChannels.size(); ++c)
      file.SetSamples(block, static_cast<std::int32_t>(c), mChannels[c].units, mChannels[c].range,
                      std::move(b.columns[c]));
  }
  // The importers are meant to satisfy this by construction; checking costs nothing next to the reading
  // and turns a slip into a message instead of a broken file further down.
  if (auto problem = file.Check()) return Error{mName + ": " + *problem};
  result.warnings = std::move(mWarnings);
  return result;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Excerpt(std::string_view text) {
  constexpr std::size_t kLongest = 40;
  if (text.size() <= kLongest) return std::string(text);
  std::size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
  return std::string(text.substr(0, cut)) + "...";
}

}  // namespace kymora::import
