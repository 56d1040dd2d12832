#include "host/ui/desktop_services.h"

#include <QDialog>

#include "host/com/text.h"
#include "host/ui/message_box.h"

namespace kymora::ui {

DesktopServices::DesktopServices(QMdiArea* area, QWidget* mainWindow, std::filesystem::path helpRoot)
    : mViews(area), mPrinting(mDialogs), mHelp(std::move(helpRoot)) {
  mDialogs.SetMainWindow(mainWindow);
}

DesktopServices::~DesktopServices() = default;

void DesktopServices::Attach(DocumentFrame* frame) {
  mTimers.KillAll();
  mViews.Attach(frame);
}

HRESULT DesktopServices::SetViewTitle(IDocView* view, const wchar_t* title) {
  if (!view) return E_INVALIDARG;
  return mViews.SetTitle(view, title);
}

HRESULT DesktopServices::ActivateView(IDocView* view) {
  if (!view) return E_INVALIDARG;
  return mViews.Activate(view);
}

HRESULT DesktopServices::CloseView(IDocView* view) {
  if (!view) return E_INVALIDARG;
  return mViews.RequestClose(view);
}

HRESULT DesktopServices::Print(IPrintout* printout) {
  try {
    return mPrinting.Print(printout);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DesktopServices::PrintPreview(IPrintout* printout) {
  try {
    return mPrinting.Preview(printout);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DesktopServices::PageSetup() {
  try {
    return mPrinting.PageSetup();
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DesktopServices::PrintToPdf(IPrintout* printout, const wchar_t* path) {
  if (!printout || !path) return E_POINTER;
  try {
    return mPrinting.ToPdf(printout, ToUtf8(path)) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DesktopServices::RunModal(QDialog* dialog, std::int32_t* result) {
  if (result) *result = kDialogRejected;
  if (!dialog) return E_INVALIDARG;
  try {
    const int code = mDialogs.Run(dialog);
    if (result) *result = code == QDialog::Accepted ? kDialogAccepted : kDialogRejected;
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DesktopServices::ShowHelp(const wchar_t* helpFile, const wchar_t* topic) {
  if (!helpFile) return E_INVALIDARG;
  try {
    return mHelp.Show(helpFile, topic ? topic : L"");
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DesktopServices::SetTimer(ITimerSink* sink, std::uint32_t milliseconds, Bool16 repeat, std::uint32_t* timerId) {
  if (timerId) *timerId = 0;
  if (!sink || !timerId) return E_INVALIDARG;
  try {
    *timerId = mTimers.Set(sink, milliseconds, repeat != kFalse16);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DesktopServices::CreateHtmlWindow(IHtmlWindow** window) {
  if (!window) return E_POINTER;
  *window = nullptr;
  return mBrowser ? mBrowser->CreateHtmlWindow(window) : E_NOTIMPL;
}

HRESULT DesktopServices::KillTimer(std::uint32_t timerId) { return mTimers.Kill(timerId) ? S_OK : S_FALSE; }

}  // namespace kymora::ui
