#include "spirometry/extension/menus.h"

#include <gtest/gtest.h>

#include "host/frame/menu_model.h"

using kymora::MenuModel;

TEST(SpirometryMenus, AddsTheMenuItsListingAndFourItemsWithASeparator) {
  auto model = MakeCom<MenuModel>();
  bool failed = true;
  Spirometry::AddSpirometryMenus(model.Get(), &failed);
  EXPECT_FALSE(failed);
  struct Expected {
    const wchar_t* path;
    const wchar_t* caption;
    std::uint32_t command;
    const wchar_t* help;
  };
  const Expected expected[] = {
      {L"Spirometry", L"Spirometry", 0, L""},
      {L"Spirometry^EXTENSION|", L"Spirometry", 0, L""},
      {L"Spirometry|Settings", L"&Settings...", 187, L"settings"},
      {L"Spirometry|-", L"", 0, L""},
      {L"Spirometry|Data View", L"&Data Window", 188, L"Spiro_Data"},
      {L"Spirometry|Flow-Volume View", L"&Flow-Volume Plot", 190, L"Spiro_FlowVolume"},
      {L"Spirometry|Report View", L"&Report", 191, L"Spiro_Report"},
  };
  const auto& entries = model->Entries();
  ASSERT_EQ(entries.size(), std::size(expected));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].path, expected[i].path);
    EXPECT_EQ(entries[i].caption, expected[i].caption);
    EXPECT_EQ(entries[i].commandId, expected[i].command);
    EXPECT_EQ(entries[i].helpTopic, expected[i].help);
    EXPECT_EQ(entries[i].group, 10);
  }
}

TEST(SpirometryMenus, RecordsARejectedItemAndGoesOn) {
  auto model = MakeCom<MenuModel>();
  // The host already has an item with command id 188: that one is rejected, the others still go in.
  model->AddMenuItem(L"Tools", L"Tools", 0, L"", 1);
  model->AddMenuItem(L"Tools|Other", L"Other", 188, L"", 1);
  bool failed = false;
  Spirometry::AddSpirometryMenus(model.Get(), &failed);
  EXPECT_TRUE(failed);
  EXPECT_TRUE(model->FindCommand(191));
  EXPECT_EQ(model->FindCommand(188)->path, L"Tools|Other");
}
