#include <sndfile.h>

#include <algorithm>
#include <memory>

#include "host/data/import/recording_builder.h"
#include "host/data/import/recording_importer.h"

namespace kymora::import {

Expected<Imported> ImportWav(const std::string& path, const ImportOptions& options) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), &sf_close);
  if (!file) return Error{path + ": " + sf_strerror(nullptr)};
  if (info.channels <= 0 || info.samplerate <= 0) return Error{path + ": no channels or no sample rate"};
  if (info.frames <= 0) return Error{path + ": the file has no samples"};

  const auto channels = static_cast<std::size_t>(info.channels);
  std::vector<Samples> columns(channels);
  // The frame count comes from the header; a damaged one must not reserve more than the data could hold.
  for (auto& c : columns) c.reserve(static_cast<std::size_t>(std::min<sf_count_t>(info.frames, sf_count_t{1} << 24)));
  constexpr sf_count_t kFramesPerRead = 4096;
  std::vector<float> interleaved(static_cast<std::size_t>(kFramesPerRead) * channels);
  for (;;) {
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
