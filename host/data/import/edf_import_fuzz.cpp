// Feeds arbitrary bytes to the EDF/BDF importer as the content of an .edf file: continuous files go through
// EDFlib, files that say they are discontinuous through our own reader.
#include "host/data/import/recording_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kymora::import;
  const auto path = fuzzing::WriteInput("fuzz.edf", data, size);
  fuzzing::CheckResult(ImportEdf(path, {}), path);
  return 0;
}
