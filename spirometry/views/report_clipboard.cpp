#include "spirometry/views/report_clipboard.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/com/text.h"

namespace Spirometry {

namespace {
constexpr char kHeader[] =
    "Version:0.9\r\nStartHTML:00000000\r\nEndHTML:00000000\r\nStartFragment:00000000\r\nEndFragment:00000000\r\n"
    "<html><body>\r\n<!--StartFragment -->\r\n";
constexpr char kFooter[] = "<!--EndFragment-->\r\n</body>\r\n</html>";
constexpr std::size_t kSlack = 400;  // room for the wrapper around the page
constexpr std::uint32_t kTerminatorBytes = 4;

// Writes the eight digits of a field over its zeros; the line end after them stays.
void FillField(std::string& text, const char* field, std::size_t value) {
  const std::size_t at = text.find(field);
  if (at == std::string::npos) return;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(value));
  std::memcpy(&text[at + std::strlen(field)], digits, 8);
}

// Every search starts at the beginning, so the wrapper's markers are found before any in the page.
std::size_t OffsetOf(const std::string& text, const char* marker) {
  const std::size_t at = text.find(marker);
  return at == std::string::npos ? 0 : at;
}

class OpenClipboard {
 public:
  OpenClipboard(IClipboard* clipboard, std::uintptr_t owner)
      : mClipboard(clipboard), mOpen(Succeeded(clipboard->Open(owner))) {}
  ~OpenClipboard() {
    if (mOpen) mClipboard->Close();
  }
  bool IsOpen() const { return mOpen; }

 private:
  IClipboard* mClipboard;
  bool mOpen;
};
}  // namespace

std::string HtmlClipboardText(std::string_view pageUtf8) {
  std::string text;
  text.reserve(pageUtf8.size() + kSlack);
  text += kHeader;
  text += pageUtf8;
  text += "\r\n";
  text += kFooter;
  FillField(text, "StartHTML:", OffsetOf(text, "<html>"));
  FillField(text, "EndHTML:", text.size());
  FillField(text, "StartFragment:", OffsetOf(text, "<!--StartFrag"));
  FillField(text, "EndFragment:", OffsetOf(text, "<!--EndFrag"));
  return text;
}

HRESULT CopyReportToClipboard(IClipboard* clipboard, std::uintptr_t owner, const std::wstring& report) {
  if (!clipboard) return E_POINTER;
  {
    OpenClipboard open(clipboard, owner);
    if (!open.IsOpen()) return E_FAIL;
    clipboard->Empty();
    std::u16string text = ToUtf16(report);
    text.push_back(u'\0');
    const HRESULT placed = clipboard->SetData(kClipboardUnicodeText, text.data(),
                                              static_cast<std::uint32_t>(text.size() * sizeof(char16_t)));
    if (Failed(placed)) return placed;
  }

  // Registered once per process; the host gives one id per name for the life of the process. Atomic
  // because documents may be reported on several threads at once.
  static std::atomic<std::uint32_t> registered{0};
  std::uint32_t format = registered.load(std::memory_order_relaxed);
  if (format == 0) {
    if (Failed(clipboard->RegisterFormat(kHtmlClipboardFormatName, &format)) || format == 0) return S_FALSE;
    registered.store(format, std::memory_order_relaxed);
  }
  std::string html;
  try {
    html = HtmlClipboardText(ToUtf8(report));
    html.append(kTerminatorBytes, '\0');
  } catch (const std::bad_alloc&) {
    return S_FALSE;  // the text is placed; a page too large for memory twice over stays text only
  }
  OpenClipboard open(clipboard, owner);
  if (!open.IsOpen()) return S_FALSE;
  return Failed(clipboard->SetData(format, html.data(), static_cast<std::uint32_t>(html.size()))) ? S_FALSE : S_OK;
}

}  // namespace Spirometry
