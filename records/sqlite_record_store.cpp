#include "records/sqlite_record_store.h"

#include <sqlite3.h>

#include <sys/statvfs.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <span>

#include "platform/default_paths.h"
#include "records/record_check.h"
#include "records/record_hash.h"
#include "records/record_schema.h"
#include "records/sqlite_audit_trail.h"
#include "records/sqlite_signatures.h"
#include "records/sqlite_statement.h"
#include "records/trail_rows.h"

namespace trimwell {
namespace {

// A record's children at places `first` on, each bound after its record and place.
template <typename T>
bool insertChildren(sqlite3* db, const ColumnTable<T>& table, long long id, std::span<const T> items, long long first) {
  Statement insert(db, insertSql(kSqliteDialect, table));
  if (!insert.ok()) return false;
  for (const T& item : items) {
    insert.bind(1, id);
    insert.bind(2, first++);
    bindFields(table, item, 3, [&](int at, SqlType, const FieldValue& value) { insert.bind(at, value); });
    if (insert.step() != SQLITE_DONE) return false;
    insert.reset();
  }
  return true;
}

// `unfit` names the first of their values that does not fit its field.
template <typename T>
bool loadChildren(sqlite3* db, const ColumnTable<T>& table, long long id, std::vector<T>& out, std::string& unfit) {
  Statement query(db, selectSql(table) + " WHERE record_id = ? ORDER BY position");
  if (!query.ok()) return false;
  query.bind(1, id);
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    query.read(table, out.emplace_back());
    if (unfit.empty() && !query.unfit().empty()) unfit = std::string(table.name) + "." + query.unfit();
  }
  return state == SQLITE_DONE;
}

// A record's number and how many results it has, or false when there is none.
bool findRecord(sqlite3* db, const std::string& uuid, long long& id, long long& results) {
  Statement known(db,
                  "SELECT id, (SELECT count(*) FROM record_results WHERE record_id = records.id) FROM records"
                  " WHERE uuid = ?");
  known.bind(1, uuid);
  if (known.step() != SQLITE_ROW) return false;
  id = known.integer(0);
  results = known.integer(1);
  return true;
}

long long unixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

SqliteRecordStore::SqliteRecordStore(const std::string& path, int busyTimeoutMs)
    : path_(path), busyTimeoutMs_(busyTimeoutMs) {
  if (path != ":memory:") {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    // Every customer's name and results are in it: its owner's alone, as are the
    // log and index SQLite makes beside it with the same rights.
    std::string unmade;
    makePrivateFile(path, unmade);
  }
  open();
}

SqliteRecordStore::SqliteRecordStore(const std::string& path, StoreAccess access)
    : path_(path), busyTimeoutMs_(kBusyTimeoutMs), access_(access) {
  if (access == StoreAccess::Keep) {
    open();
  } else {
    openExisting();
  }
}

SqliteRecordStore::~SqliteRecordStore() { sqlite3_close(db_); }

bool SqliteRecordStore::open() {
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    problem_ = "cannot open " + path_ + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  // Several stations may share the file; each waits its turn. The log is kept to
  // 64 KB once folded in, and every commit reaches the disk before it counts.
  sqlite3_busy_timeout(db_, busyTimeoutMs_);
  if (!execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;"
               " PRAGMA journal_size_limit=65536;") ||
      !migrate()) {
    return closeRefusing("cannot open ");
  }
  outbox_ = number("PRAGMA application_id") == kOutboxFileId;
  return true;
}

bool SqliteRecordStore::closeRefusing(const char* what) {
  const std::string reason = problem_;
  sqlite3_close(db_);
  db_ = nullptr;
  problem_ = what + path_ + ": " + reason;
  return false;
}

bool SqliteRecordStore::keepAsOutbox() {
  if (!ensureOpen()) return false;
  if (outbox_) return true;
  if (!execute(("PRAGMA application_id=" + std::to_string(kOutboxFileId)).c_str())) return false;
  outbox_ = true;
  return true;
}

bool SqliteRecordStore::ensureOpen() {
  return db_ != nullptr || (access_ == StoreAccess::Keep ? open() : openExisting());
}

