#pragma once
// The part of every event enumerator that does not depend on its detector: reading and writing the
// settings text, and the small conversions of the host's tick arguments.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/com/result.h"
#include "spirometry/events/params_base.h"

namespace EEH3 {

// Category of the class records of the module's event enumerators.
inline constexpr Guid kEventEnumeratorCategory = Guid::Parse("{B3C1E0A4-5D2F-4E81-9A67-2F0C8D4E1B35}");

class EnumeratorBase {
 public:
  // The numbers of a settings text (classic locale, separated by white space; a NUL ends the text), or
  // nothing when anything else is found.
  static std::optional<std::vector<double>> ParseNumbers(std::wstring_view text);
  // The shortest decimal text that reads back as the same double, whatever the process locale.
  static std::wstring FormatNumber(double value);

  // Reads a settings text into params: the settings word followed by the detector's numbers. A text of the
  // numbers alone (what WriteSettings gives) is read as well, keeping the settings word. E_INVALIDARG, with
  // params unchanged, for anything else.
  static HRESULT ReadSettings(std::wstring_view text, ParamsBase& params);
  // The detector's numbers as text, followed by a terminating NUL character.
  static std::wstring WriteSettings(const ParamsBase& params);

  static std::int32_t ClampTick(std::int64_t tick) {
    return tick < 0 ? 0 : tick > 2147483647 ? 2147483647 : static_cast<std::int32_t>(tick);
  }

 protected:
  EnumeratorBase() = default;
  ~EnumeratorBase() = default;
};

}  // namespace EEH3
