#pragma once
// Help pages. The program ships a help folder beside its executable, "help/<help file>/<topic>.html" with an
// "index.html" per help file (the Spirometry extension's help file is "SpirometryHelp"). Implemented by the
// desktop host; reached by QueryInterface on IHostDocument. Called on the user-interface thread.
#include "host/com/iunknown.h"

struct IHelpService : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B07}");
  // in: the help file's name and a topic id (null or empty: the file's index page). Opens the page in the
  // help window (one for the program, raised when already open). S_OK when the topic's page was shown;
  // S_FALSE when the topic has no page and the file's index page was shown instead; E_INVALIDARG when the
  // help file does not exist (nothing is shown).
  virtual HRESULT ShowHelp(const wchar_t* helpFile, const wchar_t* topic) = 0;  // slot 3
};
