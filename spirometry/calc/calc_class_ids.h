#pragma once
// Class ids of the extension's channel calculations: the host stores them with each calculated channel,
// so they never change.
#include "host/com/guid.h"

namespace Spirometry {

inline constexpr Guid kSpFlowClassId = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E11}");
inline constexpr Guid kSpVolClassId = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E12}");
inline constexpr Guid kSpTidalVolClassId = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E13}");
inline constexpr Guid kSpMinVentClassId = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E14}");

}  // namespace Spirometry
