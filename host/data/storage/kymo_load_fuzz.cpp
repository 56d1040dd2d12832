// Feeds arbitrary bytes to the .kymo loader as the content of a file, the way a damaged disk, a cut copy or
// another program's database would present them: a success must be a consistent file, a refusal must name
// the file, and nothing may crash, leak or overrun. The same bytes are loaded again with the samples left
// in the file and every channel-block read: a file the full load accepts must give the same samples, and
// a file it refuses must be refused by the deferred load or by a read, by name.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
// Whether the deferred load agrees with the full one.
bool DeferredAgrees(const std::string& path, const Expected<kymora::DataFile>& full) {
  auto deferred = kymora::storage::LoadKymo(path, nullptr, kymora::storage::LoadMode::kDeferSamples);
  if (!deferred) return !full && deferred.ErrorMessage().find(path) != std::string::npos;
  if (deferred->Check() || (full && full->BlockCount() != deferred->BlockCount())) return false;
  bool failed = false;
  for (std::size_t b = 0; b < deferred->blocks.size(); ++b) {
    for (std::size_t c = 0; c < deferred->blocks[b].channels.size(); ++c) {
      auto samples = deferred->blocks[b].channels[c].ReadSamples();
      if (!samples) {
        if (full || samples.ErrorMessage().find(path) == std::string::npos) return false;
        failed = true;
        continue;
      }
      if (!full) continue;
      auto expected = full->blocks[b].channels[c].ReadSamples();
      const kymora::Samples* x = expected->get();
      const kymora::Samples* y = samples->get();
      if ((x == nullptr) != (y == nullptr)) return false;
      if (x && (x->size() != y->size() || std::memcmp(x->data(), y->data(), x->size() * sizeof(float)) != 0))
        return false;
    }
  }
  // A file the full load refused is one the deferred load may accept only for damage in the samples.
  return full || (failed && deferred->ReadFailure().has_value());
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
  // The deferred load reads the file's change stamp, which later reads compare against; it is compared with
  // a full load that reads the stamp too (as every program that opens a file does), since a damaged page
  // may lie under the stamp alone.
  kymora::storage::ChangeStamp stamp = 0;
  auto stamped = kymora::storage::LoadKymo(path, &stamp);
  if (stamped ? stamped->Check().has_value() : stamped.ErrorMessage().find(path) == std::string::npos) std::abort();
  if (!DeferredAgrees(path, stamped)) std::abort();
  return 0;
}
