#include "apps/kymora/cli_context.h"

#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "apps/kymora/cli_options.h"
#include "host/com/text.h"

namespace kymora::cli {

// Control characters that a file or an argument brought into a message (a NUL would end it, an escape
// sequence would steer the terminal) are shown as \xNN; line breaks and tabs stay.
std::string Printable(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool& Verbose() {
  static bool verbose = false;
  return verbose;
}

int StderrMessageBox(const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
  Console console;
  return console.MessageBox(text, caption, style);
}

void Console::Out(const std::string& text) {
  if (mOut)
    *mOut += text;
  else
    std::fputs(text.c_str(), stdout);
}

void Console::Err(const std::string& text) {
  if (mErr)
    *mErr += text;
  else
    std::fputs(text.c_str(), stderr);
}

void Console::Error(const std::string& message) {
  if (mFirstError.empty()) mFirstError = message;
  // Many messages start with the file's name already.
  const bool named = !mFile.empty() && message.rfind(mFile + ":", 0) == 0;
  Err((named ? std::string("kymora: ") : Lead()) + Printable(message) + "\n");
}

int Console::MessageBox(const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
  // The icon bits of the style: 0x10 error, 0x30 warning, 0x40 information. Information is for people at a
  // desktop (for example that a new document needs its settings, which the command line gives as options);
  // it is shown with --verbose only.
  if ((style & 0x70) == 0x40 && !Verbose()) return 1;
  const char* kind = (style & 0x70) == 0x10 ? "error" : (style & 0x70) == 0x40 ? "note" : "warning";
  std::string body = Printable(ToUtf8(text));
  for (std::size_t at = 0; (at = body.find('\n', at)) != std::string::npos; at += 2) body.replace(at, 1, "\n  ");
  if (caption.empty())
    Err(Lead() + kind + ": " + body + "\n");
  else
    Err(Lead() + kind + " (" + Printable(ToUtf8(caption)) + "): " + body + "\n");
  return 1;
}

std::string Format(const char* format, ...) {
  std::va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

std::string MeasuredText(double value, const char* format) {
  if (!std::isfinite(value)) return "-";
  char text[40];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void PrintError(const std::string& message) { Console().Error(message); }

bool ReadFailed(HostDocument& doc, Console& console) {
  auto failure = doc.File().ReadFailure();
  if (failure) console.Error(*failure);
  return failure.has_value();
}

bool ReadFailed(HostDocument& doc) {
  Console console;
  return ReadFailed(doc, console);
}

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

std::string DescribeConversion(const UserConversion& conversion) {
  const bool down = conversion.offset < 0;
  return "shown as " + Printable(Narrow(conversion.units)) + " = value x " + NumberText(conversion.scale) +
         (down ? " - " : " + ") + NumberText(down ? -conversion.offset : conversion.offset);
}

bool ShowsProgress() {
  static const bool terminal = isatty(2) != 0;
  return terminal;
}

std::unique_ptr<HostDocument> OpenDocument(const std::string& path, const import::ImportOptions& options) {
  static Console console;  // the standard streams, for as long as any document lives
  return OpenDocument(path, options, console);
}

std::unique_ptr<HostDocument> OpenDocument(const std::string& path, const import::ImportOptions& options,
                                           Console& console) {
  std::vector<std::string> warnings;
  auto withProgress = options;
  bool shown = false;
  if (ShowsProgress() && !withProgress.progress) {
    withProgress.progress = [&shown, &path](std::uint64_t done, std::uint64_t total) {
      if (total == 0) return;
      std::fprintf(stderr, "\rReading %s: %3d%%", path.c_str(), static_cast<int>(100.0 * done / total));
      shown = true;
    };
  }
  auto messageBox = [&console](const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
    return console.MessageBox(text, caption, style);
  };
  // Only the samples a command reads come from the file: one channel of a long recording, not all of them.
  auto doc = HostDocument::Open(path, withProgress, messageBox, &warnings, storage::LoadMode::kDeferSamples);
  if (shown) std::fprintf(stderr, "\rReading %s: done\n", path.c_str());
  for (const auto& w : warnings) console.Warning(w);
  if (!doc) {
    console.Error(doc.ErrorMessage());
    return nullptr;
  }
  return std::move(*doc);
}

}  // namespace kymora::cli
