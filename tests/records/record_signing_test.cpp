// Signing records through real PAM (pam_wrapper's pam_matrix) into a real SQLite
// file: the password, the account's state, the roles, the order of meanings, four
// eyes, a record changed since it was shown, the lockout counted from the trail
// across restarts, and the session that asks for the login once.
#include "records/record_signing.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "platform/pam_password.h"
#include "documents/laboratory.h"
#include "records/record_hash.h"
#include "records/sqlite_audit_trail.h"
#include "records/sqlite_record_store.h"
#include "sample_record.h"
#include "support/drop_triggers.h"
#include "support/pam_passwords.h"
#include "support/signed_record.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

using signing::Meaning;

constexpr const char* kPassword = "Kalibrier-2026";

// Every role given by the signer's own primary group, as a one-person lab would.
signing::SigningPolicy ownPolicy() {
  const std::string group = groupsOf(currentPerson().login).front();
  signing::SigningPolicy policy;
  policy.roles = {group, group, group};
  return policy;
}

class Signing : public ::testing::Test {
 protected:
  void SetUp() override {
    // Without the wrapper PAM would ask the system's own service: ctest sets it up.
    ASSERT_NE(std::getenv("PAM_WRAPPER"), nullptr) << "run under ctest, which loads pam_wrapper";
    ASSERT_FALSE(groupsOf(currentPerson().login).empty());
    record_ = test::labRecord(221, 7);
    record_.operatorUid = calibrator();
    record_.operatorName = calibrator() == currentPerson().uid ? currentPerson().login : "other";
    ASSERT_TRUE(store_.add(record_)) << store_.problem();
  }
  std::size_t trailEvents(const char* event) {
    std::vector<signing::AuditEntry> entries;
    sqlite3* db = nullptr;
    sqlite3_open(folder_.file("records.sqlite").c_str(), &db);
    std::string problem;
    std::size_t n = 0;
    if (readAuditTrail(db, entries, problem)) {
      for (const signing::AuditEntry& e : entries) n += e.event == event ? 1 : 0;
    }
    sqlite3_close(db);
    return n;
  }
  // Whom the record names as calibrating it: the signer, unless a case says.
  virtual long long calibrator() const { return currentPerson().uid; }
  // A signature by someone else, kept as the store keeps any.
  void signedBefore(Meaning meaning, long long uid) {
    CalibrationRecord kept;
    ASSERT_TRUE(store_.load(record_.uuid, kept));
    ASSERT_TRUE(store_.addSignature(test::signatureBy(kept, meaning, uid, "other" + std::to_string(uid), "Other",
                                                      "trimwell-operator")))
        << store_.problem();
  }
  SigningRequest request(Meaning meaning, const std::string& password = kPassword) {
    SigningRequest r;
    r.uuid = record_.uuid;
    r.meaning = meaning;
    r.login = currentPerson().login;
    r.password = password;
    return r;
  }

  test::TempDir folder_;
  test::PamPasswords passwords_{kPassword};
  SqliteRecordStore store_{folder_.file("records.sqlite")};
  CalibrationRecord record_;
  signing::SigningSession session_;
};

struct SigningCase {
  const char* name;
  std::vector<std::pair<Meaning, long long>> before;  // signatures by others, uid 0 standing for the signer
  Meaning meaning;
  void (*adjust)(SigningRequest&, signing::SigningPolicy&);
  const char* refusal;  // empty: signed
  std::size_t failuresEntered;
  long long calibrator = 0;  // who the record names as calibrating it, 0 standing for the signer
};

void PrintTo(const SigningCase& c, std::ostream* out) { *out << c.name; }

class SigningRules : public Signing, public ::testing::WithParamInterface<SigningCase> {
 protected:
  long long calibrator() const override {
    return GetParam().calibrator == 0 ? currentPerson().uid : GetParam().calibrator;
  }
};