bool SqliteRecordStore::fail(const char* what) {
  problem_ = std::string(what) + ": " +
             (workSpent_ ? "the file asks more work of a query than any records file of its size needs"
                         : sqlite3_errmsg(db_));
  return false;
}

bool SqliteRecordStore::execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
  problem_ = workSpent_ ? "the file asks more work of a query than any records file of its size needs"
             : error != nullptr ? error
                                : "SQLite error";
  sqlite3_free(error);
  return false;
}

int SqliteRecordStore::number(const std::string& sql) {
  Statement query(db_, sql.c_str());
  if (query.ok() && query.step() == SQLITE_ROW) return static_cast<int>(query.integer(0));
  fail("cannot read the schema version");
  return -1;
}

int SqliteRecordStore::schemaVersion() { return number(kReadVersion); }

std::string SqliteRecordStore::setting(const char* pragma) {
  Statement query(db_, (std::string("PRAGMA ") + pragma).c_str());
  return query.ok() && query.step() == SQLITE_ROW ? query.text(0) : "";
}

// Files made before the version table kept their version in the header
// (user_version); the header still follows, for the stations that look there.
bool SqliteRecordStore::migrate() {
  if (!execute("BEGIN IMMEDIATE")) return false;
  const SchemaKeeping keeping{
      [this](const std::string& sql) { return execute(sql.c_str()); },
      [this](const std::string& sql) { return number(sql); },
      [this] { return number("PRAGMA user_version"); },
      [this](int version) { return execute(("PRAGMA user_version=" + std::to_string(version)).c_str()); }};
  int found = 0;
  const SchemaState state = bringSchemaUpToDate(keeping, kSqliteDialect, found);
  if (state == SchemaState::Newer) {
    problem_ = "the records file is of a newer station (schema " + std::to_string(found) + ")";
  }
  if (state != SchemaState::Current || (found > 0 && found < kAuditTrailSince && !enterRecordsKeptBefore()) ||
      !execute(appendOnlyTriggers().c_str())) {
    const std::string reason = problem_;
    execute("ROLLBACK");
    problem_ = reason;
    return false;
  }
  return execute("COMMIT");
}

// Records kept before the audit trail began are entered as they are now: the
// trail vouches for them from this moment on.
bool SqliteRecordStore::enterRecordsKeptBefore() {
  for (const std::string& uuid : recordUuids()) {
    CalibrationRecord kept;
    if (!noteEvent("record entered", uuid, "kept before this file had an audit trail") || !load(uuid, kept)) {
      return false;
    }
    // A number given before the trail is entered as given: verify holds it to it.
    if (!kept.certificateNumber.empty() && !noteEvent("certificate numbered", uuid, kept.certificateNumber)) {
      return false;
    }
  }
  std::vector<metrology::StandardEntry> standards;
  if (!listStandards(standards)) return false;
  for (const metrology::StandardEntry& s : standards) {
    signing::AuditEntry entered = stationEntry(kStandardSaved, standardEnteredDetails(s));
    if (!noteChange(entered)) return false;
  }
  return true;
}

std::vector<std::string> SqliteRecordStore::recordUuids() {
  std::vector<std::string> uuids;
  Statement query(db_, "SELECT uuid FROM records ORDER BY id");
  while (query.step() == SQLITE_ROW) uuids.push_back(query.text(0));
  return uuids;
}

bool SqliteRecordStore::noteChange(signing::AuditEntry& change) {
  change.benchTime = utcNow();
  change.machineId = machineId();
  change.stationVersion = kStationVersion;
  change.actor = actorNow();
  return appendAuditEntry(db_, change, problem_);
}

// The hash is taken of the record read back, as verify will read it: what the file
// keeps (a zero without its sign, say), not the copy the caller holds.
bool SqliteRecordStore::noteEvent(const std::string& event, const std::string& uuid, const std::string& details) {
  CalibrationRecord now;
  if (!load(uuid, now)) return false;
  signing::AuditEntry entry = entryAbout(now, event, details);
  return noteChange(entry);
}

std::string SqliteRecordStore::chainHead() {
  if (!ensureOpen()) return {};
  Statement head(db_, "SELECT entry_hash FROM audit_trail ORDER BY sequence DESC LIMIT 1");
  return head.step() == SQLITE_ROW ? head.text(0) : std::string();
}

