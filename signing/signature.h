#pragma once
// Electronic signatures on a record: who signed (as the user database had them),
// what the signature means, when, and the content hash of the record version it
// was given to, so that it cannot be moved to another record nor outlive a
// change of this one. What may be signed, by whom and in which order is decided
// here, before any password is asked for.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "signing/audit_chain.h"

namespace trimwell::signing {

inline constexpr int kSignatureFormVersion = 1;

// In the order the procedure fixes: a record is performed, then reviewed, then
// approved. An amendment is signed as amended, with its reason, before the
// amended version is performed again.
enum class Meaning { Performed, Reviewed, Approved, Amended };

// "performed", "reviewed", "approved", "amended".
const char* meaningName(Meaning meaning);
std::optional<Meaning> meaningFromName(const std::string& name);

struct Signature {
  std::string recordUuid;
  std::string recordHash;  // the signed version's content hash
  long long uid = -1;
  std::string login;
  std::string printedName;
  std::vector<std::string> groups;  // the signer's groups when signing
  Meaning meaning = Meaning::Performed;
  std::string reason;  // for an amendment: why; empty otherwise
  std::string utcTime;  // ISO 8601 with its Z
};

std::vector<std::uint8_t> canonicalSignature(const Signature& signature);
std::string signatureHash(const Signature& signature);

// A signature as a store keeps it, with the hash written beside it.
struct KeptSignature {
  Signature signature;
  std::string keptHash;
};

// How the audit trail tells signings: a "record signed" entry's details name the
// signer on their first line and the signature's hash on the next; a "signing
// failed" entry names the signer and why. Failures are counted from these.
inline constexpr const char* kSignedEvent = "record signed";
inline constexpr const char* kSigningFailedEvent = "signing failed";
std::string signerLine(const std::string& login, long long uid);
std::string signedDetails(const Signature& signature);

// Each kept signature must be as it was given (its hash) and named by a "record
// signed" entry, and every such entry's signature must be kept. False, with the
// first that is not, in `check`.
bool signaturesMatchTrail(const std::vector<AuditEntry>& entries, const std::vector<KeptSignature>& kept,
                          ChainCheck& check);

// A change approved by a signature names its approver on a line of its entry's
// details: "approved by signer LOGIN (UID N), NAME, at TIME". Such an approval is a
// good signing too.
inline constexpr const char* kApprovedBy = "approved by ";
// The times of a signer's failed signings since their last good one (a record
// signed or a change approved), oldest first.
std::vector<std::string> failuresSinceSuccess(const std::vector<AuditEntry>& entries, const std::string& signer);

// The system groups that give each role; a lab may name groups it already has.
struct RoleGroups {
  std::string operators = "trimwell-operator";
  std::string reviewers = "trimwell-reviewer";
  std::string approvers = "trimwell-approver";
};

struct SigningPolicy {
  RoleGroups roles;
  // Two different people perform and approve.
  bool fourEyes = true;
  // Failed signings in a row that lock a person's signing, and for how long.
  int lockoutTries = 3;
  std::chrono::minutes lockoutTime{10};
  // Documents only of approved records; else drafts, marked so.
  bool approvalRequired = true;
};

// The rules signatures are given under, as the audit trail enters them when they
// come into force: one "name: value" line each, in a fixed order.
inline constexpr const char* kRulesInForceEvent = "signing rules in force";
std::string rulesText(const SigningPolicy& policy);
// The rules of such a text; false, leaving `policy` as it was, for one that is not.
bool parseRules(const std::string& text, SigningPolicy& policy);
// The names of the rules that differ between two texts, "four-eyes, approvers".
std::string rulesDiffering(const std::string& a, const std::string& b);

// The group a meaning needs: performed and amended an operator's, reviewed a
// reviewer's, approved an approver's.
const std::string& groupFor(Meaning meaning, const RoleGroups& roles);

// Why `next` may not be added after `existing` (the record's signatures in the
// order given): an amendment's signature on a record that amends none, or without
// its reason, or a reason on another meaning; a signer without the meaning's
// role; a meaning out of order or given twice; the performer approving under four
// eyes; a signature over another version of the record than the one signed so
// far. Empty when it may. An amendment is signed as amended where a first version
// is signed as performed.
std::string signingProblem(const std::vector<Signature>& existing, const Signature& next, const SigningPolicy& policy,
                           bool recordAmends = false);

// Whether a record whose signatures are `existing` is approved.
bool approved(const std::vector<Signature>& existing);

// Until when a person's signing is (or was last) locked, from the bench times
// (ISO 8601 UTC, as the trail keeps them) of their failed signings since their
// last good one, oldest first: each run of lockoutTries locks from its last, and
// the count starts anew after a lock. Nothing when no run locked. A time that does not read counts as the
// start of the epoch, which locks no one for long.
std::optional<std::chrono::system_clock::time_point> lockedUntil(const std::vector<std::string>& failureTimes,
                                                                 const SigningPolicy& policy);

// A person signing at this station: the first signature of a session asks for
// login and password, later ones the password alone, until the station restarts
// or the session has been idle for kIdle.
class SigningSession {
 public:
  static constexpr std::chrono::minutes kIdle{15};
  bool needsLogin(std::chrono::steady_clock::time_point now) const;
  void signedAt(std::chrono::steady_clock::time_point now) { last_ = now; }

 private:
  std::optional<std::chrono::steady_clock::time_point> last_;
};

}  // namespace trimwell::signing
