#include "host/ui/command_menus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

namespace kymora::ui {

namespace {
std::wstring TopOf(const std::wstring& path) { return path.substr(0, path.find_first_of(L"|^")); }
}  // namespace

std::vector<MenuSpec> LayOutMenus(const std::vector<MenuEntry>& entries) {
  std::vector<MenuSpec> menus;
  auto find = [&](const std::wstring& top) -> MenuSpec* {
    for (auto& m : menus)
      if (m.path == top) return &m;
    return nullptr;
  };
  for (const auto& e : entries)
    if (e.IsTopLevel()) menus.push_back({e.path, e.caption.empty() ? e.path : e.caption, false, {}});
  std::vector<std::pair<std::int32_t, MenuItemSpec>> items;
  for (const auto& e : entries) {
    if (e.IsTopLevel()) continue;
    auto* menu = find(TopOf(e.path));
    if (!menu) continue;
    if (e.IsExtensionListing()) {
      menu->listedAsExtension = true;
      if (!e.caption.empty()) menu->title = e.caption;
      continue;
    }
    MenuItemSpec item{e.caption, e.path, e.helpTopic, e.commandId, e.documentType, e.IsSeparator()};
    if (item.caption.empty()) item.caption = e.path.substr(e.path.find(L'|') + 1);
    items.emplace_back(e.group, std::move(item));
  }
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [group, item] : items) {
    auto& list = find(TopOf(item.path))->items;
    if (item.separator && (list.empty() || list.back().separator)) continue;
    list.push_back(std::move(item));
  }
  for (auto& m : menus)
    while (!m.items.empty() && m.items.back().separator) m.items.pop_back();
  return menus;
}

std::wstring PlainCaption(const std::wstring& caption) {
  std::wstring text = caption.substr(0, caption.find(L'\t'));
  std::wstring plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&') plain += text[++i];
      continue;
    }
    plain += text[i];
  }
  while (!plain.empty() && (plain.back() == L'.' || plain.back() == L' ' || plain.back() == L'\u2026'))
    plain.pop_back();
  return plain;
}

std::vector<QAction*> AddCommandMenus(QMenuBar* bar, QAction* before, const std::vector<MenuSpec>& menus,
                                      RunCommand run, UpdateCommand update) {
  std::vector<QAction*> added;
  for (const auto& entry : menus) {
    auto* menu = new QMenu(QString::fromStdWString(entry.title), bar);
    menu->setObjectName(QString::fromStdWString(entry.path));
    std::vector<std::pair<QAction*, MenuItemSpec>> commands;
    for (const auto& item : entry.items) {
      if (item.separator) {
        menu->addSeparator();
        continue;
      }
      auto* action = menu->addAction(QString::fromStdWString(item.caption));
      action->setObjectName(QString::fromStdWString(item.path));
      QObject::connect(action, &QAction::triggered, menu, [run, item] { run(item); });
      commands.emplace_back(action, item);
    }
    QObject::connect(menu, &QMenu::aboutToShow, menu, [commands, update] {
      for (const auto& [action, item] : commands) {
        CommandState state;
        state.text = item.caption;
        update(item, state);
        action->setEnabled(state.enabled != kFalse16);
        action->setCheckable(state.checked != kFalse16);
        action->setChecked(state.checked != kFalse16);
        action->setText(QString::fromStdWString(state.text));
      }
    });
    added.push_back(before ? bar->insertMenu(before, menu) : bar->addMenu(menu));
  }
  return added;
}

}  // namespace kymora::ui
