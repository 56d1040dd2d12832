#include "spirometry/extension/menus.h"

#include "spirometry/resources/string_table.h"

namespace Spirometry {

void AddSpirometryMenus(IMenuService* menus, bool* failed) {
  bool anyFailed = false;
  auto add = [&](const wchar_t* path, const std::wstring& caption, std::uint32_t command, const wchar_t* help) {
    if (!menus || Failed(menus->AddMenuItem(path, caption.c_str(), command, help, kMenuGroup))) anyFailed = true;
  };
  add(L"Spirometry", LoadString(58), 0, L"");
  add(L"Spirometry^EXTENSION|", LoadString(58), 0, L"");
  add(L"Spirometry|Settings", LoadString(61), kCommandSettings, L"settings");
  add(L"Spirometry|-", L"", 0, L"");
  add(L"Spirometry|Data View", LoadString(70), kCommandDataView, L"Spiro_Data");
  add(L"Spirometry|Flow-Volume View", LoadString(64), kCommandFlowVolumeView, L"Spiro_FlowVolume");
  add(L"Spirometry|Report View", LoadString(67), kCommandReportView, L"Spiro_Report");
  if (failed) *failed = anyFailed;
}

}  // namespace Spirometry
