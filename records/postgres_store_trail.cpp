// The lab store's audit trail and signatures: each entry appended under the
// chain's lock in the transaction of what it is about, numbered after the
// committed head, and among its station's entries; the records held to it; the
// roles a lab sets up.
#include <libpq-fe.h>

#include <algorithm>
#include <map>

#include "records/postgres_append_only.h"
#include "records/postgres_record_store.h"
#include "records/record_hash.h"
#include "records/record_trail_check.h"
#include "records/trail_rows.h"

namespace trimwell {
namespace {

std::optional<std::string> sentValue(const FieldValue& value) {
  if (const long long* n = std::get_if<long long>(&value)) return std::to_string(*n);
  if (const std::string* text = std::get_if<std::string>(&value)) return *text;
  return std::nullopt;
}

std::vector<std::optional<std::string>> sentRow(const std::vector<FieldValue>& row) {
  std::vector<std::optional<std::string>> values;
  for (const FieldValue& v : row) values.push_back(sentValue(v));
  return values;
}

RowCell cellsOf(const PGresult* r, int row) {
  return [r, row](int column, SqlType type) -> FieldValue {
    const char* text = PQgetvalue(r, row, column);
    if (type == SqlType::BigInteger) return std::stoll(text[0] == '\0' ? "0" : text);
    return std::string(text);
  };
}

constexpr const char* kServerUtc = "to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";

}  // namespace

bool PostgresRecordStore::beginWriting() {
  if (!command("BEGIN ISOLATION LEVEL READ COMMITTED")) return false;
  return command("SELECT pg_advisory_xact_lock(" + std::to_string(kChainLock) + ")") || abandon();
}

bool PostgresRecordStore::writing(const std::function<bool()>& work) {
  if (!beginWriting()) return false;
  return (work() && command("COMMIT")) || abandon();
}

// Read after the chain's lock, each statement in a snapshot of its own: the head
// is the last committed one. The station's number comes from the partial index
// audit_trail_by_station, whose condition the query repeats.
bool PostgresRecordStore::appendEntry(signing::AuditEntry& entry) {
  const Reply head = exec(std::string("SELECT (SELECT sequence FROM audit_trail ORDER BY sequence DESC LIMIT 1),"
                                      " (SELECT entry_hash FROM audit_trail ORDER BY sequence DESC LIMIT 1),"
                                      " (SELECT coalesce(max(station_sequence), 0) FROM audit_trail"
                                      " WHERE machine_id = $1 AND station_sequence > 0), ") +
                              kServerUtc,
                          {entry.machineId});
  if (!answered(head)) return false;
  const PGresult* r = head.result.get();
  const bool first = PQgetisnull(r, 0, 0) != 0;
  entry.sequence = first ? 1 : std::stoll(PQgetvalue(r, 0, 0)) + 1;
  entry.stationSequence = std::stoll(PQgetvalue(r, 0, 2)) + 1;
  entry.arrivedTime = PQgetvalue(r, 0, 3);
  signing::sealEntry(entry, first ? signing::kChainStart : std::string(PQgetvalue(r, 0, 1)));
  return answered(exec(std::string("INSERT INTO audit_trail(") + kAuditColumns + ") VALUES (" +
                           placeholders(kAuditColumnCount, '$') + ")",
                       sentRow(auditRow(entry))));
}

bool PostgresRecordStore::noteChange(signing::AuditEntry& entry) {
  entry.benchTime = utcNow();
  entry.machineId = machineId();
  entry.stationVersion = kStationVersion;
  entry.actor = actorNow();
  return appendEntry(entry);
}

// The hash is of the record read back, as verify reads it.
bool PostgresRecordStore::noteEvent(const std::string& event, const std::string& uuid, const std::string& details) {
  CalibrationRecord now;
  if (!loadOnce(uuid, now)) return false;
  signing::AuditEntry entry = entryAbout(now, event, details);
  return noteChange(entry);
}

// Records kept before the lab's store kept a trail are entered as they are now,
// with a number given before: the trail vouches for them from here on.
bool PostgresRecordStore::enterRecordsKeptBefore() {
  if (!command("SELECT pg_advisory_xact_lock(" + std::to_string(kChainLock) + ")")) return false;
  const Reply kept = exec("SELECT uuid, coalesce(certificate_number, '') FROM records ORDER BY id");
  if (!answered(kept)) return false;
  for (int i = 0; i < PQntuples(kept.result.get()); ++i) {
    const std::string uuid = PQgetvalue(kept.result.get(), i, 0);
    const std::string number = PQgetvalue(kept.result.get(), i, 1);
    if (!noteEvent("record entered", uuid, "kept before the lab's store had an audit trail") ||
        (!number.empty() && !noteEvent("certificate numbered", uuid, number))) {
      return false;
    }
  }
  std::vector<metrology::StandardEntry> standards;
  if (!standardsOnce(standards)) return false;
  for (const metrology::StandardEntry& s : standards) {
    signing::AuditEntry entered = stationEntry(kStandardSaved, standardEnteredDetails(s));
    if (!noteChange(entered)) return false;
  }
  return true;
}

// Under the chain's lock: the first number given stays, whichever station gave it.
bool PostgresRecordStore::numberOnce(const std::string& uuid, std::string& number) {
  if (!matchesTrail(uuid)) return false;
  const Reply given = exec("UPDATE records SET certificate_number = $2 WHERE uuid = $1 AND"
                           " coalesce(certificate_number, '') = '' RETURNING certificate_number",
                           {uuid, number});
  if (!answered(given)) return false;
  if (PQntuples(given.result.get()) == 1) return noteEvent("certificate numbered", uuid, number);
  const Reply kept = exec("SELECT certificate_number FROM records WHERE uuid = $1", {uuid});
  if (!answered(kept)) return false;
  if (PQntuples(kept.result.get()) != 1) {
    problem_ = "there is no record " + uuid;
    return false;
  }
  number = PQgetvalue(kept.result.get(), 0, 0);
  return true;
}

// A record that waited on a station was signed there: its signatures come with
// it, each entered here as it was given, in the order given.
bool PostgresRecordStore::insertCarriedSignatures(const CalibrationRecord& r) {
  for (const signing::Signature& s : r.signatures) {
    bool keptBefore = false;
    if (!insertSignature(s, keptBefore)) return false;
    if (!keptBefore && !noteEvent(signing::kSignedEvent, r.uuid, signing::signedDetails(s))) return false;
  }
  return insertCarriedRefusedChecks(r);
}

// The readings of checks refused on the station once the waiting record was
// sealed there: each entered once, however often the record is sent.
bool PostgresRecordStore::insertCarriedRefusedChecks(const CalibrationRecord& r) {
  if (r.refusedChecks.empty()) return true;
  const Reply known = exec("SELECT details FROM audit_trail WHERE record_uuid = $1 AND event = $2 ORDER BY sequence",
                           {r.uuid, kCheckNotAdded});
  if (!answered(known)) return false;
  std::vector<std::string> entered;
  for (int i = 0; i < PQntuples(known.result.get()); ++i) entered.emplace_back(PQgetvalue(known.result.get(), i, 0));
  for (const std::string& readings : r.refusedChecks) {
    const auto same = std::find(entered.begin(), entered.end(), readings);
    if (same != entered.end()) {
      entered.erase(same);
    } else if (!noteEvent(kCheckNotAdded, r.uuid, readings)) {
      return false;
    }
  }
  return true;
}

// A signed record takes no more results, but what was measured is not lost: the
// check's readings go into the audit trail beside it. False, saying so.
bool PostgresRecordStore::keepReadingsOfSealed(const std::string& uuid, const std::vector<RecordResult>& results) {
  if (!noteEvent(kCheckNotAdded, uuid, checkReadings(results)) || !command("COMMIT")) return abandon();
  problem_ = kSealedRefusal;
  fault_ = StoreFault::RefusesRecord;
  return false;
}

bool PostgresRecordStore::readTrail(std::vector<signing::AuditEntry>& out, const std::string& uuid) {
  out.clear();
  const Reply rows = uuid.empty() ? exec(std::string("SELECT ") + kAuditColumns + " FROM audit_trail ORDER BY sequence")
                                  : exec(std::string("SELECT ") + kAuditColumns +
                                             " FROM audit_trail WHERE record_uuid = $1 ORDER BY sequence",
                                         {uuid});
  if (!answered(rows)) return false;
  for (int i = 0; i < PQntuples(rows.result.get()); ++i) out.push_back(auditEntryFromRow(cellsOf(rows.result.get(), i)));
  return true;
}

bool PostgresRecordStore::readKept(std::vector<signing::KeptSignature>& out, const std::string& uuid) {
  out.clear();
  const std::string select = std::string("SELECT ") + kSignatureColumns + " FROM signatures";
  const Reply rows = uuid.empty()
                         ? exec(select + " ORDER BY record_uuid COLLATE \"C\", position")
                         : exec(select + " WHERE record_uuid = $1 ORDER BY position", {uuid});
  if (!answered(rows)) return false;
  for (int i = 0; i < PQntuples(rows.result.get()); ++i) out.push_back(signatureFromRow(cellsOf(rows.result.get(), i)));
  return true;
}

// After those the record has. One already kept (a reply lost, the record sent
// again) is not kept twice.
bool PostgresRecordStore::insertSignature(const signing::Signature& s, bool& keptBefore) {
  const Reply known = exec("SELECT (SELECT count(*) FROM signatures WHERE record_uuid = $1),"
                           " (SELECT count(*) FROM signatures WHERE signature_hash = $2)",
                           {s.recordUuid, signing::signatureHash(s)});
  if (!answered(known)) return false;
  keptBefore = std::stoll(PQgetvalue(known.result.get(), 0, 1)) > 0;
  if (keptBefore) return true;
  const long long position = std::stoll(PQgetvalue(known.result.get(), 0, 0)) + 1;
  return answered(exec(std::string("INSERT INTO signatures(") + kSignatureColumns + ") VALUES (" +
                           placeholders(kSignatureColumnCount, '$') + ")",
                       sentRow(signatureRow(s, position))));
}

bool PostgresRecordStore::signOnce(const signing::Signature& signature) {
  CalibrationRecord now;
  if (!matchesTrail(signature.recordUuid) || !loadOnce(signature.recordUuid, now)) return false;
  if (recordHash(now) != signature.recordHash) {
    problem_ = "record " + signature.recordUuid + " changed since it was shown for signing (its content hash differs)";
    return false;
  }
  const std::string hash = signing::signatureHash(signature);
  for (const signing::Signature& given : now.signatures) {
    if (given.meaning == signature.meaning && signing::signatureHash(given) != hash) {
      problem_ = std::string("the record was signed as ") + signing::meaningName(given.meaning) + " meanwhile, by " +
                 given.login;
      return false;
    }
  }
  bool keptBefore = false;
  return insertSignature(signature, keptBefore) &&
         (keptBefore || noteEvent(signing::kSignedEvent, signature.recordUuid, signing::signedDetails(signature)));
}

bool PostgresRecordStore::addSignature(const signing::Signature& signature) {
  return retrying([&] { return writing([&] { return signOnce(signature); }); });
}

bool PostgresRecordStore::signatures(const std::string& uuid, std::vector<signing::Signature>& out) {
  out.clear();
  std::vector<signing::KeptSignature> kept;
  if (!retrying([&] { return readKept(kept, uuid); })) return false;
  for (signing::KeptSignature& k : kept) out.push_back(std::move(k.signature));
  return true;
}

bool PostgresRecordStore::noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                                            const std::string& why) {
  return retrying([&] {
    return writing([&] {
      // About the record where the lab holds it (and as its trail has it), so that
      // its history shows the attempt.
      CalibrationRecord now;
      const bool about = !uuid.empty() && matchesTrail(uuid) && loadOnce(uuid, now);
      signing::AuditEntry entry = failedSigningEntry(about ? &now : nullptr, login, uid, uuid, why);
      return noteChange(entry);
    });
  });
}

