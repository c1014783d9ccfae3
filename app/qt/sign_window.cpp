#include "app/qt/sign_window.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/qt/dialog_parts.h"
#include "app/qt/record_results.h"
#include "documents/record_export.h"
#include "records/record_hash.h"
#include "records/record_signing.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }

// Overwrites what the field holds before letting it go.
void wipe(QLineEdit* field) {
  QString text = field->text();
  text.fill(QLatin1Char(' '));
  field->setText(text);
  field->clear();
}

}  // namespace

SignWindow::SignWindow(RecordStore& store, const Laboratory& lab, signing::SigningSession& session,
                       const CalibrationRecord& record, QWidget* parent)
    : QDialog(parent), store_(store), policy_(signingPolicy(lab)), session_(session), uuid_(record.uuid) {
  setWindowTitle(QStringLiteral("Sign record %1").arg(record.id));
  setObjectName(QStringLiteral("signWindow"));
  auto* top = new QVBoxLayout(this);
  shown_ = new QTextEdit(this);
  shown_->setObjectName(QStringLiteral("signedRecord"));
  shown_->setReadOnly(true);
  top->addWidget(shown_, 1);
  auto* form = new QFormLayout;
  meaning_ = new QComboBox(this);
  meaning_->setObjectName(QStringLiteral("meaning"));
  for (signing::Meaning m : {signing::Meaning::Performed, signing::Meaning::Reviewed, signing::Meaning::Approved,
                             signing::Meaning::Amended}) {
    meaning_->addItem(QString::fromUtf8(signing::meaningName(m)), static_cast<int>(m));
  }
  reason_ = new QLineEdit(this);
  reason_->setObjectName(QStringLiteral("reason"));
  reason_->setToolTip(QStringLiteral("Why the record is amended; an amendment needs its reason"));
  login_ = new QLineEdit(this);
  login_->setObjectName(QStringLiteral("login"));
  password_ = new QLineEdit(this);
  password_->setObjectName(QStringLiteral("password"));
  password_->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("Meaning"), meaning_);
  form->addRow(QStringLiteral("Reason (amended)"), reason_);
  form->addRow(QStringLiteral("Login"), login_);
  form->addRow(QStringLiteral("Password"), password_);
  loginLabel_ = form->labelForField(login_);
  showLogin();
  top->addLayout(form);
  refusal_ = addRefusalLine(this, top);
  addGoAheadButtons(this, top, QStringLiteral("Sign"), QStringLiteral("sign"), [this] { return sign(); });
  showRecord(record);
  resize(640, 520);
}

SignWindow::~SignWindow() { wipe(password_); }

// Later signatures of a session ask for the password alone.
void SignWindow::showLogin() {
  const bool ask = session_.needsLogin(std::chrono::steady_clock::now());
  login_->setVisible(ask);
  loginLabel_->setVisible(ask);
}

void SignWindow::showRecord(const CalibrationRecord& record) {
  shownHash_ = recordHash(record);
  QString html = recordFactsHtml(record) + QStringLiteral("<p>%1</p><h4>What the audit trail holds about it</h4><ul>")
                                               .arg(q(recordText(record).result).toHtmlEscaped());
  std::vector<signing::AuditEntry> trail;
  if (!store_.recordTrail(record.uuid, trail)) {
    html += QStringLiteral("<li>%1</li>").arg(q("the audit trail cannot be read: " + store_.problem()).toHtmlEscaped());
  }
  for (const signing::AuditEntry& e : trail) {
    html += QStringLiteral("<li>%1 %2%3</li>")
                .arg(q(e.benchTime + (e.actor.empty() ? "" : " by " + e.actor)).toHtmlEscaped(), q(e.event).toHtmlEscaped(),
                     e.details.empty() ? QString() : QStringLiteral(": ") + q(e.details).toHtmlEscaped());
  }
  shown_->setHtml(html + QStringLiteral("</ul>"));
}

bool SignWindow::sign() {
  RecordSigner signer(store_, policy_, session_);
  SigningRequest request;
  request.uuid = uuid_;
  request.meaning = static_cast<signing::Meaning>(meaning_->currentData().toInt());
  request.reason = reason_->text().trimmed().toStdString();
  request.shownHash = shownHash_;
  // A login not asked for is not given: a session gone idle since refuses it, and asks.
  request.login = login_->isVisibleTo(this) ? login_->text().trimmed().toStdString() : std::string();
  request.password = password_->text().toStdString();
  wipe(password_);
  signing::Signature given;
  const bool ok = signer.sign(request, given);
  explicit_bzero(request.password.data(), request.password.size());
  problem_ = ok ? std::string() : signer.problem();
  refusal_->setText(q(problem_));
  showLogin();
  return ok;
}

}  // namespace trimwell
