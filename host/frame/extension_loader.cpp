#include "host/frame/extension_loader.h"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <vector>

namespace kymora {

namespace {
constexpr const char* kVersionSection = ".kfwext_version";

std::mutex gLoadLock;
std::vector<ExtensionInfo>& Loaded() {
  static auto* loaded = new std::vector<ExtensionInfo>();  // modules stay loaded for the process
  return *loaded;
}

// Reads `size` bytes at `offset` of the file; false when they are not all there.
bool ReadAt(std::ifstream& in, std::uint64_t offset, void* out, std::size_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
  return in.gcount() == static_cast<std::streamsize>(size);
}

// Reads one section of a module: the ELF header, the section table, the section names and that section,
// never the rest of the file (a module with its debugging information is tens of megabytes).
Expected<std::string> ReadSection(const std::filesystem::path& module, const char* name) {
  std::ifstream in(module, std::ios::binary);
  if (!in) return Error{module.string() + ": cannot be opened"};
  auto bad = [&](const char* why) { return Error{module.string() + ": not an extension module (" + why + ")"}; };
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end < 0) return Error{module.string() + ": cannot be opened"};
  const auto fileSize = static_cast<std::uint64_t>(end);
  Elf64_Ehdr eh;
  if (fileSize < sizeof eh || !ReadAt(in, 0, &eh, sizeof eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0)
    return bad("not ELF");
  if (eh.e_ident[EI_CLASS] != ELFCLASS64) return bad("not a 64-bit module");
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff == 0 || eh.e_shstrndx >= eh.e_shnum)
    return bad("no section table");
  // The part of the section table that lies within the file; an entry beyond it is damage.
  const std::uint64_t tableBytes = eh.e_shoff > fileSize ? 0 : fileSize - eh.e_shoff;
  const std::size_t entries =
      static_cast<std::size_t>(std::min<std::uint64_t>(eh.e_shnum, tableBytes / sizeof(Elf64_Shdr)));
  std::vector<Elf64_Shdr> table(entries);
  if (entries > 0 && !ReadAt(in, eh.e_shoff, table.data(), entries * sizeof(Elf64_Shdr)))
    return bad("damaged section table");
  auto sectionAt = [&](std::size_t i, Elf64_Shdr& sh) {
    if (i >= entries) return false;
    sh = table[i];
    return sh.sh_offset <= fileSize && sh.sh_size <= fileSize - sh.sh_offset;
  };
  Elf64_Shdr namesHeader;
  if (!sectionAt(eh.e_shstrndx, namesHeader)) return bad("damaged section table");
  std::string names(static_cast<std::size_t>(namesHeader.sh_size), '\0');
  if (!ReadAt(in, namesHeader.sh_offset, names.data(), names.size())) return bad("damaged section table");
  for (std::size_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!sectionAt(i, sh)) return bad("damaged section table");
    if (sh.sh_name >= names.size()) continue;
    const char* secName = names.data() + sh.sh_name;
    std::size_t maxLen = names.size() - sh.sh_name;
    if (strnlen(secName, maxLen) == maxLen) continue;
    if (std::strcmp(secName, name) != 0) continue;
    std::string section(static_cast<std::size_t>(sh.sh_size), '\0');
    if (!ReadAt(in, sh.sh_offset, section.data(), section.size())) return bad("damaged section table");
    return section;
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
    if (std::any_of(loaded.begin(), loaded.end(),
                    [&](const ExtensionInfo& e) { return e.Key("ExtensionCLSID") == clsid || e.file == info->file; })) {
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
