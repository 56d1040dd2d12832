#pragma once
// ISpiroResults2 with what the last detection found missing in its flow channel.
//
// Implemented by the extension's spirometry document next to ISpiroResults2 (a query for any of them finds
// the same object). Called on the host's user-interface thread. Every out-pointer must be non-null
// (E_POINTER otherwise).
#include <cstdint>

#include "spirometry/document/ispiro_results2.h"

namespace Spirometry {

struct ISpiroResults3 : ISpiroResults2 {
  static constexpr Guid kIid = Guid::Parse("{3F8E2C61-5A07-4B9D-A1E4-7C26D08B5F93}");
  using Base = ISpiroResults2;

  // The samples of the flow channel that hold no number (empty, NaN or infinite) in the selection of the
  // last detection, counted as the detectors read them. out: that selection, the flow channel and the
  // count. S_FALSE (and no count) when the last detection did not count them: no detection yet, one that
  // could not start, or a flow channel that could not be read.
  virtual HRESULT GetMissingFlowSamples(DataPosition* start, DataPosition* end, std::int32_t* flowChannel,
                                        std::int64_t* count) = 0;  // slot 15
};

}  // namespace Spirometry
