#include "records/sqlite_audit_trail.h"

#include "records/record_columns.h"
#include "records/sqlite_statement.h"
#include "records/trail_rows.h"

namespace trimwell {

bool appendAuditEntry(sqlite3* db, signing::AuditEntry& entry, std::string& problem) {
  Statement head(db, "SELECT sequence, entry_hash FROM audit_trail ORDER BY sequence DESC LIMIT 1");
  const int state = head.step();
  if (state != SQLITE_ROW && state != SQLITE_DONE) {
    problem = std::string("cannot read the audit trail: ") + sqlite3_errmsg(db);
    return false;
  }
  entry.sequence = state == SQLITE_ROW ? head.integer(0) + 1 : 1;
  signing::sealEntry(entry, state == SQLITE_ROW ? head.text(1) : signing::kChainStart);
  Statement insert(db, std::string("INSERT INTO audit_trail(") + kAuditColumns + ") VALUES (" +
                           placeholders(kAuditColumnCount, '?') + ")");
  int at = 1;
  for (const FieldValue& value : auditRow(entry)) insert.bind(at++, value);
  if (insert.step() != SQLITE_DONE) {
    problem = std::string("cannot keep the audit entry: ") + sqlite3_errmsg(db);
    return false;
  }
  return true;
}

bool readAuditTrail(sqlite3* db, std::vector<signing::AuditEntry>& out, std::string& problem,
                    const std::string& recordUuid) {
  out.clear();
  // One record's by the index of its entries; the whole trail in one pass.
  Statement query(db, std::string("SELECT ") + kAuditColumns + " FROM audit_trail" +
                          (recordUuid.empty() ? "" : " WHERE record_uuid = ?1") + " ORDER BY sequence");
  if (!recordUuid.empty()) query.bind(1, recordUuid);
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    out.push_back(auditEntryFromRow([&](int column, SqlType type) { return query.value(column, type); }));
  }
  if (state == SQLITE_DONE) return true;
  problem = std::string("cannot read the audit trail: ") + sqlite3_errmsg(db);
  return false;
}

bool readEventDetails(sqlite3* db, const std::string& recordUuid, const char* event, std::vector<std::string>& out,
                      std::string& problem) {
  out.clear();
  Statement query(db, "SELECT details FROM audit_trail WHERE record_uuid = ?1 AND event = ?2 ORDER BY sequence");
  query.bind(1, recordUuid);
  query.bind(2, std::string(event));
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) out.push_back(query.text(0));
  if (state == SQLITE_DONE) return true;
  problem = std::string("cannot read the audit trail: ") + sqlite3_errmsg(db);
  return false;
}

namespace {

std::string refuse(const std::string& trigger, const std::string& when, const char* why) {
  return "CREATE TRIGGER IF NOT EXISTS " + trigger + " " + when + " BEGIN SELECT RAISE(ABORT, '" + why + "'); END;";
}

// The record's own columns: what its content hash is over, and its number.
std::string recordColumns() {
  std::string names;
  for (const Column<CalibrationRecord>& c : recordsTable().columns) {
    const bool own = c.use == ColumnUse::Field || c.use == ColumnUse::Made;
    if (!own || std::string(c.name) == "certificate_number") continue;
    names += std::string(names.empty() ? "" : ", ") + c.name;
  }
  return names;
}

constexpr const char* kNeverChanged = "kept records are never changed: an amendment is a new version";
constexpr const char* kNeverDeleted = "kept records are never deleted";
constexpr const char* kSignaturesAppendOnly = "a signature is never changed nor taken back";
constexpr const char* kTrailAppendOnly = "the audit trail is only ever appended to";

}  // namespace

std::string appendOnlyTriggers() {
  // Earlier files let a claimed record be taken out of any file.
  std::string sql = "DROP TRIGGER IF EXISTS records_never_deleted;";
  const std::string notOutbox = "(SELECT application_id FROM pragma_application_id()) <> " + std::to_string(kOutboxFileId);
  sql += refuse("records_never_changed", "BEFORE UPDATE OF " + recordColumns() + " ON records", kNeverChanged) +
                    refuse("records_numbered_once",
                           "BEFORE UPDATE OF certificate_number ON records WHEN coalesce(OLD.certificate_number, '') <> ''"
                           " AND NEW.certificate_number IS NOT OLD.certificate_number",
                           "a certificate number is given once") +
                    refuse("records_never_deleted_unless_sent", "BEFORE DELETE ON records WHEN OLD.claimed_by IS NULL OR " + notOutbox,
                           kNeverDeleted);
  // INSERT OR REPLACE deletes the row it replaces without a delete trigger: a row
  // whose key is taken is refused before that. A record kept before is skipped,
  // as the station's own insert of a record sent again asks.
  sql += "CREATE TRIGGER IF NOT EXISTS records_never_replaced BEFORE INSERT ON records WHEN EXISTS (SELECT 1 FROM "
         "records WHERE uuid = NEW.uuid OR id = NEW.id) BEGIN SELECT RAISE(IGNORE); END;" +
         refuse("audit_trail_never_replaced",
                "BEFORE INSERT ON audit_trail WHEN EXISTS (SELECT 1 FROM audit_trail WHERE sequence = NEW.sequence OR "
                "previous_hash = NEW.previous_hash)",
                kTrailAppendOnly);
  for (const char* child : {"record_rows", "record_standards", "record_results"}) {
    const std::string name = child;
    sql += refuse(name + "_never_replaced",
                  "BEFORE INSERT ON " + name + " WHEN EXISTS (SELECT 1 FROM " + name +
                      " WHERE record_id = NEW.record_id AND position = NEW.position)",
                  kNeverChanged) +
           refuse(name + "_never_changed", "BEFORE UPDATE ON " + name, kNeverChanged) +
           "DROP TRIGGER IF EXISTS " + name + "_never_deleted;" +
           refuse(name + "_never_deleted_unless_sent",
                  "BEFORE DELETE ON " + name +
                      " WHEN (SELECT claimed_by FROM records WHERE id = OLD.record_id) IS NULL OR " + notOutbox,
                  kNeverDeleted);
  }
  sql += refuse("signatures_never_replaced",
                "BEFORE INSERT ON signatures WHEN EXISTS (SELECT 1 FROM signatures WHERE signature_hash = "
                "NEW.signature_hash OR (record_uuid = NEW.record_uuid AND position = NEW.position))",
                kSignaturesAppendOnly) +
         refuse("signatures_never_changed", "BEFORE UPDATE ON signatures", kSignaturesAppendOnly) +
         refuse("signatures_never_deleted", "BEFORE DELETE ON signatures", kSignaturesAppendOnly);
  return sql + refuse("audit_trail_never_changed", "BEFORE UPDATE ON audit_trail", kTrailAppendOnly) +
         refuse("audit_trail_never_deleted", "BEFORE DELETE ON audit_trail", kTrailAppendOnly);
}

}  // namespace trimwell
