#pragma once
// The engine's own functions, found before those that extensions register (names match regardless of
// case):
//   EventInterp(events[, mode])          a sample channel from an event source (event_interp_enum.h)
//   decimatesec(x, seconds)              window means held for the window (decimate_enum.h)
//   threshold(x, level)                  1 above the level, else 0 (threshold_enum.h)
//   Cycles(x, level, quiet, window, baseline)   events where cycles of x begin (cycle_events.h)
// Trailing numbers with a default may be left out of a call.
#include <optional>
#include <string_view>

#include "host/calc/icalc_enum_class.h"
#include "host/com/com_ptr.h"

namespace kymora::expr {

// The class object of a built-in function, or null.
ComPtr<INumericParamsClass> FindBuiltinFunction(std::wstring_view name);

// How many arguments a call of the function may leave out at its end, and the value each omitted one
// takes (parameter index in, default out). Functions of extensions leave out nothing.
std::int32_t OptionalArguments(INumericParamsClass* function);
std::optional<double> DefaultArgument(INumericParamsClass* function, std::int32_t index);

}  // namespace kymora::expr
