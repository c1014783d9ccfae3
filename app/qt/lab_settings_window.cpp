#include "app/qt/lab_settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "datasheet/text.h"

namespace trimwell {
namespace {

constexpr metrology::DecisionRule kRules[] = {metrology::DecisionRule::kSimple, metrology::DecisionRule::kGuarded,
                                              metrology::DecisionRule::kNonBinary};

}  // namespace

LabSettingsWindow::LabSettingsWindow(CalibrationDialog& dialog, WindowControls& controls, QWidget* parent)
    : QDialog(parent), dialog_(dialog), controls_(controls) {
  setWindowTitle(QStringLiteral("Lab settings"));
  setObjectName(QStringLiteral("labSettingsWindow"));
  const LabSettings& lab = dialog_.labBench().settings();
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  rule_ = new QComboBox(this);
  rule_->setObjectName(QStringLiteral("decisionRule"));
  for (metrology::DecisionRule r : kRules) {
    rule_->addItem(QString::fromUtf8(metrology::ruleTitle(r)), static_cast<int>(r));
    if (r == lab.rule) rule_->setCurrentIndex(rule_->count() - 1);
  }
  form->addRow(QStringLiteral("Decision rule"), rule_);
  unitRequired_ = new QCheckBox(QStringLiteral("Unit required before Point 1"), this);
  unitRequired_->setChecked(lab.unitRequired);
  conditionsRequired_ = new QCheckBox(QStringLiteral("Ambient conditions required"), this);
  conditionsRequired_->setChecked(lab.conditionsRequired);
  form->addRow(unitRequired_);
  form->addRow(conditionsRequired_);
  top->addLayout(form);
  top->addWidget(buildModel());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (save()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
}

// Tolerances and the interval belong to a model: they are offered for the sensor
// plugged in, as the rows it brings.
QWidget* LabSettingsWindow::buildModel() {
  const CalibrationSession& s = dialog_.session();
  if (s.currentDatasheet == nullptr) {
    return new QLabel(QStringLiteral("Plug a sensor in to set its model's tolerances and calibration interval."), this);
  }
  const int sensorId = s.currentDatasheet->sensorId;
  auto* box = new QGroupBox(QStringLiteral("Sensor %1, %2").arg(sensorId).arg(
                                QString::fromStdString(toUtf8(s.currentDatasheet->name.text))),
                            this);
  auto* form = new QFormLayout(box);
  for (int i = 0; i < s.rowCount && i < kCalibrationRows; ++i) {
    const Measurement* m = s.rows[static_cast<std::size_t>(i)].measurement;
    if (m == nullptr) continue;
    auto* edit = new QLineEdit(QString::fromStdString(toleranceText(dialog_.labBench().tolerance(i))), box);
    edit->setObjectName(QStringLiteral("tolerance%1").arg(i));
    edit->setToolTip(QStringLiteral("none, reading A B (\u00b1 A + B % of reading) or span P (\u00b1 P % of span)"));
    tolerances_.emplace_back(i, edit);
    form->addRow(QStringLiteral("Row %1, %2 tolerance").arg(i + 1).arg(QString::fromStdString(toUtf8(m->primaryText.text))),
                 edit);
  }
  interval_ = new QSpinBox(box);
  interval_->setObjectName(QStringLiteral("calibrationInterval"));
  interval_->setRange(0, 100 * 365);
  interval_->setSuffix(QStringLiteral(" days"));
  interval_->setSpecialValueText(QStringLiteral("none"));
  interval_->setValue(dialog_.labBench().interval());
  form->addRow(QStringLiteral("Calibration interval"), interval_);
  return box;
}

QLineEdit* LabSettingsWindow::tolerance(int row) const {
  for (const auto& [i, edit] : tolerances_) {
    if (i == row) return edit;
  }
  return nullptr;
}

bool LabSettingsWindow::saveModel(std::string& problems) {
  const CalibrationSession& s = dialog_.session();
  if (s.currentDatasheet == nullptr) return true;
  // Each row on its own: a refused tolerance keeps the row's old one, and the
  // others still go in.
  for (const auto& [row, edit] : tolerances_) {
    std::string problem;
    if (!dialog_.labBench().setTolerance(row, edit->text().trimmed().toStdString(), problem)) {
      const Measurement* m = s.rows[static_cast<std::size_t>(row)].measurement;
      problems += "Row " + std::to_string(row + 1) + (m != nullptr ? ", " + toUtf8(m->primaryText.text) : "") +
                  ": " + problem + "\n";
    }
  }
  if (!dialog_.labBench().setInterval(s.currentDatasheet->sensorId, interval_->value())) {
    problems += "The calibration interval could not be kept in the station's settings\n";
  }
  return problems.empty();
}

bool LabSettingsWindow::save() {
  LabSettings& lab = dialog_.labBench().settings();
  lab.rule = static_cast<metrology::DecisionRule>(rule_->currentData().toInt());
  lab.unitRequired = unitRequired_->isChecked();
  lab.conditionsRequired = conditionsRequired_->isChecked();
  std::string problems;
  if (!dialog_.labBench().saveSettings()) problems += "The lab settings could not be kept in the station's settings\n";
  saveModel(problems);
  dialog_.labBench().refresh();  // the verdicts shown follow the rule and tolerances
  if (problems.empty()) return true;
  problems.pop_back();
  controls_.messageBox(problems);
  return false;
}

}  // namespace trimwell
