// Feeds arbitrary bytes to the .kymo loader as the content of a file, the way a damaged disk, a cut copy or
// another program's database would present them: a success must be a consistent file, a refusal must name
// the file, and nothing may crash, leak or overrun.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/data/storage/kymo_storage.h"

namespace {
const std::string& Path() {
  static const std::string path = [] {
    char folder[] = "/tmp/kymora_fuzz_kymo_XXXXXX";
    if (!::mkdtemp(folder)) std::abort();
    return std::string(folder) + "/fuzz.kymo";
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = Path();
  // A side file left by one input must not reach the next.
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto loaded = kymora::storage::LoadKymo(path);
  if (loaded) {
    if (loaded->Check()) std::abort();
  } else if (loaded.ErrorMessage().find(path) == std::string::npos) {
    std::abort();
  }
  return 0;
}
