#pragma once
// Copying the report: as Unicode text and as "HTML Format", the wrapped HTML with byte offsets in its
// header that other programs read to find the page and the fragment.
#include <cstdint>
#include <string>
#include <string_view>

#include "host/frame/iclipboard.h"

namespace Spirometry {

inline constexpr const wchar_t* kHtmlClipboardFormatName = L"HTML Format";

// The "HTML Format" text of a page given in UTF-8: the header with its four offsets filled in, the wrapper
// and the page. For a page of L bytes: StartHTML 97, StartFragment 111, EndFragment 136 + L, EndHTML 172 + L.
std::string HtmlClipboardText(std::string_view pageUtf8);

// Places the report on the clipboard: first, on an emptied clipboard, as NUL-terminated UTF-16 text; then,
// with the clipboard opened again, as "HTML Format" (followed by four NUL bytes). Fails without placing
// anything when the clipboard cannot be opened; when only the second opening fails, the text stays placed
// and the result is S_FALSE.
HRESULT CopyReportToClipboard(IClipboard* clipboard, std::uintptr_t owner, const std::wstring& report);

}  // namespace Spirometry
