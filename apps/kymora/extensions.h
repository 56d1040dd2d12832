#pragma once
// The extensions the command line loaded at start-up.
#include <string>
#include <vector>

namespace kymora::cli {

struct LoadedExtension {
  std::string name, version, file;
};

// Loads the modules of the extensions folder next to the executable (or of $KYMORA_EXTENSIONS when set)
// and prints any module that could not be loaded on standard error.
void LoadHostExtensions();
std::vector<LoadedExtension> LoadedExtensions();

}  // namespace kymora::cli