TEST_P(SigningRules, SignOrRefuseWithAReasonAndEnterOnlyFailedPasswords) {
  const SigningCase& c = GetParam();
  for (const auto& [meaning, uid] : c.before) signedBefore(meaning, uid == 0 ? currentPerson().uid : uid);
  signing::SigningPolicy policy = ownPolicy();
  SigningRequest r = request(c.meaning);
  c.adjust(r, policy);
  RecordSigner signer(store_, policy, session_);
  signing::Signature given;
  const bool ok = signer.sign(r, given);
  std::vector<signing::Signature> kept;
  ASSERT_TRUE(store_.signatures(record_.uuid, kept));
  if (*c.refusal == '\0') {
    ASSERT_TRUE(ok) << signer.problem();
    ASSERT_EQ(kept.size(), c.before.size() + 1);
    EXPECT_EQ(signing::signatureHash(kept.back()), signing::signatureHash(given));
    EXPECT_EQ(kept.back().login, currentPerson().login);
    EXPECT_EQ(kept.back().groups, groupsOf(currentPerson().login));
    EXPECT_EQ(kept.back().utcTime.back(), 'Z');
  } else {
    EXPECT_FALSE(ok);
    EXPECT_NE(signer.problem().find(c.refusal), std::string::npos) << signer.problem();
    EXPECT_EQ(kept.size(), c.before.size());  // nothing kept
  }
  EXPECT_EQ(trailEvents(signing::kSigningFailedEvent), c.failuresEntered);
  EXPECT_EQ(signer.problem().find(kPassword), std::string::npos);
  EXPECT_TRUE(store_.verify().ok) << store_.verify().problem;
}

void asIs(SigningRequest&, signing::SigningPolicy&) {}

INSTANTIATE_TEST_SUITE_P(
    Pam, SigningRules,
    ::testing::Values(
        SigningCase{"performed", {}, Meaning::Performed, asIs, "", 0},
        SigningCase{"wrong_password", {}, Meaning::Performed,
                    [](SigningRequest& r, signing::SigningPolicy&) { r.password = "kalibrier-2026"; },
                    "the password is not right", 1},
        SigningCase{"login_of_another", {}, Meaning::Performed,
                    [](SigningRequest& r, signing::SigningPolicy&) { r.login = "mallory"; },
                    "a person signs in their own session", 1},
        SigningCase{"without_the_role", {}, Meaning::Performed,
                    [](SigningRequest&, signing::SigningPolicy& p) { p.roles.operators = "trimwell-operator"; },
                    "needs the group trimwell-operator", 0},
        SigningCase{"reviewed_before_performed", {}, Meaning::Reviewed, asIs,
                    "reviewed only after it is signed as performed", 0},
        SigningCase{"approved_before_reviewed", {{Meaning::Performed, 4001}}, Meaning::Approved, asIs,
                    "approved only after it is reviewed", 0},
        SigningCase{"performed_twice", {{Meaning::Performed, 4001}}, Meaning::Performed, asIs,
                    "signed as performed already", 0},
        SigningCase{"approved_by_its_performer", {{Meaning::Performed, 0}, {Meaning::Reviewed, 4002}},
                    Meaning::Approved, asIs, "four eyes", 0},
        SigningCase{"approved_by_its_performer_without_four_eyes", {{Meaning::Performed, 0}, {Meaning::Reviewed, 4002}},
                    Meaning::Approved, [](SigningRequest&, signing::SigningPolicy& p) { p.fourEyes = false; }, "", 0},
        SigningCase{"approved_by_a_second_person", {{Meaning::Performed, 4001}, {Meaning::Reviewed, 4002}},
                    Meaning::Approved, asIs, "", 0, 4001},
        // Who calibrated performs: no one else signs for them, nor do they approve
        // their own work under another's performed signature.
        SigningCase{"performed_by_another_than_who_calibrated", {}, Meaning::Performed, asIs,
                    "Only who calibrated signs a record as performed: this one was calibrated by ", 0, 4001},
        SigningCase{"approved_by_its_amender", {{Meaning::Amended, 0}, {Meaning::Reviewed, 4002}}, Meaning::Approved,
                    asIs, "amended this record and may not approve it", 0, 4003},
        SigningCase{"approved_by_who_calibrated", {{Meaning::Performed, 4001}, {Meaning::Reviewed, 4002}},
                    Meaning::Approved, asIs, "calibrated this record and may not approve it", 0},
        // Amendments come as versions of their own: a first record is not signed as amended.
        SigningCase{"amended_on_a_first_record", {}, Meaning::Amended,
                    [](SigningRequest& r, signing::SigningPolicy&) { r.reason = "typo"; }, "amends none", 0},
        SigningCase{"reason_on_performed", {}, Meaning::Performed,
                    [](SigningRequest& r, signing::SigningPolicy&) { r.reason = "because"; },
                    "A reason goes with an amendment only", 0},
        SigningCase{"changed_since_shown", {}, Meaning::Performed,
                    [](SigningRequest& r, signing::SigningPolicy&) { r.shownHash = std::string(64, 'a'); },
                    "changed since it was shown", 0}));

