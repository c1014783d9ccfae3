#include "records/sqlite_record_store.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

namespace trimwell {
namespace {

// The steps from one schema version to the next; step k brings version k to k + 1.
const char* const kMigrations[] = {
    "CREATE TABLE records("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL, utc_time TEXT NOT NULL, operator TEXT,"
    " host TEXT, station_version TEXT, interface_kind TEXT, interface_product INTEGER, firmware_version TEXT,"
    " sensor_id INTEGER NOT NULL, datasheet_name TEXT, datasheet_version TEXT, options TEXT,"
    " success INTEGER NOT NULL, result TEXT, restored_from INTEGER,"
    " as_found_image BLOB, as_found_calibration BLOB, as_left_image BLOB, as_left_calibration BLOB);"
    "CREATE INDEX records_by_sensor ON records(sensor_id, id);"
    "CREATE TABLE record_rows("
    " record_id INTEGER NOT NULL REFERENCES records(id), position INTEGER NOT NULL,"
    " measurement_id INTEGER, name TEXT, point1_raw REAL, point1_data REAL, point2_raw REAL, point2_data REAL,"
    " c0 REAL, c1 REAL, c2 REAL, c3 REAL, left_out INTEGER, extra INTEGER,"
    " PRIMARY KEY(record_id, position));",
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  void bind(int at, long long value) { sqlite3_bind_int64(statement_, at, value); }
  void bind(int at, double value) { sqlite3_bind_double(statement_, at, value); }
  void bind(int at, const std::string& text) {
    sqlite3_bind_text(statement_, at, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int at, const std::vector<std::uint8_t>& bytes) {
    sqlite3_bind_blob(statement_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  // SQLITE_ROW or SQLITE_DONE, or an error code.
  int step() { return sqlite3_step(statement_); }
  void reset() { sqlite3_reset(statement_); }
  long long integer(int column) { return sqlite3_column_int64(statement_, column); }
  double real(int column) { return sqlite3_column_double(statement_, column); }
  std::string text(int column) {
    const auto* t = sqlite3_column_text(statement_, column);
    return t != nullptr ? reinterpret_cast<const char*>(t) : "";
  }
  std::vector<std::uint8_t> blob(int column) {
    const auto* b = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
    return b != nullptr ? std::vector<std::uint8_t>(b, b + sqlite3_column_bytes(statement_, column))
                        : std::vector<std::uint8_t>();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

SqliteRecordStore::SqliteRecordStore(const std::string& path) {
  if (path != ":memory:") {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  }
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    problem_ = "cannot open " + path + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  // Several stations may share the file; each waits its turn for up to 5 s.
  sqlite3_busy_timeout(db_, 5000);
  if (!execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;") || !migrate()) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

SqliteRecordStore::~SqliteRecordStore() { sqlite3_close(db_); }

std::string SqliteRecordStore::defaultPath() {
  if (const char* home = std::getenv("TRIMWELL_HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/records.sqlite";
  }
  const char* user = std::getenv("HOME");
  return std::string(user != nullptr ? user : ".") + "/.local/share/trimwell/records.sqlite";
}

bool SqliteRecordStore::fail(const char* what) {
  problem_ = std::string(what) + ": " + sqlite3_errmsg(db_);
  return false;
}

bool SqliteRecordStore::execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
  problem_ = error != nullptr ? error : "SQLite error";
  sqlite3_free(error);
  return false;
}

int SqliteRecordStore::schemaVersion() {
  Statement version(db_, "PRAGMA user_version");
  return version.ok() && version.step() == SQLITE_ROW ? static_cast<int>(version.integer(0)) : -1;
}

bool SqliteRecordStore::migrate() {
  if (!execute("BEGIN IMMEDIATE")) return false;
  int version = schemaVersion();
  if (version > kSchemaVersion) {
    problem_ = "the records file is of a newer station (schema " + std::to_string(version) + ")";
    execute("ROLLBACK");
    return false;
  }
  for (; version < kSchemaVersion; ++version) {
    const std::string bump = "PRAGMA user_version=" + std::to_string(version + 1);
    if (!execute(kMigrations[version]) || !execute(bump.c_str())) {
      execute("ROLLBACK");
      return false;
    }
  }
  return execute("COMMIT");
}

bool SqliteRecordStore::add(CalibrationRecord& record) {
  if (db_ == nullptr) return false;
  if (!execute("BEGIN IMMEDIATE")) return false;
  if (!insertRecord(record)) {
    const std::string reason = problem_;
    execute("ROLLBACK");
    problem_ = reason;
    return false;
  }
  return execute("COMMIT");
}

bool SqliteRecordStore::insertRecord(CalibrationRecord& r) {
  Statement insert(db_,
                   "INSERT INTO records(kind, utc_time, operator, host, station_version, interface_kind,"
                   " interface_product, firmware_version, sensor_id, datasheet_name, datasheet_version, options,"
                   " success, result, restored_from, as_found_image, as_found_calibration, as_left_image,"
                   " as_left_calibration) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  if (!insert.ok()) return fail("cannot prepare the record");
  int at = 1;
  insert.bind(at++, std::string(kindName(r.kind)));
  for (const std::string* text : {&r.utcTime, &r.operatorName, &r.host, &r.stationVersion, &r.interfaceKind}) {
    insert.bind(at++, *text);
  }
  insert.bind(at++, static_cast<long long>(r.interfaceProduct));
  insert.bind(at++, r.firmwareVersion);
  insert.bind(at++, static_cast<long long>(r.sensorId));
  for (const std::string* text : {&r.datasheetName, &r.datasheetVersion, &r.options}) insert.bind(at++, *text);
  insert.bind(at++, static_cast<long long>(r.success ? 1 : 0));
  insert.bind(at++, r.result);
  insert.bind(at++, r.restoredFrom);
  for (const auto* bytes : {&r.asFoundImage, &r.asFoundCalibration, &r.asLeftImage, &r.asLeftCalibration}) {
    insert.bind(at++, *bytes);
  }
  if (insert.step() != SQLITE_DONE) return fail("cannot keep the record");
  r.id = sqlite3_last_insert_rowid(db_);
  Statement row(db_,
                "INSERT INTO record_rows(record_id, position, measurement_id, name, point1_raw, point1_data,"
                " point2_raw, point2_data, c0, c1, c2, c3, left_out, extra) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  if (!row.ok()) return fail("cannot prepare the record's rows");
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const RecordRow& x = r.rows[i];
    row.bind(1, r.id);
    row.bind(2, static_cast<long long>(i));
    row.bind(3, static_cast<long long>(x.measurementId));
    row.bind(4, x.name);
    int column = 5;
    for (double value : {x.point1Raw, x.point1Data, x.point2Raw, x.point2Data, x.constants[0], x.constants[1],
                         x.constants[2], x.constants[3]}) {
      row.bind(column++, value);
    }
    row.bind(13, static_cast<long long>(x.leftOut ? 1 : 0));
    row.bind(14, static_cast<long long>(x.extra ? 1 : 0));
    if (row.step() != SQLITE_DONE) return fail("cannot keep the record's rows");
    row.reset();
  }
  return true;
}

bool SqliteRecordStore::remove(long long id) {
  if (db_ == nullptr || !execute("BEGIN IMMEDIATE")) return false;
  for (const char* sql : {"DELETE FROM record_rows WHERE record_id = ?", "DELETE FROM records WHERE id = ?"}) {
    Statement drop(db_, sql);
    if (drop.ok()) drop.bind(1, id);
    if (!drop.ok() || drop.step() != SQLITE_DONE) {
      fail("cannot remove the record");
      const std::string reason = problem_;
      execute("ROLLBACK");
      problem_ = reason;
      return false;
    }
  }
  return execute("COMMIT");
}

bool SqliteRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  out.clear();
  if (db_ == nullptr) return false;
  Statement query(db_,
                  "SELECT id, utc_time, sensor_id, datasheet_name, success, result FROM records"
                  " WHERE ?1 = 0 OR sensor_id = ?1 ORDER BY id DESC");
  if (!query.ok()) return fail("cannot list the records");
  query.bind(1, static_cast<long long>(sensorId));
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    out.push_back({query.integer(0), query.text(1), static_cast<int>(query.integer(2)), query.text(3),
                   query.integer(4) != 0, query.text(5)});
  }
  return state == SQLITE_DONE || fail("cannot list the records");
}

bool SqliteRecordStore::load(long long id, CalibrationRecord& r) {
  r = {};
  if (db_ == nullptr) return false;
  Statement query(db_,
                  "SELECT kind, utc_time, operator, host, station_version, interface_kind, interface_product,"
                  " firmware_version, sensor_id, datasheet_name, datasheet_version, options, success, result,"
                  " restored_from, as_found_image, as_found_calibration, as_left_image, as_left_calibration"
                  " FROM records WHERE id = ?");
  if (!query.ok()) return fail("cannot read the record");
  query.bind(1, id);
  if (query.step() != SQLITE_ROW) {
    problem_ = "there is no record " + std::to_string(id);
    return false;
  }
  r.id = id;
  r.kind = kindFromName(query.text(0));
  int at = 1;
  for (std::string* text : {&r.utcTime, &r.operatorName, &r.host, &r.stationVersion, &r.interfaceKind}) {
    *text = query.text(at++);
  }
  r.interfaceProduct = static_cast<int>(query.integer(at++));
  r.firmwareVersion = query.text(at++);
  r.sensorId = static_cast<int>(query.integer(at++));
  for (std::string* text : {&r.datasheetName, &r.datasheetVersion, &r.options}) *text = query.text(at++);
  r.success = query.integer(at++) != 0;
  r.result = query.text(at++);
  r.restoredFrom = query.integer(at++);
  for (auto* bytes : {&r.asFoundImage, &r.asFoundCalibration, &r.asLeftImage, &r.asLeftCalibration}) {
    *bytes = query.blob(at++);
  }
  Statement rows(db_,
                 "SELECT measurement_id, name, point1_raw, point1_data, point2_raw, point2_data, c0, c1, c2, c3,"
                 " left_out, extra FROM record_rows WHERE record_id = ? ORDER BY position");
  if (!rows.ok()) return fail("cannot read the record's rows");
  rows.bind(1, id);
  int state = 0;
  while ((state = rows.step()) == SQLITE_ROW) {
    RecordRow x;
    x.measurementId = static_cast<int>(rows.integer(0));
    x.name = rows.text(1);
    x.point1Raw = rows.real(2);
    x.point1Data = rows.real(3);
    x.point2Raw = rows.real(4);
    x.point2Data = rows.real(5);
    for (int k = 0; k < 4; ++k) x.constants[static_cast<std::size_t>(k)] = rows.real(6 + k);
    x.leftOut = rows.integer(10) != 0;
    x.extra = rows.integer(11) != 0;
    r.rows.push_back(x);
  }
  return state == SQLITE_DONE || fail("cannot read the record's rows");
}

}  // namespace trimwell
