#include "host/frame/host_document.h"

#include <gtest/gtest.h>

#include "host/data/storage/kymo_storage.h"
#include "host/data/storage/kymo_test_files.h"

using namespace kymora;

TEST(HostDocument, SavingBackRefusesToOverwriteWhatAnotherProgramSavedMeanwhile) {
  storage::testing::TempFolder folder;
  const auto path = folder.File("rec.kymo");
  DataFile file;
  file.AddChannel(L"Flow");
  file.AddBlock(0.01, 3);
  file.SetSamples(0, 0, L"V", 1.0, {1, 2, 3});
  ASSERT_TRUE(storage::SaveKymo(path, file).HasValue());
  auto silent = [](const std::wstring&, const std::wstring&, std::uint32_t) { return 1; };
  auto first = HostDocument::Open(path, {}, silent, nullptr);
  auto second = HostDocument::Open(path, {}, silent, nullptr);
  ASSERT_TRUE(first && second);

  ASSERT_TRUE((*first)->Save(path).HasValue());
  auto refused = (*second)->Save(path);
  ASSERT_FALSE(refused.HasValue());
  EXPECT_NE(refused.ErrorMessage().find(storage::kChangedByAnotherProgram), std::string::npos);
  // The first document goes on from its own save; the second may still save elsewhere.
  EXPECT_TRUE((*first)->Save(folder.File("./rec.kymo")).HasValue());
  EXPECT_TRUE((*second)->Save(folder.File("copy.kymo")).HasValue());
}
