// make_flow_recording SAMPLES OUT [CHANNELS]: writes the benchmarks' synthetic flow-head recording as a .kymo
// file, as CSV (a Time column, 1 ms steps), as a 32-bit float WAV, or as raw little-endian floats (.f32), by
// the extension of OUT. A .kymo file may hold CHANNELS channels (default 1): the flow head first, then
// others as a polygraph records them beside it, for measuring what a command reads of a file.
#include <sndfile.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/flow_recording.h"
#include "host/data/storage/kymo_storage.h"

namespace {

bool EndsWith(const std::string& s, const char* tail) {
  const std::string t(tail);
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

bool WriteCsv(const std::string& path, const kymora::Samples& volts) {
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!out) return false;
  std::fputs("# Synthetic flow-head recording, 40.1 L/s per V, 1 kHz\nTime (s),Flow head (V)\n", out.get());
  std::string buffer;
  char line[64];
  for (std::size_t i = 0; i < volts.size(); ++i) {
    char* p = std::to_chars(line, line + 32, static_cast<double>(i) / 1000.0, std::chars_format::fixed, 3).ptr;
    *p++ = ',';
    p = std::to_chars(p, line + 64, volts[i], std::chars_format::fixed, 6).ptr;
    *p++ = '\n';
    buffer.append(line, p);
    if (buffer.size() > (1 << 20)) {
      std::fwrite(buffer.data(), 1, buffer.size(), out.get());
      buffer.clear();
    }
  }
  std::fwrite(buffer.data(), 1, buffer.size(), out.get());
  return std::ferror(out.get()) == 0;
}

bool WriteWav(const std::string& path, const kymora::Samples& volts) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(kymora::bench::kRecordingRateHz);
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info), &sf_close);
  return file && sf_writef_float(file.get(), volts.data(), static_cast<sf_count_t>(volts.size())) ==
                     static_cast<sf_count_t>(volts.size());
}

bool WriteRaw(const std::string& path, const kymora::Samples& volts) {
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
  return out && std::fwrite(volts.data(), sizeof(float), volts.size(), out.get()) == volts.size();
}

// Channels 2 and on: the flow head's voltage, scaled, so that no two channels store the same chunks.
kymora::DataFile WithChannels(kymora::DataFile file, int channels) {
  const auto& volts = **file.blocks[0].channels[0].ReadSamples();
  for (int c = 1; c < channels; ++c) {
    kymora::Samples other(volts);
    for (float& v : other) v *= static_cast<float>(c + 1);
    const auto channel = file.AddChannel(L"Channel " + std::to_wstring(c + 1));
    file.SetSamples(0, channel, L"V", 0.2 * (c + 1), std::move(other));
  }
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  const int channels = argc == 4 ? std::atoi(argv[3]) : 1;
  if ((argc != 3 && argc != 4) || channels < 1) {
    std::fprintf(stderr, "usage: make_flow_recording SAMPLES OUT.{kymo,csv,wav,f32} [CHANNELS, .kymo only]\n");
    return 2;
  }
  const auto n = static_cast<std::int64_t>(std::strtod(argv[1], nullptr));
  const std::string path = argv[2];
  bool ok = false;
  if (EndsWith(path, ".kymo")) {
    auto saved = kymora::storage::SaveKymo(path, WithChannels(kymora::bench::FlowHeadRecording(n), channels));
    if (!saved) std::fprintf(stderr, "%s\n", saved.ErrorMessage().c_str());
    ok = static_cast<bool>(saved);
  } else if (EndsWith(path, ".csv")) {
    ok = WriteCsv(path, kymora::bench::FlowHeadVolts(n));
  } else if (EndsWith(path, ".wav")) {
    ok = WriteWav(path, kymora::bench::FlowHeadVolts(n));
  } else if (EndsWith(path, ".f32")) {
    ok = WriteRaw(path, kymora::bench::FlowHeadVolts(n));
  } else {
    std::fprintf(stderr, "make_flow_recording: %s: give a .kymo, .csv, .wav or .f32 name\n", path.c_str());
    return 2;
  }
  if (!ok) std::fprintf(stderr, "make_flow_recording: %s could not be written\n", path.c_str());
  return ok ? 0 : 1;
}
