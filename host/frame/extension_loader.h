#pragma once
// Finds the extension modules in the host's extensions folder, reads their version keys without running
// any of their code, loads each module once and calls its registration entry point once.
//
// A module carries its version keys in an ELF section named ".kfwext_version": NUL-separated key and value
// texts ("ExtensionType", "Extension", "ExtensionCLSID", "{…}", …) ending with an empty key.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/com/expected.h"

namespace kymora {

struct ExtensionInfo {
  std::string file;                         // path of the module
  std::map<std::string, std::string> keys;  // version keys
  std::string Key(const std::string& name) const;
};

// Reads the version keys of a module file.
Expected<ExtensionInfo> ReadExtensionKeys(const std::filesystem::path& module);

struct LoadReport {
  std::vector<ExtensionInfo> loaded;
  std::vector<std::string> problems;  // modules skipped, and why
};

// Loads every "*.kfwext" in the folder (sorted by name) whose ExtensionType is "Extension", once per
// ExtensionCLSID and once per process, and calls its DllRegisterClassObjects.
LoadReport LoadExtensions(const std::filesystem::path& folder);
// Every extension loaded so far in this process.
std::vector<ExtensionInfo> LoadedExtensionInfos();
// The folder next to the running executable where the host looks for extensions.
std::filesystem::path DefaultExtensionsFolder();

}  // namespace kymora
