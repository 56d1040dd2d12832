#pragma once
// The full state of a menu command (enabled, checked, text), asked by the desktop host when a menu opens.
// Optionally implemented by extension documents and views, alongside ICustomDocument::UpdateCommand (which
// only tells enabled) and IDocView::GetCommandText (which only tells the text). Called on the
// user-interface thread.
#include <string>

#include "host/com/iunknown.h"

struct CommandState {
  Bool16 enabled = kTrue16;
  Bool16 checked = kFalse16;
  std::wstring text;  // the menu caption, '&' before the mnemonic
};

struct ICommandState : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A20-4B7C-4E59-8F0A-2C3D4E5F6A09}");
  // in: a command id; in/out: the state, which the host fills with the command's defaults (enabled,
  // unchecked, its menu caption) and the object changes where it decides otherwise. S_OK when the command
  // is the object's, S_FALSE (state untouched) when it is not.
  virtual HRESULT UpdateCommandState(std::uint32_t commandId, CommandState* state) = 0;  // slot 3
};
