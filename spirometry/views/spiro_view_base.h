#pragma once
// What the data window and the flow-volume plot share: the document they show, the three notifications
// that update them, the host's Copy (a picture of the view's printout), Print and Print Preview commands,
// and the widget the desktop host shows. The widget is made when the host first asks for it, so that a
// view also works where there are no windows (the command line).
#include <QPointer>
#include <QWidget>
#include <string>

#include "host/com/com_object.h"
#include "host/frame/icustom_document.h"
#include "host/frame/idoc_view.h"
#include "host/frame/ihost_document.h"
#include "host/ui/iprintout.h"
#include "host/ui/iview_window.h"

namespace Spirometry {

class SpiroDocument;

// Menu texts of the host commands and the view's name, per view class.
struct SpiroViewTexts {
  const wchar_t* copy;
  const wchar_t* print;
  int nameString;  // the view's display name in the string table
};

class SpiroViewBase : public ComObject<IDocView, IViewWindow> {
 public:
  SpiroViewBase(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host,
                const SpiroViewTexts& texts);

  // Runs a pending analysis and shows the current one.
  HRESULT Setup() override;
  // Host document events 0 and 4 and the document's own event 0 update the view.
  HRESULT OnEvent(const Guid& eventSet, std::int32_t code) override;
  HRESULT ExecuteCommand(std::uint32_t commandId) override;
  HRESULT GetCommandText(std::uint32_t commandId, std::wstring* text) override;
  HRESULT GetPreferredSize(std::int32_t* width, std::int32_t* height) override;
  HRESULT Close() override;
  HRESULT GetWidget(QWidget** widget) override;
  HRESULT GetTitle(std::wstring* title) override;

  // A new printout of the view's page (one reference for the caller).
  virtual ComPtr<IPrintout> MakePrintout() = 0;
  SpiroDocument* Document() const { return mSpiro; }
  // The size a picture of the view has: the widget's, or the preferred size without one.
  QSize PictureSize() const;

 protected:
  ~SpiroViewBase() override;
  virtual QWidget* CreateWidget() = 0;
  // Reads the document again and repaints.
  virtual void Update() = 0;
  QWidget* Widget() const { return mWidget.data(); }

 private:
  HRESULT Copy();
  HRESULT Print(bool preview);

  ComPtr<ICustomDocument> mDocument;  // keeps the document alive while the view refers to it
  SpiroDocument* mSpiro;
  ComPtr<IHostDocument> mHost;
  SpiroViewTexts mTexts;
  QPointer<QWidget> mWidget;
};

inline constexpr std::int32_t kSpiroViewPreferredWidth = 900, kSpiroViewPreferredHeight = 600;

}  // namespace Spirometry
