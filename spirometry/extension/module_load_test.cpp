// Loads the built extension module the way the host does: reads its version keys from the file, loads it
// once and calls its entry point once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/com/runtime.h"
#include "host/frame/extension_loader.h"
#include "host/frame/host_registry.h"

using namespace kymora;

namespace {
std::filesystem::path ModulePath() { return std::filesystem::path(KYMORA_EXTENSIONS_DIR) / "Spirometry(8).kfwext"; }
}  // namespace

TEST(ModuleLoad, VersionKeysAreReadableBeforeLoading) {
  auto info = ReadExtensionKeys(ModulePath());
  ASSERT_TRUE(info) << info.ErrorMessage();
  const std::pair<const char*, const char*> expected[] = {
      {"ExtensionType", "Extension"},
      {"ExtensionCLSID", "{7D3B3DE4-81B3-11d3-A6E2-005004D0F872}"},
      {"ExtensionVersion", "2.5.3"},
      {"InternalVersion", "18.00"},
      {"InternalID", "1"},
      {"AllNames", "Spirometry"},
      {"FileDescription", "Spirometry"},
      {"InternalName", "Spirometry"},
  };
  for (auto [key, value] : expected) EXPECT_EQ(info->Key(key), value) << key;
  EXPECT_TRUE(LoadedExtensionInfos().empty()) << "reading the keys loads nothing";
}

TEST(ModuleLoad, IsLoadedOnceAndRegistersItsClasses) {
  auto registry = MakeCom<HostRegistry>();
  HostRegistry::Install(registry);
  HostRegistry::RegisterWithComponentLibrary();
  KymCoInitialize();
  auto report = LoadExtensions(ModulePath().parent_path());
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  ASSERT_EQ(report.loaded.size(), 1u);
  auto count = registry->ClassObjects().size();
  auto again = LoadExtensions(ModulePath().parent_path());
  EXPECT_TRUE(again.loaded.empty()) << "a module is loaded and registered once per process";
  EXPECT_EQ(registry->ClassObjects().size(), count);
  EXPECT_EQ(LoadedExtensionInfos().size(), 1u);
}

TEST(ModuleLoad, RefusesFilesThatAreNotModules) {
  auto dir = std::filesystem::temp_directory_path() / "kymora-not-a-module";
  std::filesystem::create_directories(dir);
  auto fake = dir / "Fake.kfwext";
  { std::ofstream(fake) << "not an ELF file"; }
  auto info = ReadExtensionKeys(fake);
  EXPECT_FALSE(info);
  auto report = LoadExtensions(dir);
  EXPECT_TRUE(report.loaded.empty());
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_NE(report.problems[0].find("not an extension module"), std::string::npos) << report.problems[0];
  std::filesystem::remove_all(dir);
}
