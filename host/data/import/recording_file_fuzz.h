#pragma once
// For the fuzz targets of importers that read a file by name: the input is written to a file of a folder
// of the fuzzing process's own, and the result is checked as every caller relies on it.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/data/import/recording_importer.h"

namespace kymora::import::fuzzing {

inline std::string WriteInput(const char* name, const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    char pattern[] = "/tmp/kymora_fuzz_import_XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    return std::string(pattern);
  }();
  std::string path = folder + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// A success is a consistent file with a channel and a non-empty block; a refusal names the file.
inline void CheckResult(const Expected<Imported>& result, const std::string& path) {
  if (result) {
    const auto& file = result->file;
    if (file.Check() || file.ChannelCount() < 1 || file.BlockCount() < 1) std::abort();
    for (const auto& block : file.blocks)
      if (block.length < 1) std::abort();
  } else if (result.ErrorMessage().rfind(path, 0) != 0) {
    std::abort();
  }
}

}  // namespace kymora::import::fuzzing
