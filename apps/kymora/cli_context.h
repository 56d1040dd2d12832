#pragma once
// What every command of the command line shares: opening documents with warnings and message boxes on
// standard error, and the exit codes.
#include <memory>
#include <string>
#include <vector>

#include "host/frame/host_document.h"

namespace kymora::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// --verbose: informational message boxes are shown too.
bool& Verbose();

// Message boxes of the command line: the text (and caption) on standard error.
int StderrMessageBox(const std::wstring& text, const std::wstring& caption, std::uint32_t style);

// Opens a .kymo file or imports a recording; prints warnings on standard error. Null after printing the
// error when it cannot be opened.
std::unique_ptr<HostDocument> OpenDocument(const std::string& path, const import::ImportOptions& options = {});

void PrintError(const std::string& message);
// The text with control characters (NUL, escape, ...) written as \xNN, so that a message is shown whole.
std::string Printable(std::string text);
// True when standard error is a terminal: long work then shows its progress there.
bool ShowsProgress();
std::string Narrow(const std::wstring& text);

}  // namespace kymora::cli
