#pragma once
// The report view of a spirometry document: the analysis as an HTML page, rebuilt in full on every
// notification, copied to the clipboard as text and as "HTML Format". A host with a browser engine gives
// the view a browser window, which shows and prints the page; elsewhere (the command line) the view has
// no window and the page is taken through the Copy command.
#include <string>

#include "host/com/com_object.h"
#include "host/frame/icustom_document.h"
#include "host/frame/idoc_view.h"
#include "host/frame/ihost_document.h"
#include "host/ui/ihtml_window.h"
#include "host/ui/iview_window.h"
#include "spirometry/views/report_builder.h"

namespace Spirometry {

inline constexpr wchar_t kCopyReportText[] = L"&Copy Spirometry Report";
inline constexpr wchar_t kPrintReportText[] = L"&Print Spirometry Report";
inline constexpr std::int32_t kReportPreferredWidth = 300, kReportPreferredHeight = 200;

class ReportView final : public ComObject<IDocView, IViewWindow> {
 public:
  ReportView(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host);

  // Runs a pending analysis, loads the templates, builds the page and shows it in a browser window when
  // the host has a browser engine.
  HRESULT Setup() override;
  // Host document events 0 (selection or data changed) and 4 (detect again), and the document's own
  // event 0 (settings applied): the page is built again.
  HRESULT OnEvent(const Guid& eventSet, std::int32_t code) override;
  // Copy places the report on the host's clipboard. Print and Print Preview go to the browser window
  // (handled with no action where there is none). Print setup is handled with no action.
  HRESULT ExecuteCommand(std::uint32_t commandId) override;
  HRESULT GetCommandText(std::uint32_t commandId, std::wstring* text) override;
  HRESULT GetPreferredSize(std::int32_t* width, std::int32_t* height) override;
  HRESULT Close() override;
  // The browser window's widget; E_FAIL where the host has no browser engine.
  HRESULT GetWidget(QWidget** widget) override;
  HRESULT GetTitle(std::wstring* title) override;

  // What the view shows: the page, or the message in its place.
  const std::wstring& ReportText() const { return mReportText; }

 private:
  ~ReportView() override = default;
  void Rebuild();
  HRESULT Copy();
  HRESULT Print(bool preview);

  ComPtr<ICustomDocument> mDocument;  // keeps the document alive while the view refers to it
  SpiroDocument* mSpiro;
  ComPtr<IHostDocument> mHost;
  ReportTemplates mTemplates;
  std::wstring mReportText;  // the last page built, or the message shown instead
  bool mIsPage = false;
  ComPtr<IHtmlWindow> mWindow;  // null without a browser engine
};

}  // namespace Spirometry
