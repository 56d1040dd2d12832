#pragma once
// The settings dialog's way into the document. The dialog lives with the views; the document only runs it
// through this slot, which the dialog's own file fills at module load. While the slot is empty the
// document tells the user that spirometry settings are needed and changes nothing.
#include <cstdint>
#include <vector>

#include "spirometry/document/settings.h"

namespace Spirometry {

class SpiroDocument;

struct SettingsDialogRequest {
  SpiroDocument* document = nullptr;  // for the preview: host data, selection, detection height
  SpConfig* settings = nullptr;       // in: a copy of the document's settings; out: the edited values
  const std::vector<std::int32_t>* flowChannels = nullptr;    // the channels that can serve as flow
  const std::vector<std::int32_t>* volumeChannels = nullptr;  // and as volume
  std::uintptr_t hostWindow = 0;                              // parent of the dialog
};

// Runs the dialog modally; true when the user confirmed with OK (the copy then holds the edited values).
using SettingsDialogRunner = bool (*)(SettingsDialogRequest& request);

SettingsDialogRunner& SettingsDialogSlot();

// Fills the slot at module load: static Spirometry::SettingsDialogRegistration gDialog(&RunSettingsDialog);
struct SettingsDialogRegistration {
  explicit SettingsDialogRegistration(SettingsDialogRunner runner) { SettingsDialogSlot() = runner; }
};

}  // namespace Spirometry
