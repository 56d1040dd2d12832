#pragma once
// The set-up dialog of the volume calculation: the flow channel, the volume correction (dead space, the
// volume ratio typed or computed from the selection by normal breaths or a full expiration) and the reset
// at the end of each expiration. On OK the edited values go into the settings it was given.
#include <QDialog>
#include <optional>

#include "host/frame/ihost_document.h"
#include "spirometry/calc/sp_vol_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Spirometry {

class SpVolDlg final : public QDialog {
 public:
  SpVolDlg(IHostDocument* host, std::int32_t channel, SpVolSettings& settings, QWidget* parent = nullptr);

  // The ratio computed from the selection, or nothing when the selection does not allow one.
  std::optional<double> CalculatedRatio() const { return mCalculated; }

  void accept() override;

 private:
  void CorrectionChanged();
  void Recompute();
  void ApplyCalculated();
  // The edit's value checked against the current range: marks it, and tells the user when asked to.
  bool Check(QLineEdit* edit, double low, double high, bool tell, double* value);
  double DeadSpaceLow() const;
  double DeadSpaceHigh() const;
  double RatioLow() const;
  double RatioHigh() const;

  IHostDocument* mHost;
  SpVolSettings& mSettings;
  std::int32_t mChannel;
  std::optional<double> mCalculated;
  bool mRatioEdited = false;
  QComboBox* mSource;
  QCheckBox* mCorrection;
  QLineEdit* mDeadSpace;
  QRadioButton* mNormal;
  QRadioButton* mFull;
  QLabel* mCalculatedText;
  QPushButton* mApply;
  QLineEdit* mRatio;
  QLabel* mWarning;
  QCheckBox* mReset;
};

}  // namespace Spirometry
