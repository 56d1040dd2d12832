#pragma once
// Flow head calibration: the head scale of a flow head from a known volume pushed through it. The user
// selects the raw flow-head voltage recorded while a calibration syringe was emptied and types the
// syringe's volume; the head scale is that volume over the time integral of the voltage. Either edit may
// be typed: the other follows.
#include <QDialog>
#include <QWidget>
#include <vector>

#include "host/frame/ihost_document.h"
#include "spirometry/calc/calibrate_base.h"

class QLabel;
class QLineEdit;

namespace Spirometry {

// The selected samples and their running integral against the sample index.
class FlowCalGraph final : public QWidget {
 public:
  explicit FlowCalGraph(QWidget* parent = nullptr);
  void SetData(std::vector<float> samples, std::vector<float> running);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<float> mSamples;
  std::vector<float> mRunning;
};

class FlowCalDlg final : public QDialog {
 public:
  // headScale: the caller's head scale in L/s per V; on OK it holds the value last computed (on Cancel the
  // caller restores its own copy). prefixCode: the output units prefix code the edits are shown in.
  FlowCalDlg(IHostDocument* host, std::int32_t channel, std::int32_t ownChannel, double* headScale,
             std::int32_t prefixCode, QWidget* parent = nullptr);

  QLineEdit* VolumeEdit() const { return mVolume; }
  QLineEdit* HeadScaleEdit() const { return mScale; }
  QLabel* Status() const { return mStatus; }
  bool SelectionValid() const { return mValid; }
  float Integral() const { return mReader.Integral(); }

 private:
  void SetUp();
  void VolumeChanged();
  void HeadScaleChanged();
  void Write(QLineEdit* edit, double value);

  ComPtr<IHostDocument> mHost;
  ComPtr<IChannelData> mData;
  CalibrateBase mReader;
  double* mHeadScale;
  double mFactor = 1.0;
  std::int32_t mPrefixCode;
  bool mValid = false;
  bool mUpdating = false;
  QLineEdit* mVolume;
  QLineEdit* mScale;
  QLabel* mFormula;
  QLabel* mStatus;
  FlowCalGraph* mGraph;
};

}  // namespace Spirometry
