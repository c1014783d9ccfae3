// The records file's signatures: each kept with its audit entry in one
// transaction, and failed signings entered for the lockout to count; a record
// held to its entries; the station's other events entered.
#include "records/record_hash.h"
#include "records/record_trail_check.h"
#include "records/sqlite_audit_trail.h"
#include "records/sqlite_record_store.h"
#include "records/sqlite_signatures.h"
#include "records/sqlite_statement.h"
#include "records/trail_rows.h"

namespace trimwell {

bool SqliteRecordStore::addSignature(const signing::Signature& signature) {
  if (!ensureOpen()) return false;
  return inTransaction([&] {
    CalibrationRecord now;
    if (!matchesTrail(signature.recordUuid) || !load(signature.recordUuid, now)) return false;
    // Checked again under the write lock: the record may have changed since it was shown.
    if (recordHash(now) != signature.recordHash) {
      problem_ = "record " + signature.recordUuid + " changed since it was shown for signing (its content hash differs)";
      return false;
    }
    // Another station may have signed it meanwhile: a meaning is given once.
    for (const signing::Signature& given : now.signatures) {
      if (given.meaning == signature.meaning) {
        problem_ = std::string("the record was signed as ") + signing::meaningName(given.meaning) + " meanwhile, by " +
                   given.login;
        return false;
      }
    }
    // Marked as an amended record is, so that an outbox sending it meanwhile keeps
    // it to send again with the signature.
    Statement mark(db_, "UPDATE records SET amended = 1 WHERE uuid = ?");
    mark.bind(1, signature.recordUuid);
    if (mark.step() != SQLITE_DONE) return fail("cannot mark the record signed");
    return insertSignature(db_, signature, problem_) &&
           noteEvent(signing::kSignedEvent, signature.recordUuid, signing::signedDetails(signature));
  });
}

bool SqliteRecordStore::signatures(const std::string& uuid, std::vector<signing::Signature>& out) {
  out.clear();
  return ensureOpen() && readSignatures(db_, uuid, out, problem_);
}

bool SqliteRecordStore::noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                                          const std::string& why) {
  if (!ensureOpen()) return false;
  return inTransaction([&] {
    // About the record where it is here (and as its trail has it), so that its
    // history shows the attempt.
    CalibrationRecord now;
    const bool about = !uuid.empty() && matchesTrail(uuid) && load(uuid, now);
    signing::AuditEntry entry = failedSigningEntry(about ? &now : nullptr, login, uid, uuid, why);
    return noteChange(entry);
  });
}

bool SqliteRecordStore::signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) {
  out.clear();
  std::vector<signing::AuditEntry> entries;
  if (!ensureOpen() || !readAuditTrail(db_, entries, problem_)) return false;
  out = signing::failuresSinceSuccess(entries, signing::signerLine(login, uid));
  return true;
}

bool SqliteRecordStore::lastStationEvent(const std::string& event, std::string& details) {
  details.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, "SELECT details FROM audit_trail WHERE event = ?1 AND coalesce(record_uuid, '') = ''"
                       " ORDER BY sequence DESC LIMIT 1");
  query.bind(1, event);
  const int state = query.step();
  if (state == SQLITE_ROW) details = query.text(0);
  return state == SQLITE_ROW || state == SQLITE_DONE || fail("cannot read the audit trail");
}

bool SqliteRecordStore::recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) {
  out.clear();
  return !uuid.empty() && ensureOpen() && readAuditTrail(db_, out, problem_, uuid);
}

// The record against the entries about it: the last one's record hash, the last
// number given, and each signature named; each of those entries must hold its own
// hash. The whole chain is verify's.
bool SqliteRecordStore::checkRecord(const std::string& uuid, std::string& problem) {
  // A file read as an older station left it, before it had a trail, has nothing
  // to hold a record to; a station entering it would vouch for it as it is now.
  if (readVersion_ > 0 && readVersion_ < kAuditTrailSince) {
    problem.clear();
    return true;
  }
  std::vector<signing::AuditEntry> about;
  CalibrationRecord now;
  std::vector<signing::KeptSignature> mine;
  if (!recordTrail(uuid, about) || !load(uuid, now) || !readKeptSignatures(db_, mine, problem_, uuid)) {
    problem = problem_;
    return false;
  }
  problem = recordTrailProblem(about, now, mine);
  return problem.empty();
}

bool SqliteRecordStore::noteStationEvent(const std::string& event, const std::string& uuid,
                                         const std::string& details) {
  if (!ensureOpen()) return false;
  return inTransaction([&] {
    if (!uuid.empty()) return noteEvent(event, uuid, details);
    signing::AuditEntry entry;
    entry.event = event;
    entry.details = details;
    return noteChange(entry);
  });
}

bool SqliteRecordStore::amendedBy(const std::string& uuid, std::string& later) {
  later.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, "SELECT uuid FROM records WHERE amends_uuid = ?");
  query.bind(1, uuid);
  const int state = query.step();
  if (state == SQLITE_ROW) later = query.text(0);
  return state == SQLITE_ROW || state == SQLITE_DONE || fail("cannot read the record's amendments");
}

bool SqliteRecordStore::auditTrail(std::vector<signing::AuditEntry>& out) {
  out.clear();
  return ensureOpen() && readAuditTrail(db_, out, problem_);
}

bool SqliteRecordStore::matchesTrail(const std::string& uuid) {
  std::string broken;
  if (checkRecord(uuid, broken)) return true;
  problem_ = "the record does not match its audit trail (" + broken + ")";
  return false;
}

bool SqliteRecordStore::sealed(const std::string& uuid, bool& out) {
  Statement query(db_, "SELECT count(*) FROM signatures WHERE record_uuid = ?");
  query.bind(1, uuid);
  if (query.step() != SQLITE_ROW) return fail("cannot read the record's signatures");
  out = query.integer(0) > 0;
  return true;
}

}  // namespace trimwell
