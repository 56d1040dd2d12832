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

// The text with control characters (NUL, escape, ...) written as \xNN, so that a message is shown whole.
std::string Printable(std::string text);

// Where a command's messages and results go: standard output and standard error, or, for one file of many
// analysed at once, two strings that are printed when that file is done. Errors and warnings of such a file
// name it after "kymora: ".
class Console {
 public:
  Console() = default;
  Console(std::string* out, std::string* err, std::string file) : mOut(out), mErr(err), mFile(std::move(file)) {}

  void Out(const std::string& text);
  void Err(const std::string& text);
  // "kymora: MESSAGE" (with control characters shown as \xNN) on a line of its own.
  void Error(const std::string& message);
  // "kymora: warning: MESSAGE".
  void Warning(const std::string& message) { Err(Lead() + "warning: " + Printable(message) + "\n"); }
  // A message box of the host (the text, and its caption) as an error, warning or note; see StderrMessageBox.
  int MessageBox(const std::wstring& text, const std::wstring& caption, std::uint32_t style);
  // The first error reported, without "kymora: ".
  const std::string& FirstError() const { return mFirstError; }

 private:
  std::string Lead() const { return mFile.empty() ? "kymora: " : "kymora: " + Printable(mFile) + ": "; }
  std::string* mOut = nullptr;
  std::string* mErr = nullptr;
  std::string mFile;
  std::string mFirstError;
};

// printf into a string.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...);
// A number of a table written with a printf format of one double; "-" for one that could not be measured
// (not finite).
std::string MeasuredText(double value, const char* format = "%g");

// Message boxes of the command line: the text (and caption) on standard error.
int StderrMessageBox(const std::wstring& text, const std::wstring& caption, std::uint32_t style);

// Opens a .kymo file or imports a recording; prints warnings on standard error. Null after printing the
// error when it cannot be opened.
std::unique_ptr<HostDocument> OpenDocument(const std::string& path, const import::ImportOptions& options = {});
// The same with the warnings and the error sent to the console, which must outlive the document (its
// message boxes go there).
std::unique_ptr<HostDocument> OpenDocument(const std::string& path, const import::ImportOptions& options,
                                           Console& console);

void PrintError(const std::string& message);
// Samples that the command needed and could not read from the file (a damaged chunk, a file changed by
// another program since it was opened): the error is told and true returned. Whatever the command made
// without them is no result.
bool ReadFailed(HostDocument& doc, Console& console);
bool ReadFailed(HostDocument& doc);  // told on standard error
// True when standard error is a terminal: long work then shows its progress there.
bool ShowsProgress();
std::string Narrow(const std::wstring& text);
// A units conversion of the user as the commands print it: "shown as L/s = value x 12.5 + 0".
std::string DescribeConversion(const UserConversion& conversion);

}  // namespace kymora::cli