// pam_acct_mgmt refuses an account that may not be used now, whatever its password.
TEST_F(Signing, AnAccountRefusedByPamSignsNothing) {
  test::PamPasswords elsewhere(kPassword, "sshd");
  RecordSigner signer(store_, ownPolicy(), session_);
  signing::Signature given;
  EXPECT_FALSE(signer.sign(request(Meaning::Performed), given));
  EXPECT_NE(signer.problem().find("may not sign here now"), std::string::npos) << signer.problem();
  EXPECT_EQ(trailEvents(signing::kSigningFailedEvent), 1u);
}

// Three wrong passwords lock signing, the right one included, on this station and
// after a restart, since the count is read from the trail.
TEST_F(Signing, FailuresInARowLockSigningAcrossRestarts) {
  {
    RecordSigner signer(store_, ownPolicy(), session_);
    signing::Signature given;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(signer.sign(request(Meaning::Performed, "guess"), given));
  }
  SqliteRecordStore reopened(folder_.file("records.sqlite"));
  signing::SigningSession restarted;
  RecordSigner signer(reopened, ownPolicy(), restarted);
  signing::Signature given;
  EXPECT_FALSE(signer.sign(request(Meaning::Performed), given));
  EXPECT_NE(signer.problem().find("is locked until"), std::string::npos) << signer.problem();
  EXPECT_EQ(trailEvents(signing::kSigningFailedEvent), 3u);  // a locked try asks no password
  // A station whose settings allow more tries signs nothing: the rules in force
  // are those the trail entered at the first signing.
  signing::SigningPolicy lenient = ownPolicy();
  lenient.lockoutTries = 4;
  RecordSigner later(reopened, lenient, restarted);
  EXPECT_FALSE(later.sign(request(Meaning::Performed), given));
  EXPECT_EQ(later.problem(), std::string(kRulesNotInForce) + " (they differ in lockout-tries)");
  // A lab that allows more tries (an approved change enters them) lets the right
  // password through, which clears the count.
  ASSERT_TRUE(reopened.noteStationEvent(signing::kRulesInForceEvent, "", signing::rulesText(lenient)));
  ASSERT_TRUE(later.sign(request(Meaning::Performed), given)) << later.problem();
  std::vector<std::string> failures;
  ASSERT_TRUE(reopened.signingFailures(currentPerson().login, currentPerson().uid, failures));
  EXPECT_TRUE(failures.empty());
}

