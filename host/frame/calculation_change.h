#pragma once
// Changing a channel's calculation from a front end: the settings are prepared and checked before anything
// changes on the channel, and a calculation the host refuses leaves the channel (and the file's channel
// list) as it was.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host/calc/icalculation_class.h"
#include "host/com/com_ptr.h"
#include "host/com/expected.h"

namespace kymora {

class HostDocument;

struct CalculationRequest {
  std::int32_t channel = 0;       // zero-based; the channel count adds a channel
  ComPtr<ICalculationClass> cls;  // null removes the calculation
  // Settings by name (IKeyValueSettings), applied in order to the starting settings.
  std::vector<std::pair<std::wstring, std::wstring>> values;
  // The set-up dialog, run on the prepared settings: S_OK goes on, S_FALSE cancels (nothing changes).
  std::function<HRESULT(std::int32_t channel, IPersistObject* settings)> setup;
};

enum class CalculationOutcome { kApplied, kCancelled };

// The settings a calculation of the class starts from on the channel: a copy of the channel's current ones
// when they belong to the class, the class's defaults otherwise (and for a channel about to be added).
Expected<ComPtr<IPersistObject>> StartingSettings(HostDocument& doc, std::int32_t channel, ICalculationClass* cls);

// Puts the calculation on the channel (or removes it), then tells the attached documents. Errors are
// messages for the user; the document is unchanged after one.
Expected<CalculationOutcome> ChangeCalculation(HostDocument& doc, const CalculationRequest& request);

}  // namespace kymora
