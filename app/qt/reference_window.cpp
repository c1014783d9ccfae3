#include "app/qt/reference_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qt/dialog_parts.h"
#include "app/wireless_port.h"
#include "calibration/typed_value.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }
std::string s(const QString& text) { return text.trimmed().toStdString(); }

constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
constexpr const char* kNone = "none";

}  // namespace

ReferenceWindow::ReferenceWindow(CalibrationDialog& dialog, QWidget* parent) : QDialog(parent), dialog_(dialog) {
  setWindowTitle(QStringLiteral("Reference instrument"));
  setObjectName(QStringLiteral("referenceWindow"));
  const ReferenceSettings& now = dialog_.reference().settings();
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  location_ = new QComboBox(this);
  location_->setObjectName(QStringLiteral("location"));
  location_->setEditable(true);
  location_->setToolTip(QStringLiteral("A serial port, or a network address HOST:PORT (SCPI instruments listen on "
                                       "port 5025 by custom); none: every reference value is typed"));
  location_->addItem(QString::fromUtf8(kNone));
  for (const std::string& port : listSerialPorts()) location_->addItem(q(port));
  location_->setCurrentText(now.chosen() ? q(now.line.location) : QString::fromUtf8(kNone));
  baud_ = new QComboBox(this);
  baud_->setObjectName(QStringLiteral("baud"));
  for (int rate : kRates) baud_->addItem(QString::number(rate), rate);
  baud_->setCurrentIndex(std::max(0, baud_->findData(now.line.baud)));
  parity_ = new QComboBox(this);
  parity_->setObjectName(QStringLiteral("parity"));
  parity_->addItem(QStringLiteral("none (8 data bits)"), static_cast<int>(LineParity::None));
  parity_->addItem(QStringLiteral("even (7 data bits)"), static_cast<int>(LineParity::Even));
  parity_->addItem(QStringLiteral("odd (7 data bits)"), static_cast<int>(LineParity::Odd));
  parity_->setCurrentIndex(parity_->findData(static_cast<int>(now.line.parity)));
  ending_ = new QComboBox(this);
  ending_->setObjectName(QStringLiteral("lineEnding"));
  ending_->addItem(QStringLiteral("LF"), QStringLiteral("\n"));
  ending_->addItem(QStringLiteral("CR LF"), QStringLiteral("\r\n"));
  ending_->setCurrentIndex(now.line.lineEnding == "\r\n" ? 1 : 0);
  query_ = new QLineEdit(q(now.query), this);
  query_->setObjectName(QStringLiteral("query"));
  query_->setToolTip(QStringLiteral("The SCPI query that answers one reading: READ?, MEAS? or FETC?"));
  unit_ = new QLineEdit(q(now.unit), this);
  unit_->setObjectName(QStringLiteral("unit"));
  unit_->setToolTip(QStringLiteral("The unit of the reference value, as the register's entry of the instrument "
                                   "states it"));
  scale_ = new QLineEdit(QString::number(now.scale, 'g', 15), this);
  scale_->setObjectName(QStringLiteral("scale"));
  scale_->setToolTip(QStringLiteral("The reference value is the instrument's reading times this (1: as read)"));
  timeout_ = new QSpinBox(this);
  timeout_->setObjectName(QStringLiteral("timeout"));
  timeout_->setRange(10, 60'000);
  timeout_->setSuffix(QStringLiteral(" ms"));
  timeout_->setValue(now.timeoutMs);
  timeout_->setToolTip(QStringLiteral("How long an answer may take before the instrument counts as not answering"));
  form->addRow(QStringLiteral("Port or address"), location_);
  form->addRow(QStringLiteral("Baud rate"), baud_);
  form->addRow(QStringLiteral("Parity"), parity_);
  form->addRow(QStringLiteral("Line ending"), ending_);
  form->addRow(QStringLiteral("Query for a reading"), query_);
  form->addRow(QStringLiteral("Unit"), unit_);
  form->addRow(QStringLiteral("Scale factor"), scale_);
  form->addRow(QStringLiteral("Timeout"), timeout_);
  top->addLayout(form);
  refusal_ = addRefusalLine(this, top);
  addGoAheadButtons(this, top, QStringLiteral("Use"), QStringLiteral("use"), [this] { return use(); });
}

bool ReferenceWindow::use() {
  ReferenceSettings settings = dialog_.reference().settings();
  const std::string location = s(location_->currentText());
  settings.line.location = location == kNone ? std::string() : location;
  settings.line.baud = baud_->currentData().toInt();
  settings.line.parity = static_cast<LineParity>(parity_->currentData().toInt());
  settings.line.lineEnding = ending_->currentData().toString().toStdString();
  settings.query = s(query_->text());
  settings.unit = s(unit_->text());
  const std::string scale = s(scale_->text());
  if (!parseTypedNumber(scale, false, settings.scale)) {
    refusal_->setText(QStringLiteral("The scale factor \"%1\" is not a number").arg(q(scale)));
    return false;
  }
  settings.timeoutMs = timeout_->value();
  std::string problem;
  if (!dialog_.chooseReference(settings, problem)) {
    refusal_->setText(q(problem));
    return false;
  }
  refusal_->clear();
  return true;
}

}  // namespace trimwell