// A change of the signing rules is approved through PAM by someone the rules in
// force make an approver; a wrong password is a failed signing like any other.
TEST_F(Signing, ARuleChangeIsApprovedByAnApproverInForce) {
  signing::SigningPolicy others = ownPolicy();
  others.roles.approvers = "trimwell-nobody-approves";
  std::string approvedBy;
  RecordSigner outsider(store_, others, session_);
  EXPECT_FALSE(outsider.approveChange(currentPerson().login, kPassword, approvedBy));
  EXPECT_NE(outsider.problem().find("is not in the approvers' group trimwell-nobody-approves"), std::string::npos)
      << outsider.problem();
  EXPECT_EQ(trailEvents(signing::kSigningFailedEvent), 0u);  // refused before any password
  RecordSigner approver(store_, ownPolicy(), session_);
  EXPECT_FALSE(approver.approveChange(currentPerson().login, "guess", approvedBy));
  EXPECT_EQ(trailEvents(signing::kSigningFailedEvent), 1u);
  ASSERT_TRUE(approver.approveChange(currentPerson().login, kPassword, approvedBy)) << approver.problem();
  EXPECT_EQ(approvedBy.rfind(signing::signerLine(currentPerson().login, currentPerson().uid) + ", ", 0), 0u)
      << approvedBy;
  EXPECT_EQ(approvedBy.back(), 'Z');
  // The approval, entered with its change, is a good signing: the failure before
  // it no longer counts toward a lock.
  ASSERT_TRUE(store_.noteStationEvent("laboratory settings changed", "",
                                      "four-eyes: \"yes\" -> \"no\"\n" + std::string(signing::kApprovedBy) + approvedBy));
  std::vector<std::string> failures;
  ASSERT_TRUE(store_.signingFailures(currentPerson().login, currentPerson().uid, failures));
  EXPECT_TRUE(failures.empty());
}

// The first signature of a session takes login and password, later ones the password.
TEST_F(Signing, TheFirstSignatureOfASessionAsksForTheLogin) {
  RecordSigner signer(store_, ownPolicy(), session_);
  EXPECT_TRUE(signer.needsLogin());
  SigningRequest first = request(Meaning::Performed);
  first.login.clear();
  signing::Signature given;
  EXPECT_FALSE(signer.sign(first, given));
  EXPECT_NE(signer.problem().find("needs your login"), std::string::npos);
  ASSERT_TRUE(signer.sign(request(Meaning::Performed), given)) << signer.problem();
  EXPECT_FALSE(signer.needsLogin());
  SigningRequest later = request(Meaning::Reviewed);
  later.login.clear();
  EXPECT_TRUE(signer.sign(later, given)) << signer.problem();
}

// A first version keeps the form every record had before amendments (1), so that
// the hashes kept in older trails still hold; an amendment is of form 2, over its
// reason and revision too; a record naming its customer's address, place or
// procedure is of form 4, one with a reference read from an instrument of form 5,
// one stating its rows' tolerances of form 6.
TEST(RecordForm, FirstVersionsKeepFormOneAndAmendmentsHashTheirReason) {
  const std::string header = "trimwell record";
  const auto versionOf = [&](const CalibrationRecord& r) {
    const std::vector<std::uint8_t> bytes = canonicalRecord(r);
    return static_cast<int>(bytes.at(4 + header.size() + 7));  // after the name's length and text, the low byte
  };
  CalibrationRecord named = test::labRecord(221, 3);
  // A row's tolerance stated makes form 6, over each row's.
  EXPECT_EQ(versionOf(named), 6);
  CalibrationRecord otherTolerance = named;
  otherTolerance.rows[0].tolerance = "\u00b1 0.5 % of the span between the row's calibration points";
  EXPECT_NE(recordHash(otherTolerance), recordHash(named));
  for (RecordRow& row : named.rows) row.tolerance.clear();
  // A reference read from an instrument makes form 5, over where and when it was read.
  EXPECT_EQ(versionOf(named), 5);
  for (std::string RecordResult::*field : {&RecordResult::referenceInstrument, &RecordResult::referenceTime}) {
    CalibrationRecord changed = named;
    changed.results[1].*field += "x";
    EXPECT_NE(recordHash(changed), recordHash(named));
  }
  for (RecordResult& result : named.results) result.referenceInstrument = result.referenceTime = "";
  CalibrationRecord first = named;
  for (std::string* t : {&first.customerAddress, &first.customerEmail, &first.calibrationPlace, &first.procedureId,
                         &first.procedureVersion}) {
    t->clear();
  }
  EXPECT_EQ(versionOf(first), 1);
  // Naming the customer's address, the place or the procedure makes form 4, over each of them.
  EXPECT_EQ(versionOf(named), 4);
  for (std::string CalibrationRecord::*field :
       {&CalibrationRecord::customerAddress, &CalibrationRecord::customerEmail, &CalibrationRecord::calibrationPlace,
        &CalibrationRecord::procedureId, &CalibrationRecord::procedureVersion}) {
    CalibrationRecord changed = named;
    changed.*field += "x";
    EXPECT_NE(recordHash(changed), recordHash(named));
  }
  CalibrationRecord amended = first;
  amended.amendsUuid = first.uuid;
  amended.revision = 1;
  amended.amendmentReason = "typo";
  EXPECT_EQ(versionOf(amended), 2);
  CalibrationRecord otherReason = amended;
  otherReason.amendmentReason = "typ0";
  EXPECT_NE(recordHash(amended), recordHash(otherReason));
  EXPECT_NE(recordHash(amended), recordHash(first));
}

