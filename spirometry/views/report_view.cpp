#include "spirometry/views/report_view.h"

#include <new>

#include "host/frame/document_events.h"
#include "host/ui/ibrowser_service.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/extension/frame_classes.h"
#include "spirometry/resources/string_table.h"
#include "spirometry/views/report_clipboard.h"
#include "spirometry/views/view_class.h"

namespace Spirometry {

namespace {

FrameClassRegistration gReportViewClass(FrameClass::kReportView,
                                        &SpiroViewClass<ReportView, kReportViewClassId, kStringReportViewName>::Create);
}  // namespace

ReportView::ReportView(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host)
    : mDocument(std::move(document)), mSpiro(spiro), mHost(std::move(host)) {
  if (!mHost && mSpiro) mHost = ComPtr<IHostDocument>(mSpiro->Host());
}

HRESULT ReportView::Setup() {
  if (!mSpiro) return E_FAIL;
  try {
    mSpiro->RunAnalysisIfOutOfDate();
    mTemplates = ReportTemplates::FromResources();
    if (auto browser = mHost ? mHost.As<IBrowserService>() : ComPtr<IBrowserService>())
      browser->CreateHtmlWindow(mWindow.Put());
    Rebuild();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

void ReportView::Rebuild() {
  mReportText = BuildReport(*mSpiro, mTemplates, SharedNumberLocale(), &mIsPage);
  if (!mWindow) return;
  if (mIsPage)
    mWindow->ShowPage(mReportText.c_str());
  else
    mWindow->ShowText(mReportText.c_str());
}

HRESULT ReportView::OnEvent(const Guid& eventSet, std::int32_t code) {
  const bool hostChange =
      eventSet == HostEvents::kDocumentEventSet && (code == HostEvents::kChanged || code == HostEvents::kRecalculate);
  const bool settingsChange = eventSet == kSpiroDocumentGuid && code == 0;
  if (!hostChange && !settingsChange) return S_FALSE;
  if (!mSpiro) return E_FAIL;
  try {
    Rebuild();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT ReportView::Copy() {
  if (!mHost) return E_FAIL;
  ComPtr<IClipboard> clipboard = mHost.As<IClipboard>();
  if (!clipboard) return E_FAIL;
  std::uintptr_t owner = 0;
  if (Failed(mHost->GetHostWindow(&owner))) owner = 0;
  const HRESULT placed = CopyReportToClipboard(clipboard.Get(), owner, mReportText);
  // Text without the HTML form is still a copy; S_FALSE would tell the host the command was not ours.
  return Failed(placed) ? placed : S_OK;
}

HRESULT ReportView::Print(bool preview) {
  if (!mWindow) return S_OK;  // nothing is shown, so there is nothing to print
  const std::wstring title = LoadString(kStringReportViewName);
  const HRESULT hr = preview ? mWindow->PrintPreview(title.c_str()) : mWindow->Print(title.c_str());
  return Failed(hr) ? hr : S_OK;
}

HRESULT ReportView::ExecuteCommand(std::uint32_t commandId) {
  try {
    switch (commandId) {
      case HostCommands::kCopy:
        return Copy();
      case HostCommands::kPrint:
        return Print(false);
      case HostCommands::kPrintPreview:
        return Print(true);
      case HostCommands::kPrintSetup:
        return S_OK;
      default:
        return S_FALSE;
    }
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT ReportView::GetCommandText(std::uint32_t commandId, std::wstring* text) {
  if (!text) return E_POINTER;
  try {
    switch (commandId) {
      case HostCommands::kCopy:
        *text = kCopyReportText;
        return S_OK;
      case HostCommands::kPrint:
        *text = kPrintReportText;
        return S_OK;
      default:
        return S_FALSE;
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ReportView::GetPreferredSize(std::int32_t* width, std::int32_t* height) {
  if (!width || !height) return E_POINTER;
  *width = kReportPreferredWidth;
  *height = kReportPreferredHeight;
  return S_OK;
}

HRESULT ReportView::Close() {
  mWindow.Reset();  // the host has taken the widget out of its sub-window
  mSpiro = nullptr;
  mDocument.Reset();
  mHost.Reset();
  mReportText.clear();
  return S_OK;
}

HRESULT ReportView::GetWidget(QWidget** widget) {
  if (!widget) return E_POINTER;
  *widget = nullptr;
  return mWindow ? mWindow->GetWidget(widget) : E_FAIL;
}

HRESULT ReportView::GetTitle(std::wstring* title) {
  if (!title) return E_POINTER;
  try {
    *title = LoadString(kStringReportViewName);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Spirometry
