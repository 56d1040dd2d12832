#pragma once
// The report view of a spirometry document: the analysis as an HTML page, rebuilt in full on every
// notification, copied to the clipboard as text and as "HTML Format". No page is shown on this platform
// yet (a desktop front end brings the window); the command line takes the page through the Copy command.
#include <string>

#include "host/com/com_object.h"
#include "host/frame/icustom_document.h"
#include "host/frame/idoc_view.h"
#include "host/frame/ihost_document.h"
#include "spirometry/views/report_builder.h"

namespace Spirometry {

inline constexpr wchar_t kCopyReportText[] = L"&Copy Spirometry Report";
inline constexpr wchar_t kPrintReportText[] = L"&Print Spirometry Report";
inline constexpr std::int32_t kReportPreferredWidth = 300, kReportPreferredHeight = 200;

class ReportView final : public ComObject<IDocView> {
 public:
  ReportView(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host);

  // Runs a pending analysis, loads the templates and builds the page.
  HRESULT Setup() override;
  // Host document events 0 (selection or data changed) and 4 (detect again), and the document's own
  // event 0 (settings applied): the page is built again.
  HRESULT OnEvent(const Guid& eventSet, std::int32_t code) override;
  // Copy places the report on the host's clipboard. Print is answered as handled and does nothing: the
  // host offers no printing service for pages yet. Print setup is handled with no action.
  HRESULT ExecuteCommand(std::uint32_t commandId) override;
  HRESULT GetCommandText(std::uint32_t commandId, std::wstring* text) override;
  HRESULT GetPreferredSize(std::int32_t* width, std::int32_t* height) override;
  HRESULT Close() override;

 private:
  ~ReportView() override = default;
  void Rebuild();
  HRESULT Copy();

  ComPtr<ICustomDocument> mDocument;  // keeps the document alive while the view refers to it
  SpiroDocument* mSpiro;
  ComPtr<IHostDocument> mHost;
  ReportTemplates mTemplates;
  std::wstring mReportText;  // the last page built, or the message shown instead
};

}  // namespace Spirometry
