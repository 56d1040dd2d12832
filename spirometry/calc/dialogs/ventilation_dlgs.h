#pragma once
// The set-up dialogs of the tidal-volume and minute-ventilation calculations: the flow channel they are
// worked out from, and the expiratory-only flag or the update interval. On OK the edited values go into the
// settings they were given.
#include <QDialog>

#include "host/frame/ihost_document.h"
#include "spirometry/calc/ventilation_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace Spirometry {

class SpTidalVolCalculationDialog final : public QDialog {
 public:
  SpTidalVolCalculationDialog(IHostDocument* host, std::int32_t channel, SpTidalVolSettings& settings,
                              QWidget* parent = nullptr);
  void accept() override;

 private:
  SpTidalVolSettings& mSettings;
  QComboBox* mSource;
  QCheckBox* mExpiratory;
};

class SpMinVentCalculationDialog final : public QDialog {
 public:
  SpMinVentCalculationDialog(IHostDocument* host, std::int32_t channel, SpMinVentSettings& settings,
                             QWidget* parent = nullptr);
  // An interval that is not a number from 0 to 10000 s is refused and the dialog stays open.
  void accept() override;

 private:
  IHostDocument* mHost;
  SpMinVentSettings& mSettings;
  QComboBox* mSource;
  QLineEdit* mInterval;
};

}  // namespace Spirometry
