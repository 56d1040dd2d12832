// Loads the built extension module the way the host does: reads its version keys from the file, loads it
// once and calls its entry point once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host/calc/icalc_enum_class.h"
#include "host/calc/icalculation_class.h"
#include "host/com/runtime.h"
#include "host/frame/extension_loader.h"
#include "host/frame/host_registry.h"
#include "host/frame/icustom_document.h"
#include "host/frame/idoc_view.h"
#include "host/frame/ifile_save_as_class.h"
#include "host/frame/imessage_class.h"

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

  // Registration order: the static class objects (calculations and enumerators) first, then the document
  // class, the CSV save class and the view classes, in that order.
  std::vector<std::string> kinds;
  std::vector<std::wstring> enumNames;
  for (const auto& c : registry->ClassObjects()) {
    ASSERT_TRUE(c) << "no registration failed";
    if (auto e = c.As<ICalcEnumClass>()) {
      std::wstring name, description;
      Guid category;
      e->GetClassRecord(&name, &description, &category);
      enumNames.push_back(name);
      kinds.push_back("static");
    } else if (c.As<ICalculationClass>()) {
      kinds.push_back("static");
    } else if (c.As<ICustomDocClass>()) {
      kinds.push_back("document");
    } else if (c.As<IFileSaveAsClass>()) {
      kinds.push_back("csv");
    } else if (c.As<IDocViewClass>()) {
      kinds.push_back("view");
    } else {
      kinds.push_back("other");
    }
  }
  auto firstFrame = std::find(kinds.begin(), kinds.end(), "document");
  ASSERT_NE(firstFrame, kinds.end());
  EXPECT_TRUE(std::all_of(kinds.begin(), firstFrame, [](const std::string& k) { return k == "static"; }));
  EXPECT_EQ(std::vector<std::string>(firstFrame, firstFrame + 2), (std::vector<std::string>{"document", "csv"}));
  EXPECT_TRUE(std::all_of(firstFrame + 2, kinds.end(), [](const std::string& k) { return k == "view"; }));
  for (const wchar_t* name :
       {L"SpFlowEnum", L"SpVolEnum", L"SPEventEnumFlow", L"SPEventEnumVol", L"SpBreathEventEnum3"})
    EXPECT_NE(std::find(enumNames.begin(), enumNames.end(), name), enumNames.end());
  EXPECT_TRUE(registry->Calculations().FindByName(L"SpFlow"));
  EXPECT_TRUE(registry->Calculations().FindByName(L"SpVol"));
  ASSERT_EQ(registry->MessageClasses().size(), 1u);
  std::wstring name, group, description;
  registry->MessageClasses()[0].As<IMessageClass>()->GetClassRecord(&name, &group, &description);
  EXPECT_EQ(name, L"SpirometrySettings");
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
