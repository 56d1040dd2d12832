#pragma once
// A calculation enumerator: the object an expression function or a calculated channel creates per
// record. The host creates it through its class object (ICalcEnumClass), gives it its parameter text and its
// sources, then reads it as IEnumFloatEx (sample output) or IEnumEventEx (event output).
#include <string>

#include "host/com/iunknown.h"

struct IUnits;
struct IChannelData;

// Output kinds (also the source kinds that function classes accept).
namespace CalcKind {
constexpr std::uint32_t kSamples = 0x80000000;  // a channel or sample expression
constexpr std::uint32_t kEvents = 0x40000000;   // an event source
}  // namespace CalcKind

struct ICalcEnum : IUnknown {
  static constexpr Guid kIid = Guid::Parse("{8C1F0A52-6E3B-4D17-9E2C-5B4A7C1D2E03}");
  // out: CalcKind::kSamples or CalcKind::kEvents.
  virtual HRESULT GetOutputKind(std::uint32_t* kind) = 0;  // slot 3
  // in: the host data the enumerator may read besides its sources (record lengths, a raw channel). Called
  // by the host right after creation; the enumerator holds a reference.
  virtual HRESULT SetHost(IChannelData* host) = 0;  // slot 4
  // Read settings. in: the parameter text (classic locale); out: *outputKind (may be null).
  virtual HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) = 0;  // slot 5
  // Write settings. out: the parameter text.
  virtual HRESULT GetParameters(std::wstring* text) = 0;  // slot 6
  // out: a copy with the same parameters and sources, one reference for the caller.
  virtual HRESULT Clone(ICalcEnum** out) = 0;  // slot 7
  // in: record; count of sources and their interfaces (IEnumFloatEx for channels, IEnumEventEx for events)
  // in parameter order, positioned at the record start; a further word (0); seconds per sample of the
  // sources; online flag (negative while the record is still being acquired). The enumerator takes
  // references to the sources and positions its output at tick 0.
  virtual HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                             double secsPerTick, std::int32_t online) = 0;  // slot 8
  // Moves the output to a tick of the record.
  virtual HRESULT SetPosition(std::int64_t tick) = 0;  // slot 9
  // Drops the references to the sources.
  virtual HRESULT ReleaseSources() = 0;  // slot 10
};
