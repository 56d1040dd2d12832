#pragma once
// The set-up dialog of the flow calculation: the raw flow-head channel, drift correction, the flow head
// (a preset, or a custom head scale from a calibration), non-linear compensation and the formula that
// results. On OK the edited values go into the settings it was given; the caller applies them.
#include <QDialog>
#include <functional>

#include "host/frame/ihost_document.h"
#include "spirometry/calc/flow_head_presets.h"
#include "spirometry/calc/sp_flow_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QToolButton;

namespace Spirometry {

class SpFlowDlg final : public QDialog {
 public:
  // The calibration run from the dialog: the raw channel, the head scale to edit in place; true on OK.
  using Calibration = std::function<bool(std::int32_t channel, double* headScale)>;

  // channel: the channel the calculation is on. The settings are written only on OK.
  SpFlowDlg(IHostDocument* host, std::int32_t channel, SpFlowSettings& settings, QWidget* parent = nullptr);

  // Replaces the flow head calibration dialog (tests).
  void SetCalibration(Calibration calibration) { mCalibration = std::move(calibration); }
  double HeadScaleOnShow() const { return mHeadScale; }
  QString InformationText() const;
  QString FormulaText() const;

  void accept() override;

 private:
  void HeadChanged(int index);
  // Selects a flow head without treating it as the user's choice.
  void SelectHead(int index);
  void Calibrate();
  void ShowPreset(std::int32_t preset);
  void Update();
  void NoteHeadScale();
  void WarnAboutUnits();

  IHostDocument* mHost;
  SpFlowSettings& mSettings;
  std::int32_t mChannel;
  FlowHeadTable mTable = FlowHeadTable::BuiltIn();
  std::int32_t mLastPreset;
  double mHeadScale;
  double mCoefficient;
  bool mCustom;
  bool mModified = false;
  bool mSelecting = false;
  std::int32_t mPrefixCode;
  Calibration mCalibration;
  QComboBox* mSource;
  QCheckBox* mDrift;
  QComboBox* mHead;
  QToolButton* mInfo;
  QCheckBox* mNonLinear;
  QLabel* mFormula;
};

}  // namespace Spirometry
