#pragma once
// Data access on a host document, second version: the units conversion that the user applied to a channel.
//
// Implemented by the host's data access beside IChannelData (query it from there); used by the extension's
// flow set-up, which warns when its source is shown through such a conversion. Same threading, addressing
// and index rules as IChannelData.
#include "host/data/ichannel_data.h"

struct IChannelData2 : IChannelData {
  static constexpr Guid kIid = Guid::Parse("{2E54A1C3-7D0B-4F8E-8B11-4A3C9D7E6F04}");
  using Base = IChannelData;

  // out: the linear rescaling that the user put on the channel's recorded values in the block (shown value =
  // recorded × scale + offset) and the units it shows them in, one reference each for the caller; shownUnits
  // may be null when not wanted. S_FALSE and nulls when the channel has none, and always when the flags read
  // the channel through its calculation. Samples, units and the units conversion read through IChannelData
  // are the recorded ones whether or not the user applied a conversion.
  virtual HRESULT GetUserConversion(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                                    IUnitsConversion** conversion, IUnits** shownUnits) = 0;  // slot 17
};