// Whether the next record can be kept: the file opens, takes the write lock, and
// its disk has room.
std::string SqliteRecordStore::keepingProblem() {
  if (!ensureOpen()) return problem_;
  if (sqlite3_db_readonly(db_, "main") == 1) return "the records file " + path_ + " is read-only";
  if (path_ != ":memory:") {
    struct statvfs disk {};
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    if (statvfs(folder.empty() ? "." : folder.c_str(), &disk) == 0 &&
        static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < kLeastFreeBytes) {
      return "the disk holding " + path_ + " is full";
    }
  }
  if (!execute("BEGIN IMMEDIATE")) return "the records file " + path_ + " cannot be written: " + problem_;
  execute("ROLLBACK");
  return loginProblem(currentPerson());
}

// A login is one person's: records kept under it by another UID would be taken
// for theirs.
std::string SqliteRecordStore::loginProblem(const Person& person) {
  if (person.uid < 0 || person.login.empty()) return {};
  Statement other(db_, "SELECT id, operator_uid FROM records WHERE operator = ? AND operator_uid >= 0 AND "
                       "operator_uid <> ? ORDER BY id LIMIT 1");
  other.bind(1, person.login);
  other.bind(2, person.uid);
  if (other.step() != SQLITE_ROW) return {};
  return "the login " + person.login + " is another person's in this file (record " + std::to_string(other.integer(0)) +
         " was kept under it by UID " + std::to_string(other.integer(1)) + "; this station runs as UID " +
         std::to_string(person.uid) + "): a login taken over by another account is refused";
}

bool SqliteRecordStore::inTransaction(const std::function<bool()>& work) {
  if (!execute("BEGIN IMMEDIATE")) return false;
  if (!work() || !execute("COMMIT")) {
    const std::string reason = problem_;
    execute("ROLLBACK");
    problem_ = reason;
    return false;
  }
  // Folded into the file at once: the log never outgrows one record, and a full
  // disk finds nothing in it to lose.
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  return true;
}

bool SqliteRecordStore::add(CalibrationRecord& record) {
  if (!checkRecordNumbers(record, problem_) || !ensureOpen()) return false;
  if (record.uuid.empty()) record.uuid = newRecordUuid();
  return inTransaction([&] { return insertRecord(record); });
}

// The record with its children and the audit entry of what it brought, in the
// caller's transaction.
bool SqliteRecordStore::insertRecord(CalibrationRecord& r) {
  Statement insert(db_, insertSql(kSqliteDialect, recordsTable()) + " ON CONFLICT(uuid) DO NOTHING");
  if (!insert.ok()) return fail("cannot prepare the record");
  bindFields(recordsTable(), r, 1, [&](int at, SqlType, const FieldValue& value) { insert.bind(at, value); });
  if (insert.step() != SQLITE_DONE) return fail("cannot keep the record");
  if (sqlite3_changes(db_) == 0) {
    // Kept before: it keeps its number and rows, and takes the results appended
    // to this copy since (a waiting record amended while it was on its way).
    long long kept = 0;
    if (!findRecord(db_, r.uuid, r.id, kept)) return fail("cannot find the record kept before");
    const std::span<const RecordResult> results(r.results);
    if (kept >= static_cast<long long>(results.size())) return true;
    if (!insertChildren(db_, resultsTable(), r.id, results.subspan(kept), kept)) {
      return fail("cannot keep the record's results");
    }
    return noteEvent("results added", r.uuid,
                     std::to_string(results.size() - static_cast<std::size_t>(kept)) + " sent again with the record");
  }
  r.id = sqlite3_last_insert_rowid(db_);
  if (!insertChildren(db_, rowsTable(), r.id, std::span<const RecordRow>(r.rows), 0)) {
    return fail("cannot keep the record's rows");
  }
  if (!insertChildren(db_, standardsTable(), r.id, std::span<const RecordStandard>(r.standards), 0)) {
    return fail("cannot keep the record's standards");
  }
  if (!insertChildren(db_, resultsTable(), r.id, std::span<const RecordResult>(r.results), 0)) {
    return fail("cannot keep the record's results");
  }
  return noteEvent("record made", r.uuid, madeDetails(r));
}

