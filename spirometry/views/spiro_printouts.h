#pragma once
// The pages of the data window and the flow-volume plot for printing, print preview and pictures: each
// reads the document's analysis when its page is drawn and draws it with the views' drawing, scaled to
// the device.
#include <string>

#include "host/com/com_object.h"
#include "host/frame/icustom_document.h"
#include "host/ui/iprintout.h"

namespace Spirometry {

class SpiroDocument;

class SpiroPrintOutBase : public ComObject<IPrintout> {
 public:
  HRESULT GetTitle(std::wstring* title) override;
  HRESULT GetPageCount(std::int32_t* count) override;
  HRESULT PrintPage(std::int32_t page, QPainter* painter, const PrintArea* area) override;

 protected:
  SpiroPrintOutBase(ComPtr<ICustomDocument> document, SpiroDocument* spiro, int titleString);
  virtual void RenderPage(QPainter& painter, const PrintArea& area) = 0;

  ComPtr<ICustomDocument> mDocument;  // keeps the document alive while the printout exists
  SpiroDocument* mSpiro;
  std::wstring mTitle;
};

// Flow and volume against time.
class SpiroDataPrintOut final : public SpiroPrintOutBase {
 public:
  SpiroDataPrintOut(ComPtr<ICustomDocument> document, SpiroDocument* spiro);

 protected:
  void RenderPage(QPainter& painter, const PrintArea& area) override;
};

// Flow against volume.
class SpiroXYPrintOut final : public SpiroPrintOutBase {
 public:
  SpiroXYPrintOut(ComPtr<ICustomDocument> document, SpiroDocument* spiro);

 protected:
  void RenderPage(QPainter& painter, const PrintArea& area) override;
};

}  // namespace Spirometry
