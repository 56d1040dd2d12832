#pragma once
// The spirometry report and its CSV export written to files, through the operations the host offers every
// front end: the report view's Copy command (here into the memory clipboard) and the extension's save-as
// class for "csv".
#include <memory>
#include <string>
#include <vector>

#include "host/com/expected.h"
#include "host/frame/host_document.h"

namespace kymora::cli {

// Writes the bytes beside the target ("PATH.part") and renames them into place only when every byte reached
// the disk; a write that fails (a full disk, a size limit) removes what it had written. The message is the
// system's reason, without the path.
Status WriteThroughPartialFile(const std::string& path, const std::string& bytes);

// Opens a report view on the document, copies its page and writes it as UTF-8. Fails when the document has
// no valid analysis (the view then shows a message instead of a page); the message is the error.
Status WriteReportHtml(HostDocument& host, ICustomDocument* document, const std::string& path);
// Opens the data window and then the flow-volume plot on the document, copies each as a picture (drawn
// offscreen by the view's printout) and writes it as data-window.svg/.png and flow-volume.svg/.png in the
// folder. Returns the paths written (none in a build without Qt); fails on the first picture that cannot be
// made or written.
// The pictures need a GUI application, which must be made on the main thread before pictures are drawn on
// others; WriteViewPictures makes one for the time of the call when there is none. Keeps one (when the
// build draws pictures) for as long as the holder lives.
std::shared_ptr<void> KeepPictureApplication();
Expected<std::vector<std::string>> WriteViewPictures(HostDocument& host, ICustomDocument* document,
                                                     const std::string& folder);
// Said after the engine's reason when it would not start because the program runs as root with its
// sandbox on.
inline constexpr const char* kRootSandboxHint =
    " (run as root, the browser engine needs QTWEBENGINE_DISABLE_SANDBOX=1, as scripts/browser-env.sh sets)";

// Why the desktop program could not make the PDF, from what it wrote on its standard streams: its own
// message when it gave one, else the last line (the engine's, when the engine would not start), with
// kRootSandboxHint when the engine refused to run as root.
std::string BrowserFailureReason(const std::string& output);

// Lays out the written report page (report.html) for paper and writes it as a PDF, through the desktop
// program's browser engine run without a screen (the command line carries no browser of its own). Returns
// false, and writes nothing, when there is no desktop program beside this one (a build without Qt, or an
// installation without it); fails when the desktop program could not make the PDF, with its reason.
Expected<bool> WriteReportPdf(const std::string& htmlPath, const std::string& pdfPath);
// Saves the document through the save-as class of file type "csv".
Status WriteReportCsv(HostDocument& host, ICustomDocument* document, const std::string& path);

}  // namespace kymora::cli