bool SqliteRecordStore::appendResults(const std::string& uuid, const std::vector<RecordResult>& results) {
  missedRecord_ = false;
  sealedRefusal_ = false;
  if (!ensureOpen()) return false;
  if (inTransaction([&] { return appendTo(uuid, results); })) return true;
  if (!sealedRefusal_) return false;
  // A signed record takes no more results, but what was measured is not lost:
  // the check's readings go into the audit trail beside it. Marked as a signed
  // record is, an outbox sending it meanwhile sends it again with them.
  const std::string refusal = problem_;
  if (!inTransaction([&] {
        Statement mark(db_, "UPDATE records SET amended = 1 WHERE uuid = ?");
        mark.bind(1, uuid);
        if (mark.step() != SQLITE_DONE) return fail("cannot mark the record");
        return noteEvent(kCheckNotAdded, uuid, checkReadings(results));
      })) {
    return false;
  }
  problem_ = refusal;
  return false;
}

bool SqliteRecordStore::appendTo(const std::string& uuid, const std::vector<RecordResult>& results) {
  long long id = 0, kept = 0;
  if (!findRecord(db_, uuid, id, kept)) {
    missedRecord_ = true;
    problem_ = "there is no record " + uuid;
    return false;
  }
  if (!checkResultNumbers(results, static_cast<std::size_t>(kept), problem_)) return false;
  bool signedAlready = false;
  if (!matchesTrail(uuid) || !sealed(uuid, signedAlready)) return false;
  if (signedAlready) {
    sealedRefusal_ = true;
    problem_ = kSealedRefusal;
    return false;
  }
  Statement mark(db_, "UPDATE records SET amended = 1 WHERE id = ?");
  mark.bind(1, id);
  if (mark.step() != SQLITE_DONE) return fail("cannot amend the record");
  if (!insertChildren(db_, resultsTable(), id, std::span<const RecordResult>(results), kept)) {
    return fail("cannot keep the record's results");
  }
  return noteEvent("results added", uuid, std::to_string(results.size()) + (results.size() == 1 ? " result" : " results"));
}

bool SqliteRecordStore::keepCertificateNumber(const std::string& uuid, std::string& number) {
  if (!ensureOpen() || !matchesTrail(uuid)) return false;
  // An outbox's records are numbered by the lab's store, once they are there.
  if (outbox_) {
    problem_ = kNotYetNumbered;
    return false;
  }
  // The first number given stays: a second print, or another station's, finds it.
  Statement keep(db_,
                 "UPDATE records SET certificate_number = ? WHERE uuid = ? AND coalesce(certificate_number, '') = ''");
  keep.bind(1, number);
  keep.bind(2, uuid);
  if (keep.step() != SQLITE_DONE) return fail("cannot keep the certificate number");
  Statement kept(db_, "SELECT certificate_number FROM records WHERE uuid = ?");
  kept.bind(1, uuid);
  if (kept.step() != SQLITE_ROW) {
    problem_ = "there is no record " + uuid;
    return false;
  }
  const bool given = kept.text(0) == number && sqlite3_changes(db_) == 1;
  number = kept.text(0);
  return !given || noteEvent("certificate numbered", uuid, number);
}

bool SqliteRecordStore::listWhere(const std::string& where, const FieldValue& value, std::vector<RecordSummary>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, selectSql(recordsTable(), true) + " WHERE " + where + " ORDER BY id DESC");
  if (!query.ok()) return fail("cannot list the records");
  query.bind(1, value);
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    CalibrationRecord listed;
    query.read(recordsTable(), listed, true);
    // One record a field of which no station could have written is left out, and
    // said; the rest are listed.
    if (!query.unfit().empty()) {
      skipped_.push_back(outOfRange(listed.id, query.unfit()) + ": left out");
      continue;
    }
    out.push_back(summaryOf(std::move(listed)));
    out.back().waiting = outbox_;
  }
  return state == SQLITE_DONE || fail("cannot list the records");
}

bool SqliteRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  return listWhere("?1 = 0 OR sensor_id = ?1", static_cast<long long>(sensorId), out);
}

bool SqliteRecordStore::listUnit(const std::string& unit, std::vector<RecordSummary>& out) {
  return listWhere("unit = ?1", unit, out);
}

