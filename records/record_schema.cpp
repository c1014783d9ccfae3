#include "records/record_schema.h"

#include <iterator>

namespace trimwell {
namespace {

// What a step does besides the tables and columns of its version.
using StepExtra = std::string (*)(const SqlDialect&);

const StepExtra kSteps[] = {
    // 1: the records and their rows; a sensor's records are found without a scan.
    [](const SqlDialect&) -> std::string {
      return "CREATE INDEX IF NOT EXISTS records_by_sensor ON records(sensor_id, id);";
    },
    // 2: each record's identity, made by the station; records kept before get one
    // now, and a restore the identity of the record whose state it wrote. The
    // outbox's claims and records set aside live in its own records table.
    [](const SqlDialect& sql) -> std::string {
      return std::string("UPDATE records SET uuid = ") + sql.newUuid +
             " WHERE uuid IS NULL;"
             "UPDATE records SET restored_from_uuid = (SELECT o.uuid FROM records o WHERE o.id = records.restored_from)"
             " WHERE restored_from <> 0 AND restored_from_uuid IS NULL;"
             "CREATE UNIQUE INDEX IF NOT EXISTS records_by_uuid ON records(uuid);";
    },
    // 3: a lab's record: the unit and its customer, the conditions, the decision
    // rule, and the standards and results as child tables; the register of
    // reference standards. A unit's records are found without a scan, and each
    // unit's last calibration from an index of calibrations alone.
    [](const SqlDialect&) -> std::string {
      return std::string(
                 "CREATE INDEX IF NOT EXISTS records_by_unit ON records(unit, id);"
                 "CREATE INDEX IF NOT EXISTS records_last_calibration ON records(sensor_id, unit, utc_time) WHERE ") +
             kLastCalibrationCondition + ";";
    },
    // 4: the number of the certificate issued of a record, kept with it so that
    // every later print carries the same one.
    [](const SqlDialect&) -> std::string { return {}; },
    // 5: the audit trail, a hash chain of the events of the records; a record kept
    // before it is entered by the store once the step has run.
    [](const SqlDialect&) -> std::string {
      return "CREATE TABLE IF NOT EXISTS audit_trail(sequence BIGINT NOT NULL UNIQUE, event TEXT NOT NULL,"
             " bench_time TEXT NOT NULL, machine_id TEXT NOT NULL, station_version TEXT NOT NULL,"
             " sensor TEXT NOT NULL, interface TEXT NOT NULL, record_uuid TEXT NOT NULL, record_hash TEXT NOT NULL,"
             " details TEXT NOT NULL, previous_hash TEXT NOT NULL UNIQUE, entry_hash TEXT NOT NULL);";
    },
    // 6: the person as the user database had them (UID, full name) and the state of
    // the computer's clock when the record was made.
    [](const SqlDialect&) -> std::string { return {}; },
    // 7: electronic signatures, each over the content hash of the record version
    // it was given to, in the order given; a record's audit entries are found
    // without a scan.
    [](const SqlDialect&) -> std::string {
      return "CREATE TABLE IF NOT EXISTS signatures(record_uuid TEXT NOT NULL, position BIGINT NOT NULL,"
             " record_hash TEXT NOT NULL, uid BIGINT NOT NULL, login TEXT NOT NULL, printed_name TEXT NOT NULL,"
             " groups_held TEXT NOT NULL, meaning TEXT NOT NULL, reason TEXT NOT NULL, utc_time TEXT NOT NULL,"
             " signature_hash TEXT NOT NULL UNIQUE, UNIQUE(record_uuid, position));"
             "CREATE INDEX IF NOT EXISTS audit_trail_by_record ON audit_trail(record_uuid, sequence);";
    },
    // 8: amendments, each a new version of the record it amends, with its
    // revision and reason; a version is amended once, so versions never fork.
    [](const SqlDialect&) -> std::string {
      return "CREATE UNIQUE INDEX IF NOT EXISTS records_amended_once ON records(amends_uuid) WHERE amends_uuid <> '';";
    },
    // 9: in a lab's store, when each entry arrived and its number among its
    // station's entries, given once per station; a station's own file leaves
    // both empty.
    [](const SqlDialect& sql) -> std::string {
      return std::string("ALTER TABLE audit_trail ") + sql.addColumn + " arrived_time TEXT NOT NULL DEFAULT '';" +
             "ALTER TABLE audit_trail " + sql.addColumn + " station_sequence BIGINT NOT NULL DEFAULT 0;" +
             "CREATE UNIQUE INDEX IF NOT EXISTS audit_trail_by_station ON audit_trail(machine_id, station_sequence)"
             " WHERE station_sequence > 0;";
    },
    // 10: who entered each audit entry, as the user database had them then
    // (entries written before stay without); the degrees of freedom of a
    // standard's U, where its certificate states them.
    [](const SqlDialect& sql) -> std::string {
      return std::string("ALTER TABLE audit_trail ") + sql.addColumn + " actor TEXT NOT NULL DEFAULT '';";
    },
    // 11: the customer's address and e-mail, where the calibration was done, and
    // the procedure's identifier and version.
    [](const SqlDialect&) -> std::string { return {}; },
    // 12: the instrument each result's reference value was read from, and when.
    [](const SqlDialect&) -> std::string { return {}; },
    // 13: the day a reference standard was retired from use (the register keeps
    // it), and each row's tolerance as the record's day stated it.
    [](const SqlDialect&) -> std::string { return {}; },
};
static_assert(std::size(kSteps) == kRecordSchemaVersion);

template <typename T>
std::string createTable(const ColumnTable<T>& table, const SqlDialect& sql) {
  std::string columns;
  for (const Column<T>& c : table.columns) {
    if (c.since != table.since || !inStore(sql, c)) continue;
    columns += std::string(columns.empty() ? "" : ", ") + c.name + " " + sqlType(sql, c.type);
    if (*c.constraint != '\0') columns += std::string(" ") + c.constraint;
  }
  return std::string("CREATE TABLE IF NOT EXISTS ") + table.name + "(" + columns + table.constraints + ");";
}

template <typename T>
std::string addColumns(const ColumnTable<T>& table, int version, const SqlDialect& sql) {
  std::string steps;
  for (const Column<T>& c : table.columns) {
    if (c.since != version || !inStore(sql, c)) continue;
    steps += std::string("ALTER TABLE ") + table.name + " " + sql.addColumn + " " + c.name + " " +
             sqlType(sql, c.type) + (*c.constraint != '\0' ? " " : "") + c.constraint + ";";
  }
  return steps;
}

// A table is made by the step of its version, with the columns of that version;
// later steps add theirs.
template <typename T>
std::string tableStep(const ColumnTable<T>& table, int version, const SqlDialect& sql) {
  if (table.since == version) return createTable(table, sql);
  return table.since < version ? addColumns(table, version, sql) : std::string();
}

}  // namespace

std::string schemaStep(int version, const SqlDialect& sql) {
  return tableStep(recordsTable(), version, sql) + tableStep(rowsTable(), version, sql) +
         tableStep(standardsTable(), version, sql) + tableStep(resultsTable(), version, sql) +
         tableStep(registerTable(), version, sql) + kSteps[version - 1](sql);
}

SchemaState bringSchemaUpToDate(const SchemaKeeping& store, const SqlDialect& sql, int& found) {
  if (!store.run(kVersionTable)) return SchemaState::Failed;
  found = store.number(kReadVersion);
  if (found == 0 && store.versionBeforeTable) found = store.versionBeforeTable();
  if (found < 0) return SchemaState::Failed;
  if (found > kRecordSchemaVersion) return SchemaState::Newer;
  for (int version = found + 1; version <= kRecordSchemaVersion; ++version) {
    if (!store.run(schemaStep(version, sql)) ||
        !store.run("INSERT INTO schema_version VALUES (" + std::to_string(version) + ")") ||
        (store.reached && !store.reached(version))) {
      return SchemaState::Failed;
    }
  }
  return SchemaState::Current;
}

}  // namespace trimwell
