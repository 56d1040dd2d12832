#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "host/data/import/recording_builder.h"
#include "host/data/import/recording_importer.h"

namespace kymora::import {

namespace {
// The most frames the file's bytes can hold with the header's encoding; no bound for encodings that pack
// samples into fewer bits than a byte.
sf_count_t MostFramesIn(const std::string& path, const SF_INFO& info) {
  int bytes = 0;
  switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      bytes = 1;
      break;
    case SF_FORMAT_PCM_16:
      bytes = 2;
      break;
    case SF_FORMAT_PCM_24:
      bytes = 3;
      break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      bytes = 4;
      break;
    case SF_FORMAT_DOUBLE:
      bytes = 8;
      break;
    default:
      return info.frames;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return 0;
  return static_cast<sf_count_t>(size /
                                 (static_cast<std::uintmax_t>(bytes) * static_cast<std::uintmax_t>(info.channels)));
}
}  // namespace

Expected<Imported> ImportWav(const std::string& path, const ImportOptions& options) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), &sf_close);
  if (!file) return Error{path + ": " + sf_strerror(nullptr)};
  if (info.channels <= 0 || info.samplerate <= 0) return Error{path + ": no channels or no sample rate"};
  if (info.frames <= 0) return Error{path + ": the file has no samples"};

  const auto channels = static_cast<std::size_t>(info.channels);
  // The columns take the frame count of the header, unless a damaged header claims more frames than the
  // file's bytes could hold: then they grow with what is read.
  std::vector<Samples> columns(channels);
  const sf_count_t promised = std::min(info.frames, MostFramesIn(path, info));
  for (auto& c : columns) c.reserve(static_cast<std::size_t>(promised));
  constexpr sf_count_t kFramesPerRead = 65536;
  std::vector<float> interleaved(channels > 1 ? static_cast<std::size_t>(kFramesPerRead) * channels : 0);
  for (;;) {
    if (channels == 1) {
      // One channel: straight into its column, without a copy, and beyond its reserve only if the file
      // holds more than its header said.
      Samples& column = columns.front();
      const auto room = static_cast<sf_count_t>(column.capacity() - column.size());
      if (room == 0) {
        float more[4096];
        const sf_count_t got = sf_readf_float(file.get(), more, 4096);
        if (got <= 0) break;
        column.insert(column.end(), more, more + got);
        continue;
      }
      const auto at = column.size();
      column.resize(at + static_cast<std::size_t>(std::min(kFramesPerRead, room)));
      const sf_count_t got = sf_readf_float(file.get(), column.data() + at, std::min(kFramesPerRead, room));
      column.resize(at + static_cast<std::size_t>(std::max<sf_count_t>(got, 0)));
      if (got <= 0) break;
      continue;
    }
    sf_count_t got = sf_readf_float(file.get(), interleaved.data(), kFramesPerRead);
    if (got <= 0) break;
    for (sf_count_t f = 0; f < got; ++f)
      for (std::size_t c = 0; c < channels; ++c)
        columns[c].push_back(interleaved[static_cast<std::size_t>(f) * channels + c]);
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) return Error{path + ": " + sf_strerror(file.get())};
  if (columns.front().empty()) return Error{path + ": the file has no samples"};

  RecordingBuilder builder(path);
  for (std::size_t c = 0; c < channels; ++c) builder.AddChannel(L"Channel " + std::to_wstring(c + 1), L"V", 1.0);
  builder.AddBlock(1.0 / info.samplerate, std::move(columns));
  return std::move(builder).Finish(options);
}

}  // namespace kymora::import