TEST(SigningSession, AsksForTheLoginAgainAfterFifteenIdleMinutes) {
  signing::SigningSession session;
  const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  EXPECT_TRUE(session.needsLogin(start));
  session.signedAt(start);
  EXPECT_FALSE(session.needsLogin(start + std::chrono::minutes(14)));
  EXPECT_TRUE(session.needsLogin(start + std::chrono::minutes(15)));
}

TEST(Lockout, EndsTheLockTimeAfterTheLastFailure) {
  signing::SigningPolicy policy;
  EXPECT_FALSE(signing::lockedUntil({"2026-12-10T09:00:00Z", "2026-12-10T09:01:00Z"}, policy));
  const auto until = signing::lockedUntil({"2026-12-10T09:00:00Z", "2026-12-10T09:01:00Z", "2026-12-10T09:02:30Z"},
                                          policy);
  ASSERT_TRUE(until);
  EXPECT_EQ(std::chrono::system_clock::to_time_t(*until), 1796893350 + 600);
  // After a lock the count starts anew: one more failure does not lock again.
  EXPECT_EQ(signing::lockedUntil({"2026-12-10T09:00:00Z", "2026-12-10T09:01:00Z", "2026-12-10T09:02:30Z",
                                  "2026-12-10T09:20:00Z"},
                                 policy),
            until);
}

// What an owner of the file could do to a signature, and what verify finds.
struct SignatureAttack {
  const char* name;
  const char* sql;
  const char* found;
};

void PrintTo(const SignatureAttack& c, std::ostream* out) { *out << c.name; }

class SignatureTamper : public Signing, public ::testing::WithParamInterface<SignatureAttack> {};

TEST_P(SignatureTamper, VerifyNamesTheSignature) {
  RecordSigner signer(store_, ownPolicy(), session_);
  signing::Signature given;
  ASSERT_TRUE(signer.sign(request(Meaning::Performed), given)) << signer.problem();
  ASSERT_TRUE(store_.verify().ok);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder_.file("records.sqlite").c_str(), &db), SQLITE_OK);
  test::dropTriggers(db);
  ASSERT_EQ(sqlite3_exec(db, GetParam().sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
  SqliteRecordStore reopened(folder_.file("records.sqlite"));
  const signing::ChainCheck check = reopened.verify();
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.problem.find(GetParam().found), std::string::npos) << check.problem;
  // Nor is a certificate issued naming what the file now says.
  CalibrationRecord kept;
  ASSERT_TRUE(reopened.load(record_.uuid, kept));
  Laboratory lab;
  lab.name = "Kalibrierlabor Nord";
  lab.requireApproval = "no";
  std::string problem;
  EXPECT_FALSE(issueCertificateNumber(reopened, lab, kept, problem));
  EXPECT_NE(problem.find("does not match its audit trail"), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Owner, SignatureTamper,
    ::testing::Values(SignatureAttack{"meaning_changed", "UPDATE signatures SET meaning = 'approved'",
                                      "was changed after it was given"},
                      SignatureAttack{"signer_changed", "UPDATE signatures SET printed_name = 'Someone Else'",
                                      "was changed after it was given"},
                      SignatureAttack{"signature_deleted", "DELETE FROM signatures", "is missing"},
                      SignatureAttack{"signature_copied_to_another_record",
                                      "UPDATE signatures SET record_uuid = 'another'",
                                      "was changed after it was given"}));

// A record changed past its trail is not signed: a signature would seal the change.
TEST_F(Signing, ARecordChangedPastItsTrailIsNotSigned) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder_.file("records.sqlite").c_str(), &db), SQLITE_OK);
  test::dropTriggers(db);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE record_rows SET point1_data = 37.5 WHERE position = 0", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  SqliteRecordStore reopened(folder_.file("records.sqlite"));
  RecordSigner signer(reopened, ownPolicy(), session_);
  signing::Signature given;
  EXPECT_FALSE(signer.sign(request(Meaning::Performed), given));
  EXPECT_NE(signer.problem().find("does not match its audit trail (it was changed after audit entry"), std::string::npos)
      << signer.problem();
  // Nor by the store itself, nor does a check or a number enter it anew.
  EXPECT_FALSE(reopened.addSignature(test::signatureBy(record_, Meaning::Performed, 4001, "o", "O", "g")));
  EXPECT_FALSE(reopened.appendResults(record_.uuid, {test::sampleResult(0, true, 20.5)}));
  std::string number = "N-1";
  EXPECT_FALSE(reopened.keepCertificateNumber(record_.uuid, number));
  EXPECT_FALSE(reopened.verify().ok);
}

