#pragma once
// Helpers shared by the event records of the detectors: the event position, the no-value marker and the
// description of a record's fields that enumerators give through IEventLayout.
#include <bit>
#include <cstdint>
#include <span>

#include "host/calc/icalc_enum_class.h"
#include "host/calc/ienum_event_ex.h"

namespace EEH3 {

// An event whose value has this bit pattern (a quiet not-a-number) carries no value; the framework drops it.
constexpr std::uint64_t kNoValueBits = 0x7FF8500000000000ull;

inline bool IsNoValue(double value) { return std::bit_cast<std::uint64_t>(value) == kNoValueBits; }

// The event position of a tick: rounded to the nearest whole tick (adding 0.5 and truncating), the
// fraction being what is left over.
inline QorEventPosition EventPositionOf(double tick) {
  const auto whole = static_cast<std::int32_t>(tick + 0.5);
  return QorEventPosition{whole, static_cast<float>(tick - whole)};
}

// One field of an event record beyond the 16-byte head.
struct EventField {
  const wchar_t* name;
  std::int32_t offset;
  std::int32_t type;  // EventFieldType
};

using EventFields = std::span<const EventField>;

}  // namespace EEH3
