#pragma once
// The data window of a spirometry document: flow over volume against time for the analysed stretch, with
// the breaths, their marks, drag scales, a cursor line with its readout, and Copy, Print and Print
// Preview of its page.
#include <memory>

#include "spirometry/views/data_page.h"
#include "spirometry/views/drag_scale.h"
#include "spirometry/views/spiro_graph.h"
#include "spirometry/views/spiro_view_base.h"

namespace Spirometry {

inline constexpr wchar_t kCopyDataText[] = L"&Copy Spirometry Data Window";
inline constexpr wchar_t kPrintDataText[] = L"&Print Spirometry Data Window";

class SpiroDataWidget;

class SpiroDataWnd final : public SpiroViewBase, public IDragScaleObserver {
 public:
  SpiroDataWnd(ComPtr<ICustomDocument> document, SpiroDocument* spiro, ComPtr<IHostDocument> host);

  ComPtr<IPrintout> MakePrintout() override;
  void ScaleChanged(int scaleId, ValueSpan range) override;

  const DataPage& Page() const { return *mPage; }
  SpiroGraph& FlowGraph() { return mFlowGraph; }
  SpiroGraph& VolumeGraph() { return mVolumeGraph; }
  // The mouse over a graph at x (graph pixels), or -1 when it left: cursor lines, readout, and the point
  // on the flow-volume plots.
  void MoveCursor(int x, int graphWidth);

 protected:
  QWidget* CreateWidget() override;
  void Update() override;

 private:
  ~SpiroDataWnd() override;

  std::unique_ptr<DataPage> mPage;  // the graphs point at it
  SpiroFlowGraph mFlowGraph;
  SpiroVolumeGraph mVolumeGraph;
  SpiroDataWidget* mView = nullptr;  // owned by the base as its widget
};

}  // namespace Spirometry
