// verify: the records file's audit trail walked whole, and every record, its
// certificate number and its signatures held to it. The records are read in one
// pass of each table, not one record at a time: a lab's file holds many.
#include <map>

#include "records/record_hash.h"
#include "records/sqlite_audit_trail.h"
#include "records/sqlite_record_store.h"
#include "records/sqlite_signatures.h"
#include "records/sqlite_statement.h"

namespace trimwell {
namespace {

// A certificate number is not part of a record's content (it is given later), so
// it is held to the last "certificate numbered" entry about the record instead.
bool numbersMatchTrail(const std::vector<signing::AuditEntry>& entries,
                       const std::vector<std::pair<std::string, std::string>>& numbers, signing::ChainCheck& check) {
  std::map<std::string, const signing::AuditEntry*> given;
  for (const signing::AuditEntry& e : entries) {
    if (e.event == "certificate numbered") given[e.recordUuid] = &e;
  }
  for (const auto& [uuid, number] : numbers) {
    const auto it = given.find(uuid);
    const std::string entered = it != given.end() ? it->second->details : std::string();
    if (number == entered) continue;
    check.ok = false;
    check.problem = it == given.end()
                        ? "record " + uuid + "'s certificate number " + number + " was given by no audit entry"
                        : "record " + uuid + "'s certificate number " + (number.empty() ? "(none)" : number) +
                              " is not the one audit entry " + std::to_string(it->second->sequence) + " gave (" +
                              entered + ")";
    return false;
  }
  return true;
}

// Every row of a child table, each put with its record (by the record's number).
template <typename T>
bool readEveryChild(sqlite3* db, const ColumnTable<T>& table, std::map<long long, CalibrationRecord*>& byId,
                    std::vector<T> CalibrationRecord::*member) {
  std::string select = selectSql(table);
  select.insert(select.find(" FROM "), ", record_id");
  Statement query(db, select + " ORDER BY record_id, position");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    T child;
    const int at = query.read(table, child);
    const auto record = byId.find(query.integer(at));
    // A child of no record is no record's content: verify finds nothing of it to hold.
    if (record != byId.end()) (record->second->*member).push_back(std::move(child));
  }
  return state == SQLITE_DONE;
}

}  // namespace

bool SqliteRecordStore::loadEvery(std::vector<CalibrationRecord>& out) {
  out.clear();
  Statement query(db_, selectSql(recordsTable()) + " ORDER BY id");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) query.read(recordsTable(), out.emplace_back());
  if (state != SQLITE_DONE) return fail("cannot read the records");
  std::map<long long, CalibrationRecord*> byId;
  for (CalibrationRecord& r : out) byId[r.id] = &r;
  if (!readEveryChild(db_, rowsTable(), byId, &CalibrationRecord::rows) ||
      !readEveryChild(db_, standardsTable(), byId, &CalibrationRecord::standards) ||
      !readEveryChild(db_, resultsTable(), byId, &CalibrationRecord::results)) {
    return fail("cannot read the records' rows");
  }
  return true;
}

signing::ChainCheck SqliteRecordStore::verify(const std::string& keptHead) {
  signing::ChainCheck check;
  std::vector<signing::AuditEntry> entries;
  std::vector<CalibrationRecord> records;
  std::vector<signing::KeptSignature> kept;
  if (!ensureOpen() || !readAuditTrail(db_, entries, problem_) || !loadEvery(records) ||
      !readKeptSignatures(db_, kept, problem_)) {
    check.ok = false;
    check.problem = problem_;
    return check;
  }
  std::vector<std::pair<std::string, std::string>> hashes, numbers;
  hashes.reserve(records.size());
  for (const CalibrationRecord& r : records) {
    hashes.emplace_back(r.uuid, recordHash(r));
    numbers.emplace_back(r.uuid, r.certificateNumber);
  }
  check = signing::verifyChain(entries, hashes, keptHead);
  if (check.ok && numbersMatchTrail(entries, numbers, check)) signing::signaturesMatchTrail(entries, kept, check);
  return check;
}

}  // namespace trimwell
