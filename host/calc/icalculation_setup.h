#pragma once
// Optional face of a calculation class whose calculations have a set-up dialog. The desktop host asks the
// class for it when the user sets up a channel's calculation (Channel > Calculation...); a class without it
// is applied with its default settings (or the key/value settings the user typed). Called on the
// user-interface thread.
#include "host/com/ipersist_object.h"

struct IHostDocument;

struct ICalculationSetup : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E0B}");
  // in: the host document (its data through GetChannelData; its dialog runner, help and message boxes by
  // QueryInterface), the zero-based channel being set up, and a settings object of this class (the
  // channel's current settings, or the defaults for a new calculation) that the dialog edits in place.
  // Runs the dialog modally through the host's IDialogRunner. S_OK when the user confirmed: the settings
  // hold the edited values and the host applies them. S_FALSE when cancelled: the host discards the
  // settings object. Nothing is applied to the channel by the dialog itself.
  virtual HRESULT RunSetup(IHostDocument* host, std::int32_t channel, IPersistObject* settings) = 0;  // slot 3
};
