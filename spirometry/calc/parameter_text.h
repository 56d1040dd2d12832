#pragma once
// The parameter texts through which the flow and volume calculations hand their settings to their
// enumerators: wide text in the classic locale, the marker first, every field followed by a TAB, the
// whole closed by a NUL that is part of the string (so it survives in stored settings as built).
#include <cstdint>
#include <istream>
#include <locale>
#include <sstream>
#include <string>

namespace Spirometry {

// First field of the current form of both texts; older texts start with a setting instead.
constexpr std::int32_t kParameterMarker = INT32_MIN;

class ParameterTextWriter {
 public:
  ParameterTextWriter() {
    mStream.imbue(std::locale::classic());
    Field(kParameterMarker);
  }
  // Default stream formatting: integers in decimal, booleans as 0 or 1, doubles with six significant digits.
  template <class T>
  ParameterTextWriter& Field(const T& value) {
    mStream << value << L'\t';
    return *this;
  }
  std::wstring Text() const { return mStream.str() + L'\0'; }

 private:
  std::wostringstream mStream;
};

// Reads the next field into value only when it parses; a field that fails keeps the value it had (and
// every later read fails too, as the stream stays failed).
template <class T>
bool ReadField(std::wistream& stream, T& value) {
  T read{};
  if (!(stream >> read)) return false;
  value = read;
  return true;
}

// A reader over a parameter text in the classic locale.
inline std::wistringstream ParameterTextReader(const std::wstring& text) {
  std::wistringstream stream(text);
  stream.imbue(std::locale::classic());
  return stream;
}

}  // namespace Spirometry