bool PostgresRecordStore::signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) {
  out.clear();
  std::vector<signing::AuditEntry> entries;
  const std::string signer = signing::signerLine(login, uid);
  // Only the entries of signings: a lab's trail holds many others.
  const bool read = retrying([&] {
    entries.clear();
    const Reply rows = exec(std::string("SELECT ") + kAuditColumns +
                                " FROM audit_trail WHERE (event IN ($1, $2) AND split_part(details, E'\\n', 1) = $3)"
                                " OR strpos(details, E'\\n' || $4 || $3 || ',') > 0 ORDER BY sequence",
                            {signing::kSignedEvent, signing::kSigningFailedEvent, signer, signing::kApprovedBy});
    if (!answered(rows)) return false;
    for (int i = 0; i < PQntuples(rows.result.get()); ++i) {
      entries.push_back(auditEntryFromRow(cellsOf(rows.result.get(), i)));
    }
    return true;
  });
  if (read) out = signing::failuresSinceSuccess(entries, signer);
  return read;
}

bool PostgresRecordStore::lastStationEvent(const std::string& event, std::string& details) {
  details.clear();
  return retrying([&] {
    const Reply rows = exec("SELECT details FROM audit_trail WHERE event = $1 AND coalesce(record_uuid, '') = ''"
                            " ORDER BY sequence DESC LIMIT 1",
                            {event});
    if (!answered(rows)) return false;
    details = PQntuples(rows.result.get()) == 1 ? PQgetvalue(rows.result.get(), 0, 0) : "";
    return true;
  });
}

