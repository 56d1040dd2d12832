#pragma once
// "Spirometry Settings": the document's analysis settings (channels, detection level, forced-expiration
// threshold, non-forced breaths in the report, flow units and noise floor), with a preview of the breaths
// that the detectors find on the current selection for the values being edited. It works on a copy; the
// document takes the values when the dialog is confirmed.
#include <QDialog>
#include <vector>

#include "spirometry/document/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QTimer;

namespace Spirometry {

class SpiroDocument;
class SPPreview;

// The track bar's table: position k stands for (k + 1) x 0.01 % of the full range, k = 0 ... 999.
inline constexpr int kDetectionPositions = 1000;
double DetectionLevelAt(int position);
// The position whose value is nearest the level (a tie goes to the higher one).
int DetectionLevelPosition(double level);

class SpiroConfigDlg final : public QDialog {
 public:
  SpiroConfigDlg(SpiroDocument& document, SpConfig& settings, const std::vector<std::int32_t>& flowChannels,
                 const std::vector<std::int32_t>& volumeChannels, QWidget* parent = nullptr);

  SPPreview* Preview() const { return mPreview; }
  // The preview waits a second after the detection level last moved; true while it waits.
  bool PreviewPending() const;
  // Recomputes the preview now (what the timer does).
  void RefreshPreview();

  void accept() override;

 private:
  QWidget* BuildSources(const std::vector<std::int32_t>& flowChannels, const std::vector<std::int32_t>& volumeChannels);
  QWidget* BuildDetection();
  void LevelTyped();
  void LevelSlid(int position);
  void StepLevel(int steps);
  void StepThreshold(int steps);
  void UnitsChanged();
  // Marks the fields whose values are out of range; true when all are in range.
  bool CheckFields();
  std::int32_t Prefix() const;

  SpiroDocument& mDocument;
  SpConfig& mSettings;
  bool mSyncing = false;
  std::int32_t mShownPrefix;
  SPPreview* mPreview;
  QTimer* mTimer;
  QComboBox* mFlow;
  QComboBox* mVolume;
  QComboBox* mUnits;
  QCheckBox* mClamp;
  QLineEdit* mNoiseFloor;
  QLabel* mNoiseUnits;
  QLabel* mNoiseMark;
  QLineEdit* mLevel;
  QCheckBox* mAuto;
  QSlider* mSlider;
  QLabel* mLevelMark;
  QLineEdit* mThreshold;
  QLabel* mThresholdMark;
  QCheckBox* mNonForced;
  QCheckBox* mStandard;  // the standard's section of the report
};

}  // namespace Spirometry
