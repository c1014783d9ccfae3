#include "app/qt/lab_settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "datasheet/text.h"
#include "metrology/standard_entry.h"

namespace trimwell {
namespace {

constexpr metrology::DecisionRule kRules[] = {metrology::DecisionRule::kSimple, metrology::DecisionRule::kGuarded,
                                              metrology::DecisionRule::kNonBinary};

// The kinds as the chooser offers them, in the order of Tolerance::Kind.
constexpr const char* kKinds[] = {"none", "\u00b1 (A + B % of reading)", "\u00b1 P % of span"};

// A number as typed into a tolerance field, with the field's own unit after it or
// not: "0.1 °C" in the row's unit, "2%" in a field of %. Another unit stays, for
// the number to be refused with it.
std::string withoutUnit(QString text, const std::string& unit) {
  text = text.trimmed();
  const QString u = QString::fromStdString(unit);
  if (const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
      space > 0 && metrology::sameUnit(text.mid(space + 1).toStdString(), unit)) {
    text.truncate(space);
  } else if (!u.isEmpty() && text.endsWith(u)) {
    text.chop(u.size());
  }
  return text.trimmed().toStdString();
}

// A field's number, "0" for an empty one; one word, or the field is refused in
// its own words rather than as a tolerance's text.
std::string fieldNumber(const QLineEdit& field, const std::string& unit, const char* name, std::string& problem) {
  const std::string number = withoutUnit(field.text(), unit);
  if (number.find_first_of(" \t") != std::string::npos && problem.empty()) {
    problem = std::string(name) + " \"" + field.text().trimmed().toStdString() + "\" is not a number in " + unit +
              ": type the number alone, such as 0.1";
  }
  return number.empty() ? "0" : number;
}

}  // namespace

LabSettingsWindow::LabSettingsWindow(CalibrationDialog& dialog, WindowControls& controls, QWidget* parent)
    : QDialog(parent), dialog_(dialog), controls_(controls) {
  setWindowTitle(QStringLiteral("Rules and tolerances"));
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
    form->addRow(QStringLiteral("Row %1, %2 tolerance").arg(i + 1).arg(QString::fromStdString(toUtf8(m->primaryText.text))),
                 buildTolerance(i, toUtf8(m->secondaryText.text), box));
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

QWidget* LabSettingsWindow::buildTolerance(int row, const std::string& unit, QWidget* parent) {
  auto* line = new QWidget(parent);
  auto* fields = new QHBoxLayout(line);
  fields->setContentsMargins(0, 0, 0, 0);
  ToleranceForm f{row,
                  new QComboBox(line),
                  new QLineEdit(line),
                  new QLineEdit(line),
                  new QLabel(line),
                  new QLabel(QStringLiteral("% of reading"), line),
                  new QLineEdit(line),
                  new QLineEdit(line),
                  new QLabel(QStringLiteral("to"), line),
                  new QLabel(QString::fromStdString(unit), line),
                  unit};
  for (const char* kind : kKinds) f.kind->addItem(QString::fromUtf8(kind));
  f.kind->setObjectName(QStringLiteral("toleranceKind%1").arg(row));
  f.a->setObjectName(QStringLiteral("toleranceA%1").arg(row));
  f.b->setObjectName(QStringLiteral("toleranceB%1").arg(row));
  f.low->setObjectName(QStringLiteral("rangeLow%1").arg(row));
  f.high->setObjectName(QStringLiteral("rangeHigh%1").arg(row));
  f.low->setToolTip(QStringLiteral("The lower value of the model's calibrated range, in %1").arg(QString::fromStdString(unit)));
  f.high->setToolTip(QStringLiteral("The upper value of the model's calibrated range, in %1").arg(QString::fromStdString(unit)));
  const metrology::Tolerance t = dialog_.labBench().tolerance(row);
  f.kind->setCurrentIndex(static_cast<int>(t.kind));
  if (t.kind == metrology::Tolerance::Kind::kOfReading) {
    f.a->setText(QString::fromStdString(exactNumber(t.a)));
    f.b->setText(QString::fromStdString(exactNumber(t.b)));
  } else if (t.kind == metrology::Tolerance::Kind::kOfSpan) {
    f.a->setText(QString::fromStdString(exactNumber(t.percentOfSpan)));
    // One kept of the points' span shows no range: saved, it asks for one.
    if (t.hasRange()) {
      f.low->setText(QString::fromStdString(exactNumber(t.rangeLow)));
      f.high->setText(QString::fromStdString(exactNumber(t.rangeHigh)));
    }
  }
  // Room for a number such as -1000.005 in each field: a narrow form cuts them.
  const int numberWidth = f.a->fontMetrics().horizontalAdvance(QStringLiteral("-00000.0000")) + 16;
  for (QLineEdit* edit : {f.a, f.b, f.low, f.high}) edit->setMinimumWidth(numberWidth);
  for (QWidget* w : std::initializer_list<QWidget*>{f.kind, f.a, f.aUnit, f.b, f.bUnit, f.low, f.to, f.high, f.rangeUnit}) {
    fields->addWidget(w);
  }
  tolerances_.push_back(f);
  connect(f.kind, &QComboBox::currentIndexChanged, this, [this, row] { showKind(*tolerance(row)); });
  showKind(f);
  return line;
}

// The fields the kind takes, each with its unit beside it and in its tip.
void LabSettingsWindow::showKind(const ToleranceForm& f) {
  const int kind = f.kind->currentIndex();
  const QString unit = QString::fromStdString(f.unit);
  f.a->setVisible(kind != 0);
  f.aUnit->setVisible(kind != 0);
  f.b->setVisible(kind == 1);
  f.bUnit->setVisible(kind == 1);
  for (QWidget* w : std::initializer_list<QWidget*>{f.low, f.to, f.high, f.rangeUnit}) w->setVisible(kind == 2);
  f.aUnit->setText(kind == 2 ? QStringLiteral("% of the span from") : unit);
  f.a->setToolTip(kind == 2 ? QStringLiteral("P: the tolerance in % of the span, such as 0.5")
                            : QStringLiteral("A: the part in %1 that is the same at every reading, such as 0.1").arg(unit));
  f.b->setToolTip(QStringLiteral("B: the part in % of the reading, such as 2 (0 for none)"));
}

// The form as the tolerance's text, which the bench checks and keeps.
// An empty A or B is none of that part; P has to be given.
std::string LabSettingsWindow::toleranceOf(const ToleranceForm& f, std::string& problem) {
  const int kind = f.kind->currentIndex();
  if (kind == 1) {
    const std::string a = fieldNumber(*f.a, f.unit, "A", problem);
    return "reading " + a + " " + fieldNumber(*f.b, "%", "B", problem);
  }
  if (kind != 2) return "none";
  if (f.a->text().trimmed().isEmpty()) problem = "P, the tolerance in % of the span, is empty: type a number such as 0.5";
  if (problem.empty() && (f.low->text().trimmed().isEmpty() || f.high->text().trimmed().isEmpty())) {
    problem = "A tolerance in % of span needs the model's calibrated range: type its lower and upper values in " +
              f.unit;
  }
  const std::string p = fieldNumber(*f.a, "%", "P", problem);
  return "span " + p + " " + fieldNumber(*f.low, f.unit, "The range's lower value", problem) + " " +
         fieldNumber(*f.high, f.unit, "The range's upper value", problem);
}

const LabSettingsWindow::ToleranceForm* LabSettingsWindow::tolerance(int row) const {
  for (const ToleranceForm& f : tolerances_) {
    if (f.row == row) return &f;
  }
  return nullptr;
}

bool LabSettingsWindow::saveModel(std::string& problems) {
  const CalibrationSession& s = dialog_.session();
  if (s.currentDatasheet == nullptr) return true;
  // Each row on its own: a refused tolerance keeps the row's old one, and the
  // others still go in.
  for (const ToleranceForm& form : tolerances_) {
    const int row = form.row;
    std::string problem;
    const std::string text = toleranceOf(form, problem);
    if (!problem.empty() || !dialog_.labBench().setTolerance(row, text, problem)) {
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