bool PostgresRecordStore::noteStationEvent(const std::string& event, const std::string& uuid,
                                           const std::string& details) {
  return retrying([&] {
    return writing([&] {
      if (!uuid.empty()) return noteEvent(event, uuid, details);
      signing::AuditEntry entry;
      entry.event = event;
      entry.details = details;
      return noteChange(entry);
    });
  });
}

bool PostgresRecordStore::amendedBy(const std::string& uuid, std::string& later) {
  later.clear();
  return retrying([&] {
    const Reply rows = exec("SELECT uuid FROM records WHERE amends_uuid = $1", {uuid});
    if (!answered(rows)) return false;
    if (PQntuples(rows.result.get()) > 0) later = PQgetvalue(rows.result.get(), 0, 0);
    return true;
  });
}

bool PostgresRecordStore::recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) {
  out.clear();
  return !uuid.empty() && retrying([&] { return readTrail(out, uuid); });
}

// The record against the entries about it and its signatures, as kept now.
bool PostgresRecordStore::trailProblem(const std::string& uuid, std::string& broken) {
  std::vector<signing::AuditEntry> about;
  CalibrationRecord now;
  std::vector<signing::KeptSignature> mine;
  if (!readTrail(about, uuid) || !loadOnce(uuid, now) || !readKept(mine, uuid)) return false;
  broken = recordTrailProblem(about, now, mine);
  return true;
}

