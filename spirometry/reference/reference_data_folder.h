#pragma once
// Where the shipped reference tables are: share/kymora/reference, three levels up from the folder the module
// is loaded from (build/<preset>/apps/kymora/extensions in the build tree, /usr/lib/kymora/extensions when
// installed), so the program finds them wherever it is unpacked.
#include <filesystem>
#include <optional>

namespace Spirometry {

// The tables' folder for a module loaded from moduleFile.
std::filesystem::path ReferenceDataFolder(const std::filesystem::path& moduleFile);

// The file this code was loaded from: the module, or the program that links these objects directly.
std::optional<std::filesystem::path> LoadedModuleFile();

// ReferenceDataFolder(LoadedModuleFile()); nothing when the module's own path cannot be found.
std::optional<std::filesystem::path> ShippedReferenceDataFolder();

}  // namespace Spirometry
