#pragma once
// What every importer does once it has read its samples: default titles, the --range overrides, the
// consistency check, and the move of the sample vectors into a DataFile without copying them.
#include <limits>
#include <string>
#include <vector>

#include "host/data/import/recording_importer.h"

namespace kymora::import {

class RecordingBuilder {
 public:
  // name stands for the file in error messages.
  explicit RecordingBuilder(std::string name) : mName(std::move(name)) {}

  // range is the channel's full scale unless --range overrides it. An empty title becomes "Channel N".
  void AddChannel(std::wstring title, std::wstring units, double range);
  // One sample vector per channel added so far, all of one length.
  void AddBlock(double secsPerTick, std::vector<Samples> columns);
  void Warn(std::string warning) { mWarnings.push_back(std::move(warning)); }

  std::size_t ChannelCount() const { return mChannels.size(); }
  std::size_t BlockCount() const { return mBlocks.size(); }
  const std::string& Name() const { return mName; }

  Expected<Imported> Finish(const ImportOptions& options) &&;

 private:
  struct ChannelInfo {
    std::wstring title, units;
    double range;
  };
  struct BlockData {
    double secsPerTick;
    std::vector<Samples> columns;
  };

  std::string mName;
  std::vector<ChannelInfo> mChannels;
  std::vector<BlockData> mBlocks;
  std::vector<std::string> mWarnings;
};

// A value as a sample. Beyond the float range the result is an infinity of the same sign: the conversion
// itself would be undefined there, and a header can declare physical extremes that large.
inline float ToSample(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (value > kLargest) return std::numeric_limits<float>::infinity();
  if (value < -kLargest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// Without leading and trailing spaces and tabs.
std::string_view TrimBlanks(std::string_view text);

// A cell or header text shortened for an error message, so that a runaway line cannot flood the terminal.
std::string Excerpt(std::string_view text);

}  // namespace kymora::import
