#pragma once
// A calculation on a channel (a calculated channel), implemented by the extension. The host creates it
// through its ICalculationClass, loads or applies its settings, and for each record it reads asks it to
// prepare the record, which yields the enumerator that produces the channel's samples.
#include "host/com/ipersist_object.h"

struct ICalcEnum;
struct IChannelData;
struct ICalcSite;

struct IChannelCalc : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E08}");
  // in: record, host data; out: the enumerator for the record (sources not yet set; one reference), the sample
  // ratio (numerator, denominator) and delay of output to source, the record length in samples, a last word.
  virtual HRESULT PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator,
                                std::int64_t* ratioNumerator, std::int64_t* ratioDenominator, std::int64_t* delay,
                                std::int64_t* length, std::int32_t* last) = 0;  // slot 3
  // in: a settings object of this calculation's class, force flag. S_FALSE when unchanged and not forced;
  // otherwise the result of the host's application.
  virtual HRESULT ApplySettings(IPersistObject* settings, Bool16 force) = 0;  // slot 4
  // in: settings to copy in place of the current ones (nothing is applied).
  virtual HRESULT ReplaceSettings(IPersistObject* settings) = 0;  // slot 5
  // out: a new copy of the current settings, one reference for the caller.
  virtual HRESULT GetSettings(IPersistObject** settings) = 0;  // slot 6
  // out: capability flags.
  virtual HRESULT GetCapabilities(std::uint32_t* flags) = 0;  // slot 7
  // out: the host site the calculation was created with (one reference).
  virtual HRESULT GetSite(ICalcSite** site) = 0;  // slot 8
};
