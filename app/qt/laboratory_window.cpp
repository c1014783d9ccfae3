#include "app/qt/laboratory_window.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <cstring>

#include "platform/pam_password.h"
#include "documents/dcc_seal.h"
#include "documents/laboratory.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }
std::string text(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

LaboratoryWindow::LaboratoryWindow(Registry& settings, WindowControls& controls, QWidget* parent, RecordStore* store,
                                   signing::SigningSession* session)
    : QDialog(parent), settings_(settings), controls_(controls), store_(store), session_(session) {
  passwordCheck = checkPassword;
  askApproval = [this](bool needsLogin, std::string& login, std::string& password) {
    bool given = true;
    if (needsLogin) {
      login = QInputDialog::getText(this, QStringLiteral("Approve the change"),
                                    QStringLiteral("Changing how records are signed needs an approver's signature.\n"
                                                   "Your login:"),
                                    QLineEdit::Normal, QString(), &given)
                  .toStdString();
    }
    if (given) {
      password = QInputDialog::getText(this, QStringLiteral("Approve the change"), QStringLiteral("Your password:"),
                                       QLineEdit::Password, QString(), &given)
                     .toStdString();
    }
    return given;
  };
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
  address_->setTabChangesFocus(true);
  email_ = field(lab.email, "labEmail", "The laboratory's e-mail address, which its DCCs need");
  country_ = field(lab.country, "labCountry", "The country calibrated in, two capitals of ISO 3166-1 (DE, AT, ...)");
  location_ = field(lab.location, "labLocation",
                    "Where calibrations are done: laboratory (at its address), or on-site PLACE (at the customer's)");
  procedures_ = new QPlainTextEdit(q(lab.procedures), this);
  procedures_->setObjectName(QStringLiteral("procedures"));
  procedures_->setToolTip(QStringLiteral("One model a line: SENSOR ID VERSION (221 KLN-TP-07 4); a model not named is "
                                         "calibrated by the station's own procedure"));
  procedures_->setTabChangesFocus(true);
  procedures_->setFixedHeight(procedures_->fontMetrics().lineSpacing() * 3 + 12);
  certifyUnchecked_ = new QCheckBox(QStringLiteral("Certify rows not checked after their adjustment (saying so)"), this);
  certifyUnchecked_->setObjectName(QStringLiteral("certifyUnchecked"));
  certifyUnchecked_->setChecked(lab.certifyUnchecked == "yes");
  body_ = field(lab.accreditationBody, "accreditationBody", "The body that accredits the laboratory, if any");
  number_ = field(lab.accreditationNumber, "accreditationNumber", "The laboratory's accreditation number, if any");
  code_ = field(lab.code, "labCode", "{lab} in certificate numbers");
  station_ = field(lab.stationCode, "stationCode", "{station} in certificate numbers: this station's code");
  pattern_ = field(lab.numberPattern, "numberPattern",
                   "{lab}, {station}, {year} and {seq} or {seq:0N} (the record's number, N digits)");
  performer_ = field(lab.performer, "performer", "Who calibrated, for records that name no operator (kept by older stations)");
  form->addRow(QStringLiteral("Name"), name_);
  form->addRow(QStringLiteral("Address"), address_);
  form->addRow(QStringLiteral("E-mail"), email_);
  form->addRow(QStringLiteral("Country"), country_);
  form->addRow(QStringLiteral("Location"), location_);
  form->addRow(QStringLiteral("Procedures"), procedures_);
  form->addRow(QStringLiteral("Rows not checked"), certifyUnchecked_);
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
  storeCa_ = field(lab.storeCaFile, "storeCa",
                   "The CA certificate (PEM, a full path) the lab's PostgreSQL server's certificate is checked against; "
                   "empty: the system's trusted authorities");
  form->addRow(QStringLiteral("Store CA file"), storeCa_);
  operatorGroup_ = field(lab.operatorGroup, "operatorGroup", "The system group whose members calibrate and sign as performed");
  reviewerGroup_ = field(lab.reviewerGroup, "reviewerGroup", "The system group whose members review records");
  approverGroup_ = field(lab.approverGroup, "approverGroup", "The system group whose members approve records");
  fourEyes_ = new QCheckBox(QStringLiteral("Two different people perform and approve"), this);
  fourEyes_->setObjectName(QStringLiteral("fourEyes"));
  fourEyes_->setChecked(isYes(lab.fourEyes));
  requireApproval_ = new QCheckBox(QStringLiteral("Certificates only for approved records (else drafts)"), this);
  requireApproval_->setObjectName(QStringLiteral("requireApproval"));
  requireApproval_->setToolTip(QStringLiteral("Unticked, a record not yet approved gets a certificate marked \"%1\" on every page")
                                   .arg(QString::fromUtf8(kDraftMark)));
  requireApproval_->setChecked(isYes(lab.requireApproval));
  form->addRow(QStringLiteral("Operators' group"), operatorGroup_);
  form->addRow(QStringLiteral("Reviewers' group"), reviewerGroup_);
  form->addRow(QStringLiteral("Approvers' group"), approverGroup_);
  form->addRow(QStringLiteral("Four eyes"), fourEyes_);
  form->addRow(QStringLiteral("Approval"), requireApproval_);
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
  // What the window does not show (the lockout) stays as the settings have it.
  Laboratory lab = Laboratory::load(settings_);
  lab.name = text(name_);
  lab.address = address_->toPlainText().trimmed().toStdString();
  lab.email = text(email_);
  lab.country = text(country_);
  lab.location = text(location_).empty() ? "laboratory" : text(location_);
  lab.procedures = procedures_->toPlainText().trimmed().toStdString();
  lab.certifyUnchecked = certifyUnchecked_->isChecked() ? "yes" : "no";
  lab.accreditationBody = text(body_);
  lab.accreditationNumber = text(number_);
  lab.code = text(code_);
  lab.stationCode = text(station_);
  lab.numberPattern = text(pattern_);
  lab.performer = text(performer_);
  lab.sealKeyFile = text(sealKey_);
  lab.sealCertificateFile = text(sealCertificate_);
  lab.storeCaFile = text(storeCa_);
  lab.operatorGroup = text(operatorGroup_);
  lab.reviewerGroup = text(reviewerGroup_);
  lab.approverGroup = text(approverGroup_);
  lab.fourEyes = fourEyes_->isChecked() ? "yes" : "no";
  lab.requireApproval = requireApproval_->isChecked() ? "yes" : "no";
  if (lab.operatorGroup.empty() || lab.reviewerGroup.empty() || lab.approverGroup.empty()) {
    controls_.messageBox("Each role needs its group: operators, reviewers and approvers");
    return false;
  }
  std::string problem = sealProblem(lab);
  std::string place;
  if (problem.empty()) calibrationPlace(lab, place, problem);
  if (!problem.empty()) {
    controls_.messageBox(problem);
    return false;
  }
  if (!checkNumberPattern(lab.numberPattern, problem)) {
    controls_.messageBox(problem);
    return false;
  }
  std::string approvedBy;
  if (changesSigningRules(store_, Laboratory::load(settings_), lab) && !approve(Laboratory::load(settings_), approvedBy)) {
    return false;
  }
  if (!lab.saveAndNote(settings_, store_, problem, approvedBy)) {
    controls_.messageBox(problem.empty() ? "The laboratory could not be kept in the station's settings" : problem);
    return false;
  }
  if (!problem.empty()) controls_.messageBox(problem);
  return true;
}

// The approver signs under the rules in force, not those being saved: a change
// cannot make its own signer an approver.
bool LaboratoryWindow::approve(const Laboratory& before, std::string& approvedBy) {
  if (store_ == nullptr || session_ == nullptr) {
    controls_.messageBox(kSigningChangeNeedsApproval);
    return false;
  }
  RecordSigner signer(*store_, signingPolicy(before), *session_, passwordCheck);
  std::string login, password;
  if (!askApproval(signer.needsLogin(), login, password)) {
    controls_.messageBox(kSigningChangeNeedsApproval);
    return false;
  }
  const bool approved = signer.approveChange(login, password, approvedBy);
  explicit_bzero(password.data(), password.size());
  if (!approved) controls_.messageBox(signer.problem());
  return approved;
}

}  // namespace trimwell
