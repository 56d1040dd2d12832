// The version keys of a module are read from its ELF section table without reading the whole file, and a
// damaged table is refused rather than read past the end of the file.
#include "host/frame/extension_loader.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

namespace kymora {
namespace {

// A minimal 64-bit module: the header, then the section names, the version keys and the section table
// (a null section, the names, the keys).
struct FakeModule {
  static constexpr char kNames[] = "\0.shstrtab\0.kfwext_version\0";
  static constexpr char kKeys[] = "ExtensionType\0Extension\0ExtensionCLSID\0{1}\0";
  Elf64_Ehdr header{};
  Elf64_Shdr sections[3]{};

  FakeModule() {
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 3;
    header.e_shstrndx = 1;
    sections[1] = Section(1, sizeof header, sizeof kNames);
    sections[2] = Section(11, sizeof header + sizeof kNames, sizeof kKeys);
    header.e_shoff = sizeof header + sizeof kNames + sizeof kKeys;
  }
  static Elf64_Shdr Section(std::uint32_t name, std::uint64_t offset, std::uint64_t size) {
    Elf64_Shdr s{};
    s.sh_name = name;
    s.sh_offset = offset;
    s.sh_size = size;
    return s;
  }
  std::string Bytes() const {
    std::string b(reinterpret_cast<const char*>(&header), sizeof header);
    b.append(kNames, sizeof kNames).append(kKeys, sizeof kKeys);
    return b.append(reinterpret_cast<const char*>(sections), sizeof sections);
  }
};

TEST(ExtensionLoader, ReadsTheVersionKeysAndRefusesDamagedSectionTables) {
  const auto file = std::filesystem::temp_directory_path() / "kymora-extension-loader-test.kfwext";
  struct Case {
    const char* what;
    std::function<void(FakeModule&)> damage;
    std::size_t cut;      // bytes cut off the end of the file
    const char* refusal;  // null: the keys are read
  };
  const Case cases[] = {
      {"intact", [](FakeModule&) {}, 0, nullptr},
      {"section table beyond the end", [](FakeModule& m) { m.header.e_shoff = 1u << 20; }, 0, "damaged section table"},
      {"section table wrapping round", [](FakeModule& m) { m.header.e_shoff = ~std::uint64_t{0} - 8; }, 0,
       "damaged section table"},
      {"file cut inside the table", [](FakeModule&) {}, 10, "damaged section table"},
      {"keys beyond the end", [](FakeModule& m) { m.sections[2].sh_size = 1u << 20; }, 0, "damaged section table"},
      {"names beyond the end", [](FakeModule& m) { m.sections[1].sh_offset = 1u << 20; }, 0, "damaged section table"},
      {"names index out of the table", [](FakeModule& m) { m.header.e_shstrndx = 3; }, 0, "no section table"},
      {"no version section", [](FakeModule& m) { m.sections[2].sh_name = 2; }, 0, "no version keys"},
      {"32-bit", [](FakeModule& m) { m.header.e_ident[EI_CLASS] = ELFCLASS32; }, 0, "not a 64-bit module"},
      {"shorter than a header", [](FakeModule&) {}, 300, "not ELF"},
  };
  for (const auto& c : cases) {
    FakeModule module;
    c.damage(module);
    std::string bytes = module.Bytes();
    bytes.resize(bytes.size() - c.cut);
    { std::ofstream(file, std::ios::binary) << bytes; }
    const auto info = ReadExtensionKeys(file);
    if (!c.refusal) {
      ASSERT_TRUE(info) << c.what << ": " << info.ErrorMessage();
      EXPECT_EQ(info->Key("ExtensionType"), "Extension");
      EXPECT_EQ(info->Key("ExtensionCLSID"), "{1}");
    } else {
      ASSERT_FALSE(info) << c.what;
      EXPECT_NE(info.ErrorMessage().find(c.refusal), std::string::npos) << c.what << ": " << info.ErrorMessage();
    }
  }
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace kymora
