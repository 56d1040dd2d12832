#pragma once
// The host's menu model behind IMenuService.
#include <string>
#include <vector>

#include "host/com/com_object.h"
#include "host/frame/imenu_service.h"

namespace kymora {

struct MenuEntry {
  std::wstring path, caption, helpTopic;
  std::uint32_t commandId = 0;
  std::int32_t group = 0;
  // The document type of the class that added the entry: its commands go to that document.
  Guid documentType;
  bool IsSeparator() const;
  bool IsTopLevel() const;
  bool IsExtensionListing() const;
};

class MenuModel final : public ComObject<IMenuService> {
 public:
  HRESULT AddMenuItem(const wchar_t* path, const wchar_t* caption, std::uint32_t commandId, const wchar_t* helpTopic,
                      std::int32_t group) override;
  const std::vector<MenuEntry>& Entries() const { return mEntries; }
  // The document type that entries added from now on belong to.
  void SetOwner(const Guid& documentType) { mOwner = documentType; }
  // The entry that carries a command id, or null.
  const MenuEntry* FindCommand(std::uint32_t commandId) const;

 private:
  std::vector<MenuEntry> mEntries;
  Guid mOwner;
};

}  // namespace kymora
