#pragma once
// The flow calculation's calibration face: the head scale of its flow head from a known volume pushed
// through it, over a stretch of the raw flow-head voltage. The desktop's calibration dialog and the
// command line's calibrate both come to the same figure.
//
// Implemented by the extension (SpFlow); obtained by QueryInterface on the calculation the host holds for a
// channel. Called on the user-interface thread (or the command line's only thread).
#include <string>

#include "host/com/iunknown.h"
#include "host/data/data_position.h"

struct IChannelData;

struct IFlowHeadCalibration : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E21}");

  // in: the host document's data (the caller keeps its reference); the range of one block of the
  // calculation's raw flow channel (DataPosition::kNotSet in either member of either end: the document's
  // selection); the volume in litres. out: the head scale in L/s per V, |volume / integral| (0 when the
  // integral is 0), and the integral in V s (single precision, the last sample not counted). S_OK; S_FALSE
  // when the range cannot be used, *message (may be null) saying why in the user's words and the other
  // outputs untouched; E_POINTER for a null head scale or integral; E_FAIL without data or settings.
  virtual HRESULT CalibrateHeadScale(IChannelData* data, DataPosition start, DataPosition end, double volume,
                                     double* headScale, double* integral, std::wstring* message) = 0;  // slot 3
};