bool SqliteRecordStore::load(const std::string& uuid, CalibrationRecord& r) {
  r = {};
  if (!ensureOpen()) return false;
  Statement query(db_, selectSql(recordsTable()) + " WHERE uuid = ?");
  if (!query.ok()) return fail("cannot read the record");
  query.bind(1, uuid);
  if (query.step() != SQLITE_ROW) {
    problem_ = "there is no record " + uuid;
    return false;
  }
  query.read(recordsTable(), r);
  if (!query.unfit().empty()) {
    problem_ = outOfRange(r.id, query.unfit());
    return false;
  }
  r.waiting = outbox_;
  return loadChildren(r);
}

bool SqliteRecordStore::loadChildren(CalibrationRecord& r) {
  std::string unfit;
  if (!trimwell::loadChildren(db_, rowsTable(), r.id, r.rows, unfit)) return fail("cannot read the record's rows");
  if (!trimwell::loadChildren(db_, standardsTable(), r.id, r.standards, unfit)) {
    return fail("cannot read the record's standards");
  }
  if (!trimwell::loadChildren(db_, resultsTable(), r.id, r.results, unfit)) {
    return fail("cannot read the record's results");
  }
  if (unfit.empty()) unfit = rowOutOfRange(r);
  if (!unfit.empty()) {
    problem_ = outOfRange(r.id, unfit);
    return false;
  }
  return readSignatures(db_, r.uuid, r.signatures, problem_) &&
         readEventDetails(db_, r.uuid, kCheckNotAdded, r.refusedChecks, problem_);
}

bool SqliteRecordStore::lastCalibrations(std::vector<UnitLastCalibrated>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, std::string("SELECT sensor_id, unit, max(utc_time) FROM records WHERE ") +
                           kLastCalibrationCondition + " GROUP BY sensor_id, unit ORDER BY sensor_id, unit");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    const FieldValue sensor = query.value(0, SqlType::Integer);
    if (!fitsColumn(SqlType::Integer, sensor)) {
      skipped_.push_back("unit " + query.text(1) + " is left out: its sensor_id " + shownCell(sensor) +
                         " is out of range");
      continue;
    }
    out.push_back({static_cast<int>(integerOf(sensor)), query.text(1), query.text(2)});
  }
  return state == SQLITE_DONE || fail("cannot list the units' calibrations");
}

bool SqliteRecordStore::customers(std::vector<CustomerContact>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, std::string(kCustomersSql) + " ORDER BY customer");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) out.push_back({query.text(0), query.text(1), query.text(2)});
  return state == SQLITE_DONE || fail("cannot list the customers");
}

// The register may change; each change goes into the audit trail with the entry
// as it was and as it is now.
bool SqliteRecordStore::saveStandard(const metrology::StandardEntry& entry) {
  if (!metrology::checkEntry(entry, problem_) || !ensureOpen()) return false;
  return inTransaction([&] {
    std::vector<metrology::StandardEntry> before;
    Statement old(db_, selectSql(registerTable()) + " WHERE name = ?");
    old.bind(1, entry.name);
    if (old.step() == SQLITE_ROW) old.read(registerTable(), before.emplace_back());
    if (!before.empty() && before.front() == entry) return true;
    Statement save(db_, upsertSql(kSqliteDialect, registerTable(), "name"));
    bindFields(registerTable(), entry, 1, [&](int at, SqlType, const FieldValue& value) { save.bind(at, value); });
    if (save.step() != SQLITE_DONE) return fail("cannot keep the reference standard");
    signing::AuditEntry change;
    change.event = kStandardSaved;
    change.details = standardSavedDetails(before.empty() ? nullptr : &before.front(), entry);
    return noteChange(change);
  });
}

bool SqliteRecordStore::listStandards(std::vector<metrology::StandardEntry>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, selectSql(registerTable()) + " ORDER BY name");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) query.read(registerTable(), out.emplace_back());
  return state == SQLITE_DONE || fail("cannot list the reference standards");
}

