#include "spirometry/reference/reference_data_folder.h"

#include <dlfcn.h>

#include <system_error>

namespace Spirometry {

std::filesystem::path ReferenceDataFolder(const std::filesystem::path& moduleFile) {
  return (moduleFile.parent_path() / "../../../share/kymora/reference").lexically_normal();
}

std::optional<std::filesystem::path> LoadedModuleFile() {
  // Any function of this library will do: dladdr names the object file that holds it.
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&LoadedModuleFile), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0')
    return std::nullopt;
  // A program's own name may be relative to the folder it was started from; the kernel knows it whole.
  const std::filesystem::path named(info.dli_fname);
  std::error_code error;
  auto path = std::filesystem::canonical(named.is_absolute() ? named : "/proc/self/exe", error);
  if (error) return std::nullopt;
  return path;
}

std::optional<std::filesystem::path> ShippedReferenceDataFolder() {
  const auto module = LoadedModuleFile();
  if (!module) return std::nullopt;
  return ReferenceDataFolder(*module);
}

}  // namespace Spirometry
