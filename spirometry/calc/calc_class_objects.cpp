// The static class objects of the channel calculations and of their enumerators; they link
// themselves into the module's registration list at load.
#include "spirometry/calc/calc_class.h"
#include "spirometry/calc/sp_flow.h"
#include "spirometry/calc/sp_flow_enum.h"
#include "spirometry/calc/sp_vol.h"
#include "spirometry/calc/sp_vol_enum.h"
#include "spirometry/calc/tidal_vol_enum.h"
#include "spirometry/calc/ventilation_calc.h"
#include "spirometry/support/calc_enum_class.h"
#include "spirometry/support/self_registration.h"

namespace Spirometry {
namespace {
Qor::StaticClassObject<CalcClass<SpFlow>> gSpFlowClass;
Qor::StaticClassObject<CalcClass<SpVol>> gSpVolClass;
Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpFlowEnum>> gSpFlowEnumClass;
Qor::StaticClassObject<CalcEnums::CalcEnumNumericParamsClass<SpVolEnum>> gSpVolEnumClass;
Qor::StaticClassObject<CalcClass<SpTidalVolCalculation>> gSpTidalVolClass;
Qor::StaticClassObject<CalcClass<SpMinVentCalculation>> gSpMinVentClass;
Qor::StaticClassObject<CalcEnums::CalcEnumClass2<TidalVolEnum>> gTidalVolEnumClass;
}  // namespace
}  // namespace Spirometry
