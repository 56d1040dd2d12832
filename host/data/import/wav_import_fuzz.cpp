// Feeds arbitrary bytes to the WAV importer as the content of a .wav file.
#include "host/data/import/recording_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kymora::import;
  const auto path = fuzzing::WriteInput("fuzz.wav", data, size);
  fuzzing::CheckResult(ImportWav(path, {}), path);
  return 0;
}
