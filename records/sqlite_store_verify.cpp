// verify: the records file's audit trail walked whole, and every record, its
// certificate number and its signatures held to it. The records are read in one
// pass of each table, not one record at a time: a lab's file holds many.
#include <map>

#include "records/record_trail_check.h"
#include "records/sqlite_audit_trail.h"
#include "records/sqlite_record_store.h"
#include "records/sqlite_signatures.h"
#include "records/sqlite_statement.h"

namespace trimwell {
namespace {

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
  std::vector<metrology::StandardEntry> standards;
  if (!ensureOpen() || !readAuditTrail(db_, entries, problem_) || !loadEvery(records) ||
      !readKeptSignatures(db_, kept, problem_) || !listStandards(standards)) {
    check.ok = false;
    check.problem = problem_;
    return check;
  }
  // An outbox's records leave it once the lab has them: their entries stay.
  return verifyRecords(entries, records, kept, standards, keptHead, outbox_);
}

}  // namespace trimwell
