#include "records/record_signing.h"

#include <algorithm>

#include "platform/pam_password.h"
#include "records/record_hash.h"

namespace trimwell {

// The record names who calibrated it: only they sign it as performed, and, with
// four eyes, they approve it no more than its performer does.
std::string RecordSigner::calibratorProblem(const CalibrationRecord& record, const signing::Signature& s) const {
  if (record.operatorUid < 0) return {};  // kept before records named their operator's UID
  const std::string calibrator = record.operatorName + " (UID " + std::to_string(record.operatorUid) + ")";
  if (s.meaning == signing::Meaning::Performed && s.uid != record.operatorUid) {
    return "Only who calibrated signs a record as performed: this one was calibrated by " + calibrator;
  }
  if (s.meaning == signing::Meaning::Approved && policy_.fourEyes && s.uid == record.operatorUid) {
    return "The lab asks for four eyes: " + s.login + " calibrated this record and may not approve it";
  }
  return {};
}

RecordSigner::RecordSigner(RecordStore& store, signing::SigningPolicy policy, signing::SigningSession& session)
    : RecordSigner(store, std::move(policy), session, checkPassword) {}

RecordSigner::RecordSigner(RecordStore& store, signing::SigningPolicy policy, signing::SigningSession& session,
                           PasswordCheck check)
    : store_(store), policy_(std::move(policy)), check_(std::move(check)), person_(currentPerson()), session_(session) {}

bool RecordSigner::refuse(std::string why) {
  problem_ = std::move(why);
  return false;
}

bool RecordSigner::shownHash(const std::string& uuid, std::string& hash) {
  CalibrationRecord record;
  if (!store_.load(uuid, record)) return refuse(store_.problem());
  hash = recordHash(record);
  return true;
}

// A record is signed under the rules the audit trail last entered, which every
// station of the lab holds to: settings of one's own (a copied settings folder, a
// file edited by hand) sign nothing. The first signature of a trail enters the
// station's rules as those in force.
bool RecordSigner::underRulesInForce() {
  std::string entered;
  if (!store_.lastStationEvent(signing::kRulesInForceEvent, entered)) {
    return refuse("The signature was not given: the signing rules in force cannot be read (" + store_.problem() + ")");
  }
  const std::string mine = signing::rulesText(policy_);
  if (entered.empty()) {
    return store_.noteStationEvent(signing::kRulesInForceEvent, "", mine) ||
           refuse("The signature was not given: the signing rules could not be entered in the audit trail (" +
                  store_.problem() + ")");
  }
  if (entered == mine) return true;
  return refuse(std::string(kRulesNotInForce) + " (they differ in " + signing::rulesDiffering(entered, mine) + ")");
}

// The approvers of the rules in force approve a change, whatever the settings
// being saved say.
bool RecordSigner::takeRulesInForce() {
  std::string entered;
  if (!store_.lastStationEvent(signing::kRulesInForceEvent, entered)) {
    return refuse("The change cannot be signed: the signing rules in force cannot be read (" + store_.problem() + ")");
  }
  if (entered.empty() || signing::parseRules(entered, policy_)) return true;
  return refuse("The change cannot be signed: the signing rules the audit trail entered cannot be read");
}

bool RecordSigner::lockedOut() {
  std::vector<std::string> failures;
  if (!store_.signingFailures(person_.login, person_.uid, failures)) {
    return !refuse("The signature was not given: the audit trail cannot be read (" + store_.problem() + ")");
  }
  const auto until = signing::lockedUntil(failures, policy_);
  if (!until || *until <= std::chrono::system_clock::now()) return false;
  return !refuse("Signing as " + person_.login + " is locked until " + utcText(std::chrono::system_clock::to_time_t(*until)) + " after " +
                 std::to_string(policy_.lockoutTries) + " failed tries in a row");
}

bool RecordSigner::failedSigning(const std::string& uuid, const std::string& why) {
  problem_ = "The signature was refused: " + why;
  if (!store_.noteFailedSigning(person_.login, person_.uid, uuid, why)) {
    problem_ += " (and the refusal could not be entered in the audit trail: " + store_.problem() + ")";
  }
  return false;
}

bool RecordSigner::sign(const SigningRequest& request, signing::Signature& out) {
  if (needsLogin() && request.login.empty()) return refuse("The first signature of a session needs your login");
  CalibrationRecord record;
  if (!store_.load(request.uuid, record)) return refuse(store_.problem());
  signing::Signature s;
  s.recordUuid = record.uuid;
  s.recordHash = recordHash(record);
  if (!request.shownHash.empty() && request.shownHash != s.recordHash) {
    return refuse("The record changed since it was shown (its content hash differs): look at it again first");
  }
  // A version replaced by its amendment is not signed: the amendment is.
  if (std::string later; !store_.amendedBy(record.uuid, later) || !later.empty()) {
    return refuse(later.empty() ? store_.problem()
                                : "The record was amended (its next version is " + later +
                                      "): sign the latest version");
  }
  // A signature would enter the record as it is now: one changed past its trail is not signed.
  if (std::string broken; !store_.checkRecord(record.uuid, broken)) {
    return refuse("The record does not match its audit trail (" + broken + "): it is not signed");
  }
  s.uid = person_.uid;
  s.login = person_.login;
  s.printedName = person_.fullName.empty() ? person_.login : person_.fullName;
  s.groups = groupsOf(person_.login);
  s.meaning = request.meaning;
  s.reason = request.reason;
  // An amendment is signed for the reason it was made with.
  if (s.meaning == signing::Meaning::Amended && !record.amendsUuid.empty()) {
    if (s.reason.empty()) s.reason = record.amendmentReason;
    if (s.reason != record.amendmentReason) {
      return refuse("The amendment was made for \"" + record.amendmentReason +
                    "\": it is signed for that reason (leave the reason out to take it)");
    }
  }
  const bool amendment = !record.amendsUuid.empty();
  if (std::string rule = signing::signingProblem(record.signatures, s, policy_, amendment); !rule.empty()) {
    return refuse(rule);
  }
  if (std::string rule = calibratorProblem(record, s); !rule.empty()) return refuse(rule);
  if (!underRulesInForce() || lockedOut()) return false;
  if (!request.login.empty() && request.login != person_.login) {
    // What was typed is not repeated: it may be a password typed in the wrong field.
    return failedSigning(record.uuid, "the login typed is not this session's (" + person_.login +
                                          "): a person signs in their own session");
  }
  std::string why;
  if (!check_(person_.login, request.password, why)) return failedSigning(record.uuid, why);
  s.utcTime = utcNow();
  if (!store_.addSignature(s)) return refuse("The signature was not kept: " + store_.problem());
  session_.signedAt(std::chrono::steady_clock::now());
  out = s;
  return true;
}

bool RecordSigner::approveChange(const std::string& login, const std::string& password, std::string& approvedBy) {
  if (needsLogin() && login.empty()) return refuse("The first signature of a session needs your login");
  if (!takeRulesInForce()) return false;
  const std::vector<std::string> groups = groupsOf(person_.login);
  if (std::find(groups.begin(), groups.end(), policy_.roles.approvers) == groups.end()) {
    return refuse(kSigningChangeNeedsApproval + std::string(": ") + person_.login + " is not in the approvers' group " +
                  policy_.roles.approvers);
  }
  if (lockedOut()) return false;
  if (!login.empty() && login != person_.login) {
    return failedSigning("", "the login typed is not this session's (" + person_.login +
                                 "): a person signs in their own session");
  }
  std::string why;
  if (!check_(person_.login, password, why)) return failedSigning("", why);
  session_.signedAt(std::chrono::steady_clock::now());
  approvedBy = signing::signerLine(person_.login, person_.uid) + ", " +
               (person_.fullName.empty() ? person_.login : person_.fullName) + ", at " + utcNow();
  return true;
}

}  // namespace trimwell
