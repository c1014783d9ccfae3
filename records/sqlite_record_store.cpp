#include "records/sqlite_record_store.h"

#include <sqlite3.h>

#include <sys/statvfs.h>

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
    // Each record's identity, made by the station; records of older files get one
    // now. Outbox claims and records set aside live in the same table.
    "ALTER TABLE records ADD COLUMN uuid TEXT;"
    "ALTER TABLE records ADD COLUMN restored_from_uuid TEXT;"
    "ALTER TABLE records ADD COLUMN claimed_by TEXT;"
    "ALTER TABLE records ADD COLUMN claimed_until INTEGER;"
    "ALTER TABLE records ADD COLUMN set_aside TEXT;"
    "UPDATE records SET uuid = lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' ||"
    " substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + abs(random()) % 4, 1) ||"
    " substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))) WHERE uuid IS NULL;"
    "UPDATE records SET restored_from_uuid = (SELECT o.uuid FROM records o WHERE o.id = records.restored_from)"
    " WHERE restored_from <> 0;"
    "CREATE UNIQUE INDEX records_by_uuid ON records(uuid);",
};

// The columns a record is read with, in the order readHead() takes them.
const char* const kRecordColumns =
    "id, uuid, kind, utc_time, operator, host, station_version, interface_kind, interface_product,"
    " firmware_version, sensor_id, datasheet_name, datasheet_version, options, success, result,"
    " restored_from, restored_from_uuid, as_found_image, as_found_calibration, as_left_image, as_left_calibration";

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  void bindNull(int at) { sqlite3_bind_null(statement_, at); }
  void bind(int at, long long value) { sqlite3_bind_int64(statement_, at, value); }
  void bind(int at, double value) { sqlite3_bind_double(statement_, at, value); }
  void bind(int at, const std::string& text) {
    sqlite3_bind_text(statement_, at, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int at, const std::vector<std::uint8_t>& bytes) {
    sqlite3_bind_blob(statement_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  // SQLITE_ROW or SQLITE_DONE, or an error code.
  int step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_MISUSE; }
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

void readHead(Statement& q, CalibrationRecord& r) {
  r.id = q.integer(0);
  r.uuid = q.text(1);
  r.kind = kindFromName(q.text(2));
  int at = 3;
  for (std::string* text : {&r.utcTime, &r.operatorName, &r.host, &r.stationVersion, &r.interfaceKind}) {
    *text = q.text(at++);
  }
  r.interfaceProduct = static_cast<int>(q.integer(at++));
  r.firmwareVersion = q.text(at++);
  r.sensorId = static_cast<int>(q.integer(at++));
  for (std::string* text : {&r.datasheetName, &r.datasheetVersion, &r.options}) *text = q.text(at++);
  r.success = q.integer(at++) != 0;
  r.result = q.text(at++);
  r.restoredFrom = q.integer(at++);
  r.restoredFromUuid = q.text(at++);
  for (auto* bytes : {&r.asFoundImage, &r.asFoundCalibration, &r.asLeftImage, &r.asLeftCalibration}) {
    *bytes = q.blob(at++);
  }
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
  }
  open();
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
    const std::string reason = problem_;
    sqlite3_close(db_);
    db_ = nullptr;
    problem_ = "cannot open " + path_ + ": " + reason;
    return false;
  }
  return true;
}

bool SqliteRecordStore::ensureOpen() { return db_ != nullptr || open(); }

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

std::string SqliteRecordStore::setting(const char* pragma) {
  Statement query(db_, (std::string("PRAGMA ") + pragma).c_str());
  return query.ok() && query.step() == SQLITE_ROW ? query.text(0) : "";
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
      const std::string reason = problem_;
      execute("ROLLBACK");
      problem_ = reason;
      return false;
    }
  }
  return execute("COMMIT");
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
  return {};
}

bool SqliteRecordStore::inTransaction(bool (SqliteRecordStore::*work)(CalibrationRecord&), CalibrationRecord& record) {
  if (!execute("BEGIN IMMEDIATE")) return false;
  if (!(this->*work)(record) || !execute("COMMIT")) {
    const std::string reason = problem_;
    execute("ROLLBACK");
    problem_ = reason;
    return false;
  }
  return true;
}

bool SqliteRecordStore::add(CalibrationRecord& record) {
  if (!ensureOpen()) return false;
  if (record.uuid.empty()) record.uuid = newRecordUuid();
  if (!inTransaction(&SqliteRecordStore::insertRecord, record)) return false;
  // Folded into the file at once: the log never outgrows one record, and a full
  // disk finds nothing in it to lose.
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  return true;
}

