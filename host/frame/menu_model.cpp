#include "host/frame/menu_model.h"

namespace kymora {

bool MenuEntry::IsSeparator() const { return path.size() >= 2 && path.compare(path.size() - 2, 2, L"|-") == 0; }
bool MenuEntry::IsTopLevel() const { return path.find_first_of(L"|^") == std::wstring::npos; }
bool MenuEntry::IsExtensionListing() const { return path.find(L"^EXTENSION|") != std::wstring::npos; }

HRESULT MenuModel::AddMenuItem(const wchar_t* path, const wchar_t* caption, std::uint32_t commandId,
                               const wchar_t* helpTopic, std::int32_t group) {
  if (!path || !*path) return E_INVALIDARG;
  MenuEntry e{path, caption ? caption : L"", helpTopic ? helpTopic : L"", commandId, group, mOwner};
  if (!e.IsTopLevel()) {
    // Items and listings need their top-level menu first.
    auto menu = e.path.substr(0, e.path.find_first_of(L"|^"));
    bool found = false;
    for (const auto& m : mEntries) found = found || (m.IsTopLevel() && m.path == menu);
    if (!found) return E_INVALIDARG;
  }
  if (!e.IsSeparator()) {
    for (const auto& m : mEntries)
      if (m.path == e.path) return E_INVALIDARG;  // a path names one entry
    if (commandId != 0 && FindCommand(commandId)) return E_INVALIDARG;
  }
  mEntries.push_back(std::move(e));
  return S_OK;
}

const MenuEntry* MenuModel::FindCommand(std::uint32_t commandId) const {
  for (const auto& m : mEntries)
    if (m.commandId == commandId && commandId != 0) return &m;
  return nullptr;
}

}  // namespace kymora
