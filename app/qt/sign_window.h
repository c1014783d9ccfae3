#pragma once
// Signing a record in the station's window, as the person logged in to the
// desktop: the record is shown as it is now (its content hash, its signatures and
// what the audit trail holds about it, which a reviewer reviews), then the
// meaning, an amendment's reason, the login on the session's first signature, and
// the password, which PAM checks. Nothing of the password outlives the window.

#include <QDialog>
#include <string>

#include "documents/laboratory.h"
#include "records/record_store.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTextEdit;

namespace trimwell {

class SignWindow : public QDialog {
 public:
  SignWindow(RecordStore& store, const Laboratory& lab, signing::SigningSession& session,
             const CalibrationRecord& record, QWidget* parent = nullptr);
  ~SignWindow() override;

  QTextEdit* shown() const { return shown_; }
  QComboBox* meaning() const { return meaning_; }
  QLineEdit* reason() const { return reason_; }
  QLineEdit* login() const { return login_; }
  QLineEdit* password() const { return password_; }
  // What Sign does: the signature kept, or false with the reason shown in the
  // window (and in problem()); the password field is cleared either way.
  bool sign();
  const std::string& problem() const { return problem_; }

 private:
  void showRecord(const CalibrationRecord& record);
  void showLogin();

  RecordStore& store_;
  signing::SigningPolicy policy_;
  signing::SigningSession& session_;
  std::string uuid_;
  std::string shownHash_;
  QTextEdit* shown_ = nullptr;
  QComboBox* meaning_ = nullptr;
  QLineEdit* reason_ = nullptr;
  QLineEdit* login_ = nullptr;
  QWidget* loginLabel_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLabel* refusal_ = nullptr;
  std::string problem_;
};

}  // namespace trimwell
