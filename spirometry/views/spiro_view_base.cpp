#include "spirometry/views/spiro_view_base.h"

#include "host/frame/document_events.h"
#include "host/frame/iclipboard.h"
#include "host/ui/iclipboard_picture.h"
#include "host/ui/iprint_service.h"
#include "spirometry/document/ispiro_document.h"
#include "spirometry/document/spiro_document.h"
#include "spirometry/resources/string_table.h"

namespace Spirometry {

namespace {
constexpr int kStringClipboardBusy = 34, kStringError = 35;
constexpr std::uint32_t kErrorStyle = 0x10;
}  // namespace

SpiroViewBase::SpiroViewBase(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host,
                             const SpiroViewTexts& texts)
    : mDocument(std::move(document)), mSpiro(spiro), mHost(std::move(host)), mTexts(texts) {
  if (!mHost && mSpiro) mHost = ComPtr<IHostDocument>(mSpiro->Host());
}

SpiroViewBase::~SpiroViewBase() { delete mWidget.data(); }

HRESULT SpiroViewBase::Setup() {
  if (!mSpiro) return E_FAIL;
  try {
    mSpiro->RunAnalysisIfOutOfDate();
    Update();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroViewBase::OnEvent(const Guid& eventSet, std::int32_t code) {
  const bool hostChange =
      eventSet == HostEvents::kDocumentEventSet && (code == HostEvents::kChanged || code == HostEvents::kRecalculate);
  const bool settingsChange = eventSet == kSpiroDocumentGuid && code == 0;
  if (!hostChange && !settingsChange) return S_FALSE;
  if (!mSpiro) return E_FAIL;
  try {
    Update();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

QSize SpiroViewBase::PictureSize() const {
  if (mWidget && mWidget->width() > 0 && mWidget->height() > 0) return mWidget->size();
  return {kSpiroViewPreferredWidth, kSpiroViewPreferredHeight};
}

HRESULT SpiroViewBase::Copy() {
  if (!mHost) return E_FAIL;
  ComPtr<IClipboard> clipboard = mHost.As<IClipboard>();
  if (!clipboard) return E_FAIL;
  ComPtr<IClipboardPicture> pictures = clipboard.As<IClipboardPicture>();
  if (!pictures) return E_NOTIMPL;  // a clipboard without pictures (the command line's) has no place for it
  std::uintptr_t owner = 0;
  if (Failed(mHost->GetHostWindow(&owner))) owner = 0;
  if (Failed(clipboard->Open(owner))) {
    mHost->ShowMessageBox(LoadString(kStringClipboardBusy).c_str(), LoadString(kStringError).c_str(), kErrorStyle);
    return S_OK;  // handled: the user has been told
  }
  clipboard->Empty();
  const QSize size = PictureSize();
  ComPtr<IPrintout> printout = MakePrintout();
  const HRESULT placed = printout ? pictures->SetPicture(printout.Get(), size.width(), size.height()) : E_OUTOFMEMORY;
  clipboard->Close();
  return Failed(placed) ? placed : S_OK;
}

HRESULT SpiroViewBase::Print(bool preview) {
  if (!mHost) return E_FAIL;
  ComPtr<IPrintService> printing = mHost.As<IPrintService>();
  if (!printing) return S_OK;  // handled: this host prints nothing
  ComPtr<IPrintout> printout = MakePrintout();
  if (!printout) return E_OUTOFMEMORY;
  const HRESULT hr = preview ? printing->PrintPreview(printout.Get()) : printing->Print(printout.Get());
  return Failed(hr) ? hr : S_OK;
}

HRESULT SpiroViewBase::ExecuteCommand(std::uint32_t commandId) {
  try {
    switch (commandId) {
      case HostCommands::kCopy:
        return Copy();
      case HostCommands::kPrint:
        return Print(false);
      case HostCommands::kPrintPreview:
        return Print(true);
      default:
        return S_FALSE;
    }
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroViewBase::GetCommandText(std::uint32_t commandId, std::wstring* text) {
  if (!text) return E_POINTER;
  try {
    switch (commandId) {
      case HostCommands::kCopy:
        *text = mTexts.copy;
        return S_OK;
      case HostCommands::kPrint:
        *text = mTexts.print;
        return S_OK;
      default:
        return S_FALSE;
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SpiroViewBase::GetPreferredSize(std::int32_t* width, std::int32_t* height) {
  if (!width || !height) return E_POINTER;
  *width = kSpiroViewPreferredWidth;
  *height = kSpiroViewPreferredHeight;
  return S_OK;
}

HRESULT SpiroViewBase::Close() {
  delete mWidget.data();
  mSpiro = nullptr;
  mDocument.Reset();
  mHost.Reset();
  return S_OK;
}

HRESULT SpiroViewBase::GetWidget(QWidget** widget) {
  if (!widget) return E_POINTER;
  *widget = nullptr;
  if (!mSpiro) return E_FAIL;
  try {
    if (!mWidget) mWidget = CreateWidget();  // shows what the last update read
    *widget = mWidget.data();
    return *widget ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SpiroViewBase::GetTitle(std::wstring* title) {
  if (!title) return E_POINTER;
  try {
    *title = LoadString(mTexts.nameString);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Spirometry
