#pragma once
// The settings dialog's preview: the flow of the current selection with the breaths that the detectors
// find for the values being edited. The breaths come from the host's expression engine, over a volume
// integrated on the fly from the edited flow channel, so that what is shown does not wait for the
// document's own volume channel to be set up.
#include <QWidget>
#include <string>
#include <vector>

#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"
#include "spirometry/document/breath.h"

namespace Spirometry {

// The preview's expression: SPEEVol(SpVol(Ch<flow>, 0, 0, 1), SPEEFlow(Ch<flow>, H)) (the volume without
// correction, which does not move a breath), channels one-based, the height in the classic locale.
std::wstring PreviewExpressionText(std::int32_t flowChannel, double height);

// The breaths of an event expression over a stretch of one block; false when it cannot be evaluated.
bool DetectBreaths(IChannelData* data, const std::wstring& text, std::int32_t flowChannel, DataPosition start,
                   DataPosition end, std::vector<Breath>* breaths);

class SPPreview final : public QWidget {
 public:
  explicit SPPreview(QWidget* parent = nullptr);

  // The flow to draw (L/s, one block from the selection's start) and the breaths found over it.
  void Show(std::vector<float> flow, std::int32_t startTick, std::vector<Breath> breaths);
  void Clear();
  const std::vector<Breath>& Breaths() const { return mBreaths; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<float> mFlow;
  std::int32_t mStartTick = 0;
  std::vector<Breath> mBreaths;
};

}  // namespace Spirometry
