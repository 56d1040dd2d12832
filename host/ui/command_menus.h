#pragma once
// The menus that extensions add to the host's menu model, laid out for a menu bar, and built into one.
// Each command's state (enabled, checked, text) is asked when its menu opens.
#include <functional>
#include <string>
#include <vector>

#include "host/frame/icommand_state.h"
#include "host/frame/menu_model.h"

class QAction;
class QMenuBar;

namespace kymora::ui {

struct MenuItemSpec {
  std::wstring caption, path, helpTopic;
  std::uint32_t commandId = 0;
  Guid documentType;
  bool separator = false;
};

struct MenuSpec {
  std::wstring path;   // the top-level path ("Spirometry")
  std::wstring title;  // caption on the bar, '&' before the mnemonic
  bool listedAsExtension = false;
  std::vector<MenuItemSpec> items;
};

// One menu per top-level entry in the order added; its items in the order of their groups (entries of one
// group in the order added); separators only between items.
std::vector<MenuSpec> LayOutMenus(const std::vector<MenuEntry>& entries);

// A menu caption without its mnemonic marks, its "..." and any shortcut after a TAB, for matching the names
// people write ("Spirometry>Report").
std::wstring PlainCaption(const std::wstring& caption);

using RunCommand = std::function<void(const MenuItemSpec& item)>;
using UpdateCommand = std::function<void(const MenuItemSpec& item, CommandState& state)>;

// Adds the menus to the bar before `before` (at the end when null). Returns the menus' actions on the bar.
std::vector<QAction*> AddCommandMenus(QMenuBar* bar, QAction* before, const std::vector<MenuSpec>& menus,
                                      RunCommand run, UpdateCommand update);

}  // namespace kymora::ui
