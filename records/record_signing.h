#pragma once
// Signing a record, as a person does it in their own session: what they were
// shown must still be the record (its content hash), the lab's rules must allow
// the meaning to this person now (role, order, four eyes, no lockout), and PAM
// must take their password. A refused password goes into the audit trail, where
// the lockout counts it; a rule broken is refused before any password is asked.

#include <chrono>
#include <functional>
#include <string>

#include "records/record_store.h"
#include "signing/signature.h"

namespace trimwell {

// Why a change of how records are signed (the role groups, four eyes, drafts or
// the lockout) was not made: it needs an approver's signature.
inline constexpr const char* kSigningChangeNeedsApproval =
    "Changing how records are signed (the role groups, four eyes, drafts or the lockout) needs an approver's "
    "signature; nothing was changed";

struct SigningRequest {
  std::string uuid;
  signing::Meaning meaning = signing::Meaning::Performed;
  std::string reason;     // an amendment's
  std::string shownHash;  // the content hash of the record as shown to the signer
  std::string login;      // as typed; needed when the session asks for it
  std::string password;
};

// Why a station whose signing rules are not those in force signs nothing.
inline constexpr const char* kRulesNotInForce =
    "This station's signing rules are not those in force in the audit trail: they change only in Trimwell > "
    "Laboratory..., with an approver's signature; nothing was signed";

// PAM's check, or a test's.
using PasswordCheck = std::function<bool(const std::string& login, const std::string& password, std::string& problem)>;

class RecordSigner {
 public:
  // The session is the station's: it outlives one signing window, so that later
  // signatures ask for the password alone.
  RecordSigner(RecordStore& store, signing::SigningPolicy policy, signing::SigningSession& session);
  RecordSigner(RecordStore& store, signing::SigningPolicy policy, signing::SigningSession& session,
               PasswordCheck check);

  // Whether the next signature asks for the login as well as the password.
  bool needsLogin() const { return session_.needsLogin(std::chrono::steady_clock::now()); }
  // The person who signs here: the process's user.
  const Person& signer() const { return person_; }
  // Keeps the signature (`out`) or refuses, with the reason in problem().
  bool sign(const SigningRequest& request, signing::Signature& out);
  // An approver's signature over a change of how records are signed (the policy
  // is the one in force): the signer must hold the approvers' group, and PAM take
  // their password, as for a record. `approvedBy` is the line the change's audit
  // entry keeps: "signer LOGIN (UID N), NAME, at TIME".
  bool approveChange(const std::string& login, const std::string& password, std::string& approvedBy);
  // The record's content hash as it is now, to show with it.
  bool shownHash(const std::string& uuid, std::string& hash);
  const std::string& problem() const { return problem_; }

 private:
  bool refuse(std::string why);
  bool lockedOut();
  bool underRulesInForce();
  bool takeRulesInForce();
  std::string calibratorProblem(const CalibrationRecord& record, const signing::Signature& s) const;
  bool failedSigning(const std::string& uuid, const std::string& why);

  RecordStore& store_;
  signing::SigningPolicy policy_;
  PasswordCheck check_;
  Person person_;
  signing::SigningSession& session_;
  std::string problem_;
};

}  // namespace trimwell
