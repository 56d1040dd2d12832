#include "host/ui/command_menus.h"

#include <gtest/gtest.h>

using namespace kymora;
using namespace kymora::ui;

namespace {
constexpr Guid kDoc = Guid::Parse("{11111111-0000-0000-0000-00000000000A}");

std::wstring Flatten(const MenuSpec& m) {
  std::wstring s = m.title + (m.listedAsExtension ? L"*:" : L":");
  for (const auto& i : m.items)
    s += L" " + (i.separator ? std::wstring(L"-") : i.caption + L"=" + std::to_wstring(i.commandId));
  return s;
}
}  // namespace

TEST(LayOutMenus, GroupsOrderItemsAndDropsStraySeparators) {
  struct Case {
    const char* name;
    std::vector<MenuEntry> entries;
    std::vector<std::wstring> expected;
  };
  auto e = [](std::wstring path, std::wstring caption, std::uint32_t id, std::int32_t group) {
    return MenuEntry{path, caption, L"", id, group, kDoc};
  };
  const Case cases[] = {
      {"listing renames and marks the menu",
       {e(L"Spiro", L"Spiro top", 0, 10), e(L"Spiro^EXTENSION|", L"&Spirometry", 0, 10), e(L"Spiro|A", L"&A", 1, 10),
        e(L"Spiro|-", L"", 0, 10), e(L"Spiro|B", L"&B", 2, 10)},
       {L"&Spirometry*: &A=1 - &B=2"}},
      {"lower groups first, order kept within a group",
       {e(L"M", L"&M", 0, 0), e(L"M|Late", L"Late", 1, 20), e(L"M|Early", L"Early", 2, 5),
        e(L"M|Early2", L"Early2", 3, 5)},
       {L"&M: Early=2 Early2=3 Late=1"}},
      {"leading, doubled and trailing separators go",
       {e(L"M", L"", 0, 0), e(L"M|-", L"", 0, 0), e(L"M|A", L"A", 1, 0), e(L"M|-", L"", 0, 0), e(L"M|-", L"", 0, 0),
        e(L"M|B", L"", 2, 0), e(L"M|-", L"", 0, 0)},
       {L"M: A=1 - B=2"}},  // an empty caption falls back to the path's name, as does the menu title
      {"items reach their own menu",
       {e(L"X", L"X", 0, 0), e(L"Y", L"Y", 0, 0), e(L"Y|b", L"b", 2, 0), e(L"X|a", L"a", 1, 0)},
       {L"X: a=1", L"Y: b=2"}},
  };
  for (const auto& c : cases) {
    auto menus = LayOutMenus(c.entries);
    std::vector<std::wstring> got;
    for (const auto& m : menus) got.push_back(Flatten(m));
    EXPECT_EQ(got, c.expected) << c.name;
  }
  auto menus = LayOutMenus({e(L"M", L"M", 0, 0), e(L"M|A", L"A", 7, 0)});
  EXPECT_EQ(menus[0].items[0].documentType, kDoc);  // commands go to the document that added them
}

TEST(PlainCaption, DropsMnemonicsEllipsisAndShortcut) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"&Settings...", L"Settings"},
      {L"&Flow-Volume Plot", L"Flow-Volume Plot"},
      {L"Save &As...\tCtrl+Shift+S", L"Save As"},
      {L"R&&D", L"R&D"},
      {L"Calculation\u2026", L"Calculation"},
      {L"", L""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(PlainCaption(in), out) << std::string(in.begin(), in.end());
}
