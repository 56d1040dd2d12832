#pragma once
// The set-up dialogs' way into the calculation classes. The dialogs live in their own folder with the
// user-interface library and fill one slot per class at module load; a class whose slot is filled answers
// ICalculationSetup, so that a host without the dialogs (or a test without them) sees no set-up at all.
#include <map>

#include "host/calc/icalculation_setup.h"
#include "host/com/com_object.h"

namespace Spirometry {

// Runs the class's dialog on the settings (edited in place): S_OK confirmed, S_FALSE cancelled.
using CalculationSetupRunner = HRESULT (*)(IHostDocument* host, std::int32_t channel, IPersistObject* settings);

// Filled while the module loads, read afterwards from any thread.
inline std::map<Guid, CalculationSetupRunner>& CalculationSetupSlots() {
  static std::map<Guid, CalculationSetupRunner> slots;
  return slots;
}
inline CalculationSetupRunner& CalculationSetupSlot(const Guid& classId) { return CalculationSetupSlots()[classId]; }
inline CalculationSetupRunner FindCalculationSetup(const Guid& classId) {
  const auto& slots = CalculationSetupSlots();
  const auto found = slots.find(classId);
  return found == slots.end() ? nullptr : found->second;
}

// At namespace scope in the dialog's file: static CalculationSetupRegistration gSetup(kSpFlowClassId, &Run);
struct CalculationSetupRegistration {
  CalculationSetupRegistration(const Guid& classId, CalculationSetupRunner runner) {
    CalculationSetupSlot(classId) = runner;
  }
};

// The set-up face a calculation class hands out for its class id.
class CalculationSetupFace final : public ComObject<ICalculationSetup> {
 public:
  // *out: a new face with one reference; E_NOINTERFACE while the class has no dialog.
  static HRESULT Create(const Guid& classId, void** out) {
    const auto run = FindCalculationSetup(classId);
    if (!run) return E_NOINTERFACE;
    try {
      *out = static_cast<ICalculationSetup*>(MakeCom<CalculationSetupFace>(run).Detach());
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  explicit CalculationSetupFace(CalculationSetupRunner run) : mRun(run) {}

  HRESULT RunSetup(IHostDocument* host, std::int32_t channel, IPersistObject* settings) override {
    if (!host || !settings) return E_INVALIDARG;
    return mRun(host, channel, settings);
  }

 private:
  CalculationSetupRunner mRun;
};

}  // namespace Spirometry
