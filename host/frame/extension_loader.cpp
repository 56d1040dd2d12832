#include "host/frame/extension_loader.h"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

namespace kymora {

namespace {
constexpr const char* kVersionSection = ".kfwext_version";

std::mutex gLoadLock;
std::vector<ExtensionInfo>& Loaded() {
  static auto* loaded = new std::vector<ExtensionInfo>();  // modules stay loaded for the process
  return *loaded;
}

Expected<std::string> ReadSection(const std::filesystem::path& module, const char* name) {
  std::ifstream in(module, std::ios::binary);
  if (!in) return Error{module.string() + ": cannot be opened"};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto bad = [&](const char* why) { return Error{module.string() + ": not an extension module (" + why + ")"}; };
  if (bytes.size() < sizeof(Elf64_Ehdr) || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0) return bad("not ELF");
  Elf64_Ehdr eh;
  std::memcpy(&eh, bytes.data(), sizeof eh);
  if (eh.e_ident[EI_CLASS] != ELFCLASS64) return bad("not a 64-bit module");
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff == 0 || eh.e_shstrndx >= eh.e_shnum)
    return bad("no section table");
  auto sectionAt = [&](std::size_t i, Elf64_Shdr& sh) {
    std::size_t off = eh.e_shoff + i * sizeof(Elf64_Shdr);
    if (off + sizeof sh > bytes.size()) return false;
    std::memcpy(&sh, bytes.data() + off, sizeof sh);
    return sh.sh_offset <= bytes.size() && sh.sh_size <= bytes.size() - sh.sh_offset;
  };
  Elf64_Shdr names;
  if (!sectionAt(eh.e_shstrndx, names)) return bad("damaged section table");
  for (std::size_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!sectionAt(i, sh)) return bad("damaged section table");
    if (sh.sh_name >= names.sh_size) continue;
    const char* secName = bytes.data() + names.sh_offset + sh.sh_name;
    std::size_t maxLen = names.sh_size - sh.sh_name;
    if (strnlen(secName, maxLen) == maxLen) continue;
    if (std::strcmp(secName, name) == 0) return bytes.substr(sh.sh_offset, sh.sh_size);
  }
  return bad("no version keys");
}
}  // namespace

std::string ExtensionInfo::Key(const std::string& name) const {
  auto it = keys.find(name);
  return it == keys.end() ? std::string() : it->second;
}

Expected<ExtensionInfo> ReadExtensionKeys(const std::filesystem::path& module) {
  auto section = ReadSection(module, kVersionSection);
  if (!section) return Error{section.ErrorMessage()};
  ExtensionInfo info;
  info.file = module.string();
  const std::string& s = *section;
  std::size_t pos = 0;
  auto next = [&]() -> std::string {
    auto end = s.find('\0', pos);
    if (end == std::string::npos) end = s.size();
    std::string t = s.substr(pos, end - pos);
    pos = std::min(s.size(), end + 1);
    return t;
  };
  while (pos < s.size()) {
    std::string key = next();
    if (key.empty()) break;
    info.keys[key] = next();
  }
  return info;
}

LoadReport LoadExtensions(const std::filesystem::path& folder) {
  LoadReport report;
  std::error_code ec;
  std::vector<std::filesystem::path> modules;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.is_regular_file() && entry.path().extension() == ".kfwext") modules.push_back(entry.path());
  std::sort(modules.begin(), modules.end());
  std::lock_guard g(gLoadLock);
  for (const auto& module : modules) {
    auto info = ReadExtensionKeys(module);
    if (!info) {
      report.problems.push_back(info.ErrorMessage());
      continue;
    }
    if (info->Key("ExtensionType") != "Extension") {
      report.problems.push_back(module.string() + ": not an extension (ExtensionType is \"" +
                                info->Key("ExtensionType") + "\")");
      continue;
    }
    auto clsid = info->Key("ExtensionCLSID");
    auto& loaded = Loaded();
    if (std::any_of(loaded.begin(), loaded.end(), [&](const ExtensionInfo& e) {
          return e.Key("ExtensionCLSID") == clsid || e.file == info->file;
        })) {
      continue;  // each module once per process
    }
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      report.problems.push_back(module.string() + ": cannot be loaded (" + dlerror() + ")");
      continue;
    }
    using Entry = int (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(handle, "DllRegisterClassObjects"));
    if (!entry) {
      report.problems.push_back(module.string() + ": has no DllRegisterClassObjects");
      dlclose(handle);
      continue;
    }
    entry();
    loaded.push_back(*info);
    report.loaded.push_back(*info);
  }
  return report;
}

std::vector<ExtensionInfo> LoadedExtensionInfos() {
  std::lock_guard g(gLoadLock);
  return Loaded();
}

std::filesystem::path DefaultExtensionsFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "extensions";
  return exe.parent_path() / "extensions";
}

}  // namespace kymora
