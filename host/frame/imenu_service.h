#pragma once
// The host's menus: extensions add entries when the host asks their document classes to add their menus.
// The host keeps the entries as a model that its front ends show.
#include "host/com/iunknown.h"

struct IMenuService : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{C7482423-F548-4440-909D-C8E9FAFEEA10}");
  // in: path ("Menu" for a top-level menu, "Menu|Item" for an item, "Menu|-" for a separator,
  // "Menu^EXTENSION|" to list the menu among the extension menus), caption, command id, help topic, group.
  // S_OK when the host took the entry; a failure when it rejects it.
  virtual HRESULT AddMenuItem(const wchar_t* path, const wchar_t* caption, std::uint32_t commandId,
                              const wchar_t* helpTopic, std::int32_t group) = 0;  // slot 3
};
