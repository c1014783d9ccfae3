#pragma once
// The lab's settings: the decision rule its verdicts are stated by, the fields it
// requires before Point 1, and for the plugged sensor's model each row's
// tolerance and the model's calibration interval. The bench reads and keeps them;
// this window only shows and edits them.

#include <QDialog>
#include <vector>

#include "app/calibration_dialog.h"
#include "platform/registry.h"
#include "platform/window_controls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace trimwell {

class LabSettingsWindow : public QDialog {
 public:
  // settings: where the model's tolerances and interval are read from (the bench
  // keeps them there too); refusals are told through controls.
  LabSettingsWindow(CalibrationDialog& dialog, WindowControls& controls, QWidget* parent = nullptr);

  QComboBox* rule() const { return rule_; }
  QCheckBox* unitRequired() const { return unitRequired_; }
  QCheckBox* conditionsRequired() const { return conditionsRequired_; }
  // The tolerance field of the session's row, or nullptr for a row not shown.
  QLineEdit* tolerance(int row) const;
  QSpinBox* interval() const { return interval_; }
  // What Save does: false, the messages shown, when anything was refused (what
  // was accepted is kept all the same).
  bool save();

 private:
  QWidget* buildModel();
  bool saveModel(std::string& problems);

  CalibrationDialog& dialog_;
  WindowControls& controls_;
  QComboBox* rule_ = nullptr;
  QCheckBox* unitRequired_ = nullptr;
  QCheckBox* conditionsRequired_ = nullptr;
  std::vector<std::pair<int, QLineEdit*>> tolerances_;  // session row, field
  QSpinBox* interval_ = nullptr;
};

}  // namespace trimwell
