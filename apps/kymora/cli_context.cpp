#include "apps/kymora/cli_context.h"

#include <cstdio>

#include "host/com/text.h"

namespace kymora::cli {

int StderrMessageBox(const std::wstring& text, const std::wstring& caption, std::uint32_t) {
  if (caption.empty())
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
  else
    std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
  return 1;
}

void PrintError(const std::string& message) { std::fprintf(stderr, "kymora: %s\n", message.c_str()); }

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

std::unique_ptr<HostDocument> OpenDocument(const std::string& path, const import::ImportOptions& options) {
  std::vector<std::string> warnings;
  auto doc = HostDocument::Open(path, options, StderrMessageBox, &warnings);
  for (const auto& w : warnings) std::fprintf(stderr, "kymora: warning: %s\n", w.c_str());
  if (!doc) {
    PrintError(doc.ErrorMessage());
    return nullptr;
  }
  return std::move(*doc);
}

}  // namespace kymora::cli
