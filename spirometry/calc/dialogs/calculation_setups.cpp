// The set-up dialogs of the calculations, offered to the host through the calculation classes.
#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/calc_setup_slot.h"
#include "spirometry/calc/dialogs/dialog_support.h"
#include "spirometry/calc/dialogs/sp_flow_dlg.h"
#include "spirometry/calc/dialogs/sp_vol_dlg.h"
#include "spirometry/calc/dialogs/ventilation_dlgs.h"

namespace Spirometry {

namespace {
// Runs dialog D on settings of class S; S_OK on OK, S_FALSE on Cancel.
template <class D, class S>
HRESULT RunSetup(IHostDocument* host, std::int32_t channel, IPersistObject* settings) {
  auto* edited = dynamic_cast<S*>(settings);
  if (!edited) return E_INVALIDARG;
  if (!Dialogs::CanRunDialogs(host)) return E_NOTIMPL;
  try {
    D dialog(host, channel, *edited);
    return Dialogs::RunModal(host, &dialog) == QDialog::Accepted ? S_OK : S_FALSE;
  } catch (...) {
    return E_FAIL;
  }
}

CalculationSetupRegistration gFlowSetup(kSpFlowClassId, &RunSetup<SpFlowDlg, SpFlowSettings>);
CalculationSetupRegistration gVolumeSetup(kSpVolClassId, &RunSetup<SpVolDlg, SpVolSettings>);
CalculationSetupRegistration gTidalVolumeSetup(kSpTidalVolClassId,
                                               &RunSetup<SpTidalVolCalculationDialog, SpTidalVolSettings>);
CalculationSetupRegistration gMinuteVentilationSetup(kSpMinVentClassId,
                                                     &RunSetup<SpMinVentCalculationDialog, SpMinVentSettings>);
}  // namespace

}  // namespace Spirometry
