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
class QLabel;
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
  // A row's tolerance as a form: its kind, then A and B in their units, or P and
  // the model's calibrated range whose span it is a part of.
  struct ToleranceForm {
    int row = 0;
    QComboBox* kind = nullptr;
    QLineEdit* a = nullptr;  // A in the row's unit, or P in % of span
    QLineEdit* b = nullptr;  // B in % of the reading
    QLabel* aUnit = nullptr;
    QLabel* bUnit = nullptr;
    QLineEdit* low = nullptr;  // the calibrated range, in the row's unit
    QLineEdit* high = nullptr;
    QLabel* to = nullptr;
    QLabel* rangeUnit = nullptr;
    std::string unit;  // the row's
  };
  // The tolerance form of the session's row, or nullptr for a row not shown.
  const ToleranceForm* tolerance(int row) const;
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
  void showKind(const ToleranceForm& form);
  QWidget* buildTolerance(int row, const std::string& unit, QWidget* parent);
  static std::string toleranceOf(const ToleranceForm& form, std::string& problem);

  std::vector<ToleranceForm> tolerances_;
  QSpinBox* interval_ = nullptr;
};

}  // namespace trimwell