bool SqliteRecordStore::claim(const std::string& claimant, int count, std::chrono::seconds hold,
                              std::vector<CalibrationRecord>& out) {
  out.clear();
  if (!ensureOpen() || !execute("BEGIN IMMEDIATE")) return false;
  const long long now = unixSeconds();
  Statement take(db_,
                 "UPDATE records SET claimed_by = ?1, claimed_until = ?2, amended = NULL WHERE id IN (SELECT id FROM records"
                 " WHERE set_aside IS NULL AND (claimed_by IS NULL OR claimed_by = ?1 OR claimed_until < ?3)"
                 " ORDER BY id LIMIT ?4)");
  take.bind(1, claimant);
  take.bind(2, now + hold.count());
  take.bind(3, now);
  take.bind(4, static_cast<long long>(count));
  Statement taken(db_, selectSql(recordsTable()) + " WHERE claimed_by = ? AND set_aside IS NULL ORDER BY id");
  taken.bind(1, claimant);
  int state = take.step() == SQLITE_DONE ? SQLITE_ROW : SQLITE_ERROR;
  while (state == SQLITE_ROW && (state = taken.step()) == SQLITE_ROW) {
    out.emplace_back();
    taken.read(recordsTable(), out.back());
    if (!loadChildren(out.back())) state = SQLITE_ERROR;
  }
  if (state != SQLITE_DONE || !execute("COMMIT")) {
    fail("cannot claim the waiting records");
    const std::string reason = problem_;
    execute("ROLLBACK");
    problem_ = reason;
    out.clear();
    return false;
  }
  return true;
}

bool SqliteRecordStore::release(const std::string& claimant) {
  if (!ensureOpen()) return false;
  Statement free(db_, "UPDATE records SET claimed_by = NULL, claimed_until = NULL WHERE claimed_by = ?");
  free.bind(1, claimant);
  return free.step() == SQLITE_DONE || fail("cannot release the claimed records");
}

bool SqliteRecordStore::claimants(std::vector<std::string>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, "SELECT DISTINCT claimed_by FROM records WHERE claimed_by IS NOT NULL");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) out.push_back(query.text(0));
  return state == SQLITE_DONE || fail("cannot list the claims");
}

bool SqliteRecordStore::remove(const std::vector<std::string>& uuids) {
  if (!ensureOpen()) return false;
  return inTransaction([&] {
    const char* const drops[] = {
        "DELETE FROM record_rows WHERE record_id = (SELECT id FROM records WHERE uuid = ? AND amended IS NULL)",
        "DELETE FROM record_standards WHERE record_id = (SELECT id FROM records WHERE uuid = ? AND amended IS NULL)",
        "DELETE FROM record_results WHERE record_id = (SELECT id FROM records WHERE uuid = ? AND amended IS NULL)",
        "DELETE FROM records WHERE uuid = ? AND amended IS NULL"};
    for (const char* sql : drops) {
      Statement drop(db_, sql);
      for (const std::string& uuid : uuids) {
        drop.bind(1, uuid);
        if (drop.step() != SQLITE_DONE) return fail("cannot remove the record");
        drop.reset();
      }
    }
    return true;
  });
}

bool SqliteRecordStore::setAside(const std::string& uuid, const std::string& reason) {
  if (!ensureOpen()) return false;
  Statement mark(db_, "UPDATE records SET set_aside = ?, claimed_by = NULL WHERE uuid = ?");
  mark.bind(1, reason);
  mark.bind(2, uuid);
  return mark.step() == SQLITE_DONE || fail("cannot set the record aside");
}

long long SqliteRecordStore::waitingCount() {
  if (!ensureOpen()) return 0;
  Statement count(db_, "SELECT count(*) FROM records WHERE set_aside IS NULL");
  return count.step() == SQLITE_ROW ? count.integer(0) : 0;
}

bool SqliteRecordStore::setAsideList(std::vector<std::pair<RecordSummary, std::string>>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_, "SELECT " + columnNames(recordsTable(), true) +
                           ", set_aside FROM records WHERE set_aside IS NOT NULL ORDER BY id");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    CalibrationRecord listed;
    const int reason = query.read(recordsTable(), listed, true);
    out.emplace_back(summaryOf(std::move(listed)), query.text(reason));
  }
  return state == SQLITE_DONE || fail("cannot list the records set aside");
}

}  // namespace trimwell
