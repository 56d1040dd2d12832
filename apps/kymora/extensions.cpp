#include "apps/kymora/extensions.h"

#include <cstdio>
#include <cstdlib>

#include "host/com/runtime.h"
#include "host/frame/extension_loader.h"
#include "host/frame/host_registry.h"

namespace kymora::cli {

void LoadHostExtensions() {
  HostRegistry::RegisterWithComponentLibrary();
  KymCoInitialize();
  const char* env = std::getenv("KYMORA_EXTENSIONS");
  auto folder = env && *env ? std::filesystem::path(env) : DefaultExtensionsFolder();
  auto report = LoadExtensions(folder);
  for (const auto& p : report.problems) std::fprintf(stderr, "kymora: warning: %s\n", p.c_str());
}

std::vector<LoadedExtension> LoadedExtensions() {
  std::vector<LoadedExtension> r;
  for (const auto& e : LoadedExtensionInfos()) {
    auto name = e.Key("AllNames");
    if (name.empty()) name = e.Key("InternalName");
    r.push_back({name, e.Key("ExtensionVersion"), e.file});
  }
  return r;
}

}  // namespace kymora::cli
