// Feeds arbitrary bytes to the reader of discontinuous EDF/BDF files, the one EDF parser of our own: a
// success must be a consistent file and a refusal must name the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "host/data/import/edf_importer.h"

using namespace kymora::import;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  auto result = ReadDiscontinuousEdf(in, "fuzz.edf", {});
  if (result) {
    if (result->file.Check() || result->file.ChannelCount() < 1) std::abort();
  } else if (result.ErrorMessage().rfind("fuzz.edf: ", 0) != 0) {
    std::abort();
  }
  return 0;
}
