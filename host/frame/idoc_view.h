#pragma once
// Views of extension documents, and their classes.
#include <string>

#include "host/com/iunknown.h"

struct ICustomDocument;
struct IHostDocument;

struct IDocView : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A04}");
  // The view is shown: it builds its content.
  virtual HRESULT Setup() = 0;  // slot 3
  // An event of a set the view subscribes to (the host's document events, the document's own).
  virtual HRESULT OnEvent(const Guid& eventSet, std::int32_t code) = 0;  // slot 4
  // A host command (HostCommands). S_OK handled, S_FALSE not the view's.
  virtual HRESULT ExecuteCommand(std::uint32_t commandId) = 0;  // slot 5
  // out: the menu text the view supplies for a host command; S_FALSE when it supplies none.
  virtual HRESULT GetCommandText(std::uint32_t commandId, std::wstring* text) = 0;  // slot 6
  // out: the preferred size (answer to HostCommands::kSizeQuery).
  virtual HRESULT GetPreferredSize(std::int32_t* width, std::int32_t* height) = 0;  // slot 7
  // The host closes the view.
  virtual HRESULT Close() = 0;  // slot 8
};

struct IDocViewClass : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A05}");
  // out: view class id, display name, category.
  virtual HRESULT GetViewInfo(Guid* viewClassId, std::wstring* displayName, Guid* category) = 0;  // slot 3
  // in: the document and its host; out: a new view (one reference), not yet set up.
  virtual HRESULT CreateView(ICustomDocument* document, IHostDocument* host, IDocView** view) = 0;  // slot 4
};