bool SqliteRecordStore::insertRecord(CalibrationRecord& r) {
  Statement insert(db_,
                   "INSERT INTO records(uuid, kind, utc_time, operator, host, station_version, interface_kind,"
                   " interface_product, firmware_version, sensor_id, datasheet_name, datasheet_version, options,"
                   " success, result, restored_from, restored_from_uuid, as_found_image, as_found_calibration,"
                   " as_left_image, as_left_calibration) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                   " ON CONFLICT(uuid) DO NOTHING");
  if (!insert.ok()) return fail("cannot prepare the record");
  int at = 1;
  insert.bind(at++, r.uuid);
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
  if (r.restoredFromUuid.empty()) {
    insert.bindNull(at++);
  } else {
    insert.bind(at++, r.restoredFromUuid);
  }
  for (const auto* bytes : {&r.asFoundImage, &r.asFoundCalibration, &r.asLeftImage, &r.asLeftCalibration}) {
    insert.bind(at++, *bytes);
  }
  if (insert.step() != SQLITE_DONE) return fail("cannot keep the record");
  if (sqlite3_changes(db_) == 0) {  // kept before: it keeps its number and rows
    Statement known(db_, "SELECT id FROM records WHERE uuid = ?");
    known.bind(1, r.uuid);
    if (known.step() != SQLITE_ROW) return fail("cannot find the record kept before");
    r.id = known.integer(0);
    return true;
  }
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

bool SqliteRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  out.clear();
  if (!ensureOpen()) return false;
  Statement query(db_,
                  "SELECT id, uuid, utc_time, sensor_id, datasheet_name, success, result FROM records"
                  " WHERE ?1 = 0 OR sensor_id = ?1 ORDER BY id DESC");
  if (!query.ok()) return fail("cannot list the records");
  query.bind(1, static_cast<long long>(sensorId));
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    out.push_back({query.integer(0), query.text(1), query.text(2), static_cast<int>(query.integer(3)),
                   query.text(4), query.integer(5) != 0, query.text(6)});
  }
  return state == SQLITE_DONE || fail("cannot list the records");
}

bool SqliteRecordStore::load(const std::string& uuid, CalibrationRecord& r) {
  r = {};
  if (!ensureOpen()) return false;
  Statement query(db_, (std::string("SELECT ") + kRecordColumns + " FROM records WHERE uuid = ?").c_str());
  if (!query.ok()) return fail("cannot read the record");
  query.bind(1, uuid);
  if (query.step() != SQLITE_ROW) {
    problem_ = "there is no record " + uuid;
    return false;
  }
  readHead(query, r);
  return loadRows(r.id, r);
}

bool SqliteRecordStore::loadRows(long long id, CalibrationRecord& r) {
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

bool SqliteRecordStore::claim(const std::string& claimant, int count, std::chrono::seconds hold,
                              std::vector<CalibrationRecord>& out) {
  out.clear();
  if (!ensureOpen() || !execute("BEGIN IMMEDIATE")) return false;
  const long long now = unixSeconds();
  Statement take(db_,
                 "UPDATE records SET claimed_by = ?1, claimed_until = ?2 WHERE id IN (SELECT id FROM records"
                 " WHERE set_aside IS NULL AND (claimed_by IS NULL OR claimed_by = ?1 OR claimed_until < ?3)"
                 " ORDER BY id LIMIT ?4)");
  take.bind(1, claimant);
  take.bind(2, now + hold.count());
  take.bind(3, now);
  take.bind(4, static_cast<long long>(count));
  Statement taken(db_, (std::string("SELECT ") + kRecordColumns +
                        " FROM records WHERE claimed_by = ? AND set_aside IS NULL ORDER BY id").c_str());
  taken.bind(1, claimant);
  int state = take.step() == SQLITE_DONE ? SQLITE_ROW : SQLITE_ERROR;
  while (state == SQLITE_ROW && (state = taken.step()) == SQLITE_ROW) {
    out.emplace_back();
    readHead(taken, out.back());
    if (!loadRows(out.back().id, out.back())) state = SQLITE_ERROR;
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
  if (!ensureOpen() || !execute("BEGIN IMMEDIATE")) return false;
  Statement rows(db_, "DELETE FROM record_rows WHERE record_id = (SELECT id FROM records WHERE uuid = ?)");
  Statement head(db_, "DELETE FROM records WHERE uuid = ?");
  for (const std::string& uuid : uuids) {
    for (Statement* drop : {&rows, &head}) {
      drop->bind(1, uuid);
      if (drop->step() != SQLITE_DONE) {
        fail("cannot remove the record");
        const std::string reason = problem_;
        execute("ROLLBACK");
        problem_ = reason;
        return false;
      }
      drop->reset();
    }
  }
  if (!execute("COMMIT")) return false;
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  return true;
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
  Statement query(db_,
                  "SELECT id, uuid, utc_time, sensor_id, datasheet_name, success, result, set_aside FROM records"
                  " WHERE set_aside IS NOT NULL ORDER BY id");
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    out.push_back({{query.integer(0), query.text(1), query.text(2), static_cast<int>(query.integer(3)),
                    query.text(4), query.integer(5) != 0, query.text(6)},
                   query.text(7)});
  }
  return state == SQLITE_DONE || fail("cannot list the records set aside");
}

}  // namespace trimwell
