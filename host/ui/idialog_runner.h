#pragma once
// Runs an extension's dialog modally over the desktop host's main window. Implemented by the host; reached by
// QueryInterface on IHostDocument. Extensions run their dialogs through it rather than calling exec
// themselves, so that the host parents and places them, and can take a picture of a dialog instead of
// waiting for a user (the desktop program's --screenshot). Called on the user-interface thread.
#include "host/com/iunknown.h"

class QDialog;

// *result of RunModal: the values of QDialog::DialogCode.
constexpr std::int32_t kDialogRejected = 0;
constexpr std::int32_t kDialogAccepted = 1;

struct IDialogRunner : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{6E1D3A21-4B7C-4E59-8F0A-2C3D4E5F6B06}");
  // in: a dialog the caller created and keeps owning (the host sets its parent to the main window for the
  // run, keeping its window flags, and gives it back unparented); out: kDialogAccepted or kDialogRejected.
  // Returns when the dialog is closed. When the host takes a picture instead, the dialog is shown, drawn and
  // rejected. E_INVALIDARG for a null dialog.
  virtual HRESULT RunModal(QDialog* dialog, std::int32_t* result) = 0;  // slot 3
};
