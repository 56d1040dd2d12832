#pragma once
// The volume calculation's second face, through which the Spirometry document and the setup dialogs read
// and change the volume correction of an SpVol calculation without the host's calculation dialog.
//
// Implemented by the extension (SpVol); called by the extension's own document and dialogs on the
// user-interface thread. Obtained by QueryInterface on the calculation the host holds for a channel.
#include "host/com/iunknown.h"
#include "host/data/data_position.h"

struct IChannelData;

struct ISpiroCalculations : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{5B0E4E11-6C1D-4F2A-9E1B-1F0A3C5D7E20}");

  // in: the switch (kTrue16 on). Sets the flag in the settings the calculation holds; applies nothing.
  virtual HRESULT SetVolumeCorrection(Bool16 on) = 0;  // slot 3
  // out: kTrue16 when the correction is on, kFalse16 when off; untouched when there are no settings.
  virtual HRESULT GetVolumeCorrection(Bool16* on) = 0;  // slot 4
  // Switches the correction off and has the host apply the settings again (forced). Returns the host's result.
  virtual HRESULT SwitchOffVolumeCorrection() = 0;  // slot 5
  // in: the host document's data (its selection and samples; the caller keeps its reference), the range
  // to use (DataPosition::kNotSet in either member of either end: the document's current selection).
  // Computes the volume ratio of the flow channel over the range with the settings' correction type and
  // dead space, stores it as the volume ratio, switches the correction on and has the host apply the
  // settings (forced). E_FAIL when there are no settings, no document or no host site.
  virtual HRESULT ComputeRatioFromSelection(IChannelData* document, DataPosition start,
                                            DataPosition end) = 0;  // slot 6
  // out: the zero-based flow channel the volume is integrated from; -1 when there are no settings.
  virtual HRESULT GetFlowChannel(std::int32_t* channel) = 0;  // slot 7
  // out: the zero-based channel that carries the calculation; -1 when there are no settings.
  virtual HRESULT GetOwnChannel(std::int32_t* channel) = 0;  // slot 8
};
