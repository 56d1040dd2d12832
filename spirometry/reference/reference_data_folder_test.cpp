#include "spirometry/reference/reference_data_folder.h"

#include <gtest/gtest.h>

namespace Spirometry {
namespace {

TEST(ReferenceDataFolder, IsShareKymoraReferenceThreeFoldersAboveTheModule) {
  EXPECT_EQ(ReferenceDataFolder("/work/build/release/apps/kymora/extensions/Spirometry(8).kfwext"),
            "/work/build/release/share/kymora/reference");
  EXPECT_EQ(ReferenceDataFolder("/usr/lib/kymora/extensions/Spirometry(8).kfwext"), "/usr/share/kymora/reference");
}

// Linked into a test program, the code was loaded from the program itself.
TEST(ReferenceDataFolder, TheLoadedModuleIsTheFileHoldingThisCode) {
  const auto module = LoadedModuleFile();
  ASSERT_TRUE(module);
  EXPECT_EQ(*module, std::filesystem::canonical("/proc/self/exe"));
  EXPECT_EQ(ShippedReferenceDataFolder(), ReferenceDataFolder(*module));
}

}  // namespace
}  // namespace Spirometry
