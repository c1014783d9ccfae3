#include "app/qt/laboratory_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "records/dcc_seal.h"
#include "records/laboratory.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }
std::string text(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

LaboratoryWindow::LaboratoryWindow(Registry& settings, WindowControls& controls, QWidget* parent)
    : QDialog(parent), settings_(settings), controls_(controls) {
  setWindowTitle(QStringLiteral("Laboratory"));
  setObjectName(QStringLiteral("laboratoryWindow"));
  const Laboratory lab = Laboratory::load(settings_);
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  name_ = field(lab.name, "labName", "The laboratory's name as its certificates state it");
  address_ = new QPlainTextEdit(q(lab.address), this);
  address_->setObjectName(QStringLiteral("labAddress"));
  address_->setToolTip(QStringLiteral("One line of the address a line"));
  address_->setFixedHeight(address_->fontMetrics().lineSpacing() * 5);
  body_ = field(lab.accreditationBody, "accreditationBody", "The body that accredits the laboratory, if any");
  number_ = field(lab.accreditationNumber, "accreditationNumber", "The laboratory's accreditation number, if any");
  code_ = field(lab.code, "labCode", "{lab} in certificate numbers");
  station_ = field(lab.stationCode, "stationCode", "{station} in certificate numbers: this station's code");
  pattern_ = field(lab.numberPattern, "numberPattern",
                   "{lab}, {station}, {year} and {seq} or {seq:0N} (the record's number, N digits)");
  performer_ = field(lab.performer, "performer", "Who calibrates at this station; empty: the operator's login name");
  form->addRow(QStringLiteral("Name"), name_);
  form->addRow(QStringLiteral("Address"), address_);
  form->addRow(QStringLiteral("Accreditation body"), body_);
  form->addRow(QStringLiteral("Accreditation number"), number_);
  form->addRow(QStringLiteral("Laboratory code"), code_);
  form->addRow(QStringLiteral("Station code"), station_);
  form->addRow(QStringLiteral("Certificate number pattern"), pattern_);
  form->addRow(QStringLiteral("Performed by"), performer_);
  sealKey_ = field(lab.sealKeyFile, "sealKey",
                   "The laboratory's private key (PEM) that seals its DCCs; readable only by those who may seal");
  sealCertificate_ = field(lab.sealCertificateFile, "sealCertificate",
                           "The certificate (PEM) of the seal key, which readers check a DCC's seal against");
  form->addRow(QStringLiteral("DCC seal key"), sealKey_);
  form->addRow(QStringLiteral("DCC seal certificate"), sealCertificate_);
  top->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (save()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
  resize(560, sizeHint().height());
}

QLineEdit* LaboratoryWindow::field(const std::string& value, const char* objectName, const char* tip) {
  auto* edit = new QLineEdit(q(value), this);
  edit->setObjectName(QString::fromUtf8(objectName));
  edit->setToolTip(QString::fromUtf8(tip));
  return edit;
}

bool LaboratoryWindow::save() {
  Laboratory lab;
  lab.name = text(name_);
  lab.address = address_->toPlainText().trimmed().toStdString();
  lab.accreditationBody = text(body_);
  lab.accreditationNumber = text(number_);
  lab.code = text(code_);
  lab.stationCode = text(station_);
  lab.numberPattern = text(pattern_);
  lab.performer = text(performer_);
  lab.sealKeyFile = text(sealKey_);
  lab.sealCertificateFile = text(sealCertificate_);
  std::string problem = sealProblem(lab);
  if (!problem.empty()) {
    controls_.messageBox(problem);
    return false;
  }
  if (!checkNumberPattern(lab.numberPattern, problem)) {
    controls_.messageBox(problem);
    return false;
  }
  if (!lab.save(settings_)) {
    controls_.messageBox("The laboratory could not be kept in the station's settings");
    return false;
  }
  return true;
}

}  // namespace trimwell