bool PostgresRecordStore::checkRecord(const std::string& uuid, std::string& problem) {
  if (!retrying([&] { return trailProblem(uuid, problem); })) {
    problem = problem_;
    return false;
  }
  return problem.empty();
}

// Inside a transaction of the caller's: the record as it is there.
bool PostgresRecordStore::matchesTrail(const std::string& uuid) {
  std::string broken;
  if (!trailProblem(uuid, broken)) return false;
  if (broken.empty()) return true;
  problem_ = "the record does not match its audit trail (" + broken + ")";
  fault_ = StoreFault::RefusesRecord;
  return false;
}

std::string PostgresRecordStore::chainHead() {
  std::string head;
  retrying([&] {
    const Reply rows = exec("SELECT entry_hash FROM audit_trail ORDER BY sequence DESC LIMIT 1");
    if (!answered(rows)) return false;
    if (PQntuples(rows.result.get()) == 1) head = PQgetvalue(rows.result.get(), 0, 0);
    return true;
  });
  return head;
}

signing::ChainCheck PostgresRecordStore::verify(const std::string& keptHead) {
  std::vector<signing::AuditEntry> entries;
  std::vector<CalibrationRecord> records;
  std::vector<signing::KeptSignature> kept;
  std::vector<metrology::StandardEntry> standards;
  // One snapshot for all: a station appending meanwhile is not half seen.
  const bool read = retrying([&] {
    if (!command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")) return false;
    const bool ok = readTrail(entries) && loadEvery(records) && readKept(kept) && standardsOnce(standards);
    command("ROLLBACK");
    return ok;
  });
  if (!read) {
    signing::ChainCheck failed;
    failed.ok = false;
    failed.problem = problem_;
    return failed;
  }
  return verifyRecords(entries, records, kept, standards, keptHead);
}

bool PostgresRecordStore::initLab() {
  fault_ = StoreFault::None;
  if (!openConnection()) return false;
  if (!command(labRolesSql()) || !command(std::string("SET ROLE ") + kLabOwnerRole)) return false;
  const bool made = checkSchema() && command(stationGrantsSql());
  const std::string reason = problem_;
  command("RESET ROLE");
  problem_ = reason;
  return made;
}

}  // namespace trimwell
