#pragma once
// The desktop host's services as the extension reaches them (by QueryInterface on IHostDocument): the view
// host, printing, modal dialogs, help, timers and the browser engine, over the parts that carry them.
#include <filesystem>
#include <memory>

#include "host/com/com_object.h"
#include "host/ui/dialog_runner.h"
#include "host/ui/help_service.h"
#include "host/ui/ibrowser_service.h"
#include "host/ui/idialog_runner.h"
#include "host/ui/ihelp_service.h"
#include "host/ui/iprint_service.h"
#include "host/ui/itimer_service.h"
#include "host/ui/iview_host.h"
#include "host/ui/print_service.h"
#include "host/ui/timer_service.h"
#include "host/ui/view_host.h"

class QMdiArea;
class QWidget;

namespace kymora::ui {

class DesktopServices final
    : public ComObject<IViewHost, IPrintService, IDialogRunner, IHelpService, ITimerService, IBrowserService> {
 public:
  // The workspace that shows views, the window that parents dialogs, the help folder.
  DesktopServices(QMdiArea* area, QWidget* mainWindow, std::filesystem::path helpRoot);

  // Connects the services to a host document's frame, or (null) lets go of the current one: its views lose
  // their sub-windows and its timers stop.
  void Attach(DocumentFrame* frame);
  // The browser engine that makes the windows of pages. The program that shows pages brings it, so that
  // these services (and the command line, which draws with them) do not carry the engine.
  void SetBrowser(ComPtr<IBrowserService> browser) { mBrowser = std::move(browser); }

  DialogRunner& Dialogs() { return mDialogs; }
  ViewHost& Views() { return mViews; }
  PrintService& Printing() { return mPrinting; }
  HelpService& Help() { return mHelp; }
  TimerService& Timers() { return mTimers; }

  // IViewHost
  HRESULT SetViewTitle(IDocView* view, const wchar_t* title) override;
  HRESULT ActivateView(IDocView* view) override;
  HRESULT CloseView(IDocView* view) override;
  // IPrintService
  HRESULT Print(IPrintout* printout) override;
  HRESULT PrintPreview(IPrintout* printout) override;
  HRESULT PageSetup() override;
  HRESULT PrintToPdf(IPrintout* printout, const wchar_t* path) override;
  // IDialogRunner
  HRESULT RunModal(QDialog* dialog, std::int32_t* result) override;
  // IHelpService
  HRESULT ShowHelp(const wchar_t* helpFile, const wchar_t* topic) override;
  // ITimerService
  HRESULT SetTimer(ITimerSink* sink, std::uint32_t milliseconds, Bool16 repeat, std::uint32_t* timerId) override;
  HRESULT KillTimer(std::uint32_t timerId) override;
  // IBrowserService
  HRESULT CreateHtmlWindow(IHtmlWindow** window) override;

 private:
  ~DesktopServices() override;

  DialogRunner mDialogs;
  ViewHost mViews;
  PrintService mPrinting;
  HelpService mHelp;
  TimerService mTimers;
  ComPtr<IBrowserService> mBrowser;
};

}  // namespace kymora::ui