// A version replaced by its amendment is not signed; the amendment is, as amended,
// for the reason it was made with.
TEST_F(Signing, AnAmendedVersionIsNotSignedItsAmendmentIs) {
  CalibrationRecord next = record_;
  next.uuid.clear();
  next.amendsUuid = record_.uuid;
  next.revision = 1;
  next.amendmentReason = "a late check";
  ASSERT_TRUE(store_.add(next)) << store_.problem();
  RecordSigner signer(store_, ownPolicy(), session_);
  signing::Signature given;
  EXPECT_FALSE(signer.sign(request(Meaning::Performed), given));
  EXPECT_NE(signer.problem().find("The record was amended (its next version is " + next.uuid + ")"), std::string::npos)
      << signer.problem();
  SigningRequest amendment = request(Meaning::Amended);
  amendment.uuid = next.uuid;
  ASSERT_TRUE(signer.sign(amendment, given)) << signer.problem();
  EXPECT_EQ(given.reason, "a late check");
}

TEST_F(Signing, SignaturesCannotBeChangedNorTakenBackThroughTheFile) {
  RecordSigner signer(store_, ownPolicy(), session_);
  signing::Signature given;
  ASSERT_TRUE(signer.sign(request(Meaning::Performed), given)) << signer.problem();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder_.file("records.sqlite").c_str(), &db), SQLITE_OK);
  for (const char* sql : {"UPDATE signatures SET meaning = 'approved'", "DELETE FROM signatures",
                          "INSERT OR REPLACE INTO signatures SELECT * FROM signatures"}) {
    EXPECT_NE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  sqlite3_close(db);
  // A second station's signature of the same meaning, checked under the file's lock.
  CalibrationRecord kept;
  ASSERT_TRUE(store_.load(record_.uuid, kept));
  EXPECT_FALSE(store_.addSignature(test::signatureBy(kept, Meaning::Performed, 4001, "other", "Other", "g")));
  EXPECT_NE(store_.problem().find("was signed as performed meanwhile"), std::string::npos) << store_.problem();
  // A signed record is sealed: a later check is not added, and its readings are kept in the trail.
  EXPECT_FALSE(store_.appendResults(record_.uuid, {test::sampleResult(0, true, 20.5)}));
  EXPECT_NE(store_.problem().find("which seals it"), std::string::npos) << store_.problem();
  std::vector<signing::AuditEntry> about;
  ASSERT_TRUE(store_.recordTrail(record_.uuid, about));
  ASSERT_FALSE(about.empty());
  EXPECT_EQ(about.back().event, "check not added");
  EXPECT_NE(about.back().details.find("reading 20.5"), std::string::npos) << about.back().details;
  EXPECT_TRUE(store_.verify().ok) << store_.verify().problem;
}

}  // namespace
}  // namespace trimwell
