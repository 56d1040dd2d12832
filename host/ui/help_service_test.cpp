#include "host/ui/help_service.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kymora::ui;
namespace fs = std::filesystem;

TEST(FindHelpPage, TopicPageIndexInItsPlaceAndNothingOutsideTheFolder) {
  const fs::path root = fs::path(testing::TempDir()) / "kymora_help_test";
  fs::remove_all(root);
  fs::create_directories(root / "SpirometryHelp");
  fs::create_directories(root / "NoIndex");
  for (auto p : {"SpirometryHelp/index.html", "SpirometryHelp/Spiro_Data.html", "NoIndex/topic.html", "secret.html"})
    std::ofstream(root / p) << "<html></html>";
  struct Case {
    const wchar_t *file, *topic;
    const char* page;  // relative to root; null: none
    bool exact;
  };
  const Case cases[] = {
      {L"SpirometryHelp", L"Spiro_Data", "SpirometryHelp/Spiro_Data.html", true},
      {L"SpirometryHelp", L"Spiro_Report", "SpirometryHelp/index.html", false},  // no page: the index
      {L"SpirometryHelp", L"", "SpirometryHelp/index.html", true},
      {L"NoIndex", L"topic", "NoIndex/topic.html", true},
      {L"NoIndex", L"other", nullptr, false},
      {L"Missing", L"Spiro_Data", nullptr, false},
      {L"SpirometryHelp", L"../secret", "SpirometryHelp/index.html", false},  // never a path
      {L"..", L"secret", nullptr, false},
      {L"SpirometryHelp/..", L"secret", nullptr, false},
  };
  for (const auto& c : cases) {
    auto page = FindHelpPage(root, c.file, c.topic);
    const std::wstring wide = std::wstring(c.file) + L"/" + c.topic;
    const std::string label(wide.begin(), wide.end());
    if (!c.page) {
      EXPECT_FALSE(page) << label;
      continue;
    }
    ASSERT_TRUE(page) << label;
    EXPECT_EQ(page->file, root / c.page) << label;
    EXPECT_EQ(page->exact, c.exact) << label;
  }
  fs::remove_all(root);
}
