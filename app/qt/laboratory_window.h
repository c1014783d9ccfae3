#pragma once
// The laboratory that issues the station's certificates: its name and address,
// its accreditation, its code and the station's, how certificates are numbered,
// who calibrates here, the key and certificate that seal its DCCs, and how its
// records are signed (the groups that give the roles, four eyes, drafts, the
// lockout). Kept in the station's settings.

#include <QDialog>

#include "platform/registry.h"
#include "platform/window_controls.h"
#include <functional>
#include <string>

#include "documents/laboratory.h"
#include "records/record_signing.h"
#include "records/record_store.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace trimwell {

class LaboratoryWindow : public QDialog {
 public:
  // Refusals are told through controls; each change saved goes into the store's
  // audit trail (none: nowhere). A change of how records are signed, while the lab
  // requires approval, is signed by an approver in the station's session.
  LaboratoryWindow(Registry& settings, WindowControls& controls, QWidget* parent = nullptr, RecordStore* store = nullptr,
                   signing::SigningSession* session = nullptr);

  // Asks the approver for their login (when the session needs it) and password;
  // false when they cancel. A dialog by default.
  std::function<bool(bool needsLogin, std::string& login, std::string& password)> askApproval;
  // PAM's check by default.
  PasswordCheck passwordCheck;

  QLineEdit* name() const { return name_; }
  QPlainTextEdit* address() const { return address_; }
  QLineEdit* email() const { return email_; }
  QLineEdit* country() const { return country_; }
  QLineEdit* location() const { return location_; }
  QLineEdit* accreditationBody() const { return body_; }
  QLineEdit* accreditationNumber() const { return number_; }
  QLineEdit* labCode() const { return code_; }
  QLineEdit* stationCode() const { return station_; }
  QLineEdit* numberPattern() const { return pattern_; }
  QLineEdit* performer() const { return performer_; }
  QLineEdit* sealKey() const { return sealKey_; }
  QLineEdit* sealCertificate() const { return sealCertificate_; }
  QLineEdit* operatorGroup() const { return operatorGroup_; }
  QLineEdit* reviewerGroup() const { return reviewerGroup_; }
  QLineEdit* approverGroup() const { return approverGroup_; }
  QCheckBox* fourEyes() const { return fourEyes_; }
  QCheckBox* requireApproval() const { return requireApproval_; }
  // What Save does: false, the reason shown and nothing kept, for a number
  // pattern that cannot make unique numbers or settings that cannot be written.
  bool save();

 private:
  QLineEdit* field(const std::string& text, const char* objectName, const char* tip);
  bool approve(const Laboratory& before, std::string& approvedBy);

  Registry& settings_;
  WindowControls& controls_;
  RecordStore* store_;
  signing::SigningSession* session_;
  QLineEdit* name_ = nullptr;
  QPlainTextEdit* address_ = nullptr;
  QLineEdit* email_ = nullptr;
  QLineEdit* country_ = nullptr;
  QLineEdit* location_ = nullptr;
  QPlainTextEdit* procedures_ = nullptr;
  QCheckBox* certifyUnchecked_ = nullptr;
  QLineEdit* body_ = nullptr;
  QLineEdit* number_ = nullptr;
  QLineEdit* code_ = nullptr;
  QLineEdit* station_ = nullptr;
  QLineEdit* pattern_ = nullptr;
  QLineEdit* performer_ = nullptr;
  QLineEdit* sealKey_ = nullptr;
  QLineEdit* sealCertificate_ = nullptr;
  QLineEdit* storeCa_ = nullptr;
  QLineEdit* operatorGroup_ = nullptr;
  QLineEdit* reviewerGroup_ = nullptr;
  QLineEdit* approverGroup_ = nullptr;
  QCheckBox* fourEyes_ = nullptr;
  QCheckBox* requireApproval_ = nullptr;
};

}  // namespace trimwell
