#pragma once
// The module's user-visible texts, by number. Placeholders are %1, %2, …; "%%" stands for a percent sign.
#include <initializer_list>
#include <string>

namespace Spirometry {

// The text of a string number; empty when the table has none.
std::wstring LoadString(int id);
// The text with %1, %2, … replaced by the arguments in order and "%%" by "%".
std::wstring FormatString(int id, std::initializer_list<std::wstring> args);
std::wstring FormatText(const std::wstring& pattern, std::initializer_list<std::wstring> args);

}  // namespace Spirometry
