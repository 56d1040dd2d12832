#pragma once
// The "Spirometry" menu that the document class adds when the host asks for its menus.
#include "host/frame/imenu_service.h"

namespace Spirometry {

constexpr std::int32_t kMenuGroup = 10;
constexpr std::uint32_t kCommandSettings = 187;
constexpr std::uint32_t kCommandDataView = 188;
constexpr std::uint32_t kCommandFlowVolumeView = 190;
constexpr std::uint32_t kCommandReportView = 191;

// Adds the menu, its extension listing and its items. Goes on after an entry the host rejects; *failed
// tells whether any was rejected.
void AddSpirometryMenus(IMenuService* menus, bool* failed);

}  // namespace Spirometry
