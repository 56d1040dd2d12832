#pragma once
// Conversions between the host's text forms: wide strings (one code point per wchar_t) inside the
// program, UTF-8 in files and on the terminal, UTF-16 code units in persisted streams.
#include <string>
#include <string_view>

std::string ToUtf8(std::wstring_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::wstring FromUtf8(std::string_view text);
std::u16string ToUtf16(std::wstring_view text);
// Unpaired surrogates become U+FFFD.
std::wstring FromUtf16(std::u16string_view text);
// Case-insensitive comparison of ASCII letters (other characters compare exactly).
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
