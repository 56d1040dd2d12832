#pragma once
// The parameter texts through which the flow and volume calculations hand their settings to their
// enumerators: wide text in the classic locale, the marker first, every field followed by a TAB, the
// whole closed by a NUL that is part of the string (so it survives in stored settings as built).
#include <cstdint>
#include <cwctype>
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

// Reads the fields of a parameter text in order, in the classic locale. Fields are separated by white
// space (a TAB in the current form, a space in the older form); the text may end in its closing NUL. A
// field the text no longer holds leaves its value as it was. A field with text left in it (a "0.5" where a
// whole number belongs, a word) spoils the whole text: read on, every later field would take the value
// meant for the one before it, so the caller refuses the text instead.
class ParameterTextReader {
 public:
  explicit ParameterTextReader(const std::wstring& text) : mStream(text) { mStream.imbue(std::locale::classic()); }

  template <class T>
  ParameterTextReader& Field(T& value) {
    if (mMalformed || AtEnd()) return *this;
    T read{};
    if (!(mStream >> read) || !AtSeparator()) {
      mMalformed = true;
      return *this;
    }
    value = read;
    return *this;
  }
  bool Malformed() const { return mMalformed; }

 private:
  bool AtEnd() {
    mStream >> std::ws;
    const auto next = mStream.peek();
    return next == std::char_traits<wchar_t>::eof() || next == L'\0';
  }
  bool AtSeparator() {
    const auto next = mStream.peek();
    return next == std::char_traits<wchar_t>::eof() || next == L'\0' || std::iswspace(static_cast<wint_t>(next));
  }

  std::wistringstream mStream;
  bool mMalformed = false;
};

}  // namespace Spirometry
