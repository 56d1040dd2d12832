#include "host/data/import/recording_importer.h"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "host/data/import/recording_builder.h"

namespace kymora::import {

Expected<Imported> ImportRecording(const std::string& path, const ImportOptions& options) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (auto& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (extension == ".csv" || extension == ".txt" || extension == ".tsv") return ImportCsvFile(path, options);
  if (extension == ".edf" || extension == ".bdf") return ImportEdf(path, options);
  if (extension == ".wav") return ImportWav(path, options);
  return Error{path + ": unknown kind of recording (the importers take .csv, .txt, .tsv, .edf, .bdf and .wav)"};
}

Expected<std::pair<std::int32_t, double>> ParseRangeOption(std::string_view text) {
  const std::string shown(Excerpt(text));
  auto equals = text.find('=');
  if (equals == std::string_view::npos)
    return Error{"--range expects CHANNEL=VALUE, for example 2=0.5 (got '" + shown + "')"};
  auto channelText = TrimBlanks(text.substr(0, equals));
  auto valueText = TrimBlanks(text.substr(equals + 1));

  std::int32_t channel = 0;
  auto [channelEnd, channelError] =
      std::from_chars(channelText.data(), channelText.data() + channelText.size(), channel);
  if (channelText.empty() || channelError != std::errc() || channelEnd != channelText.data() + channelText.size() ||
      channel < 1)
    return Error{"--range: the channel must be a whole number from 1 (got '" + shown + "')"};

  double value = 0;
  auto [valueEnd, valueError] = std::from_chars(valueText.data(), valueText.data() + valueText.size(), value);
  if (valueText.empty() || valueError != std::errc() || valueEnd != valueText.data() + valueText.size() ||
      !(value > 0) || !std::isfinite(value))
    return Error{"--range: the range must be a positive number (got '" + shown + "')"};
  return std::pair{channel, value};
}

}  // namespace kymora::import
