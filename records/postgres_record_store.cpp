#include "records/postgres_record_store.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdio>
#include <memory>

#include "platform/format_text.h"

namespace trimwell {
namespace {

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS records("
    " id BIGSERIAL PRIMARY KEY, kind TEXT NOT NULL, utc_time TEXT NOT NULL, operator TEXT, host TEXT,"
    " station_version TEXT, interface_kind TEXT, interface_product INTEGER, firmware_version TEXT,"
    " sensor_id INTEGER NOT NULL, datasheet_name TEXT, datasheet_version TEXT, options TEXT,"
    " success BOOLEAN NOT NULL, result TEXT, restored_from BIGINT,"
    " as_found_image BYTEA, as_found_calibration BYTEA, as_left_image BYTEA, as_left_calibration BYTEA);"
    "CREATE INDEX IF NOT EXISTS records_by_sensor ON records(sensor_id, id);"
    "CREATE TABLE IF NOT EXISTS record_rows("
    " record_id BIGINT NOT NULL REFERENCES records(id), position INTEGER NOT NULL, measurement_id INTEGER,"
    " name TEXT, point1_raw DOUBLE PRECISION, point1_data DOUBLE PRECISION, point2_raw DOUBLE PRECISION,"
    " point2_data DOUBLE PRECISION, c0 DOUBLE PRECISION, c1 DOUBLE PRECISION, c2 DOUBLE PRECISION,"
    " c3 DOUBLE PRECISION, left_out BOOLEAN, extra BOOLEAN, PRIMARY KEY(record_id, position));";

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Values go as text: doubles with every digit they need, bytes in bytea's hex form.
std::string byteaText(const std::vector<std::uint8_t>& bytes) {
  return "\\x" + hexText(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> byteaValue(const char* text) {
  std::vector<std::uint8_t> out;
  if (text == nullptr || text[0] != '\\' || text[1] != 'x') return out;
  for (const char* p = text + 2; p[0] != '\0' && p[1] != '\0'; p += 2) {
    unsigned value = 0;
    std::from_chars(p, p + 2, value, 16);
    out.push_back(static_cast<std::uint8_t>(value));
  }
  return out;
}

double number(const char* text) {
  double value = 0.0;
  if (text != nullptr) std::from_chars(text, text + std::char_traits<char>::length(text), value);
  return value;
}

long long integer(const char* text) {
  long long value = 0;
  if (text != nullptr) std::from_chars(text, text + std::char_traits<char>::length(text), value);
  return value;
}

Result run(pg_conn* c, const char* sql, const std::vector<std::string>& values) {
  std::vector<const char*> pointers;
  for (const std::string& v : values) pointers.push_back(v.c_str());
  return Result(PQexecParams(c, sql, static_cast<int>(values.size()), nullptr, pointers.data(), nullptr, nullptr, 0));
}

bool succeeded(const PGresult* r) {
  const ExecStatusType status = r != nullptr ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

}  // namespace

PostgresRecordStore::PostgresRecordStore(std::string url) : url_(std::move(url)) { connect(); }

PostgresRecordStore::~PostgresRecordStore() { PQfinish(connection_); }

bool PostgresRecordStore::connect() {
  if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) return true;
  if (connection_ == nullptr) {
    connection_ = PQconnectdb(url_.c_str());
  } else {
    PQreset(connection_);
  }
  if (PQstatus(connection_) != CONNECTION_OK) {
    problem_ = std::string("cannot reach ") + url_ + ": " + PQerrorMessage(connection_);
    while (!problem_.empty() && (problem_.back() == '\n' || problem_.back() == ' ')) problem_.pop_back();
    return false;
  }
  if (migrated_) return true;
  // One station at a time makes or brings up the schema.
  migrated_ = command("BEGIN") && command("SELECT pg_advisory_xact_lock(7318)") &&
              command("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)");
  if (migrated_) {
    Result version(PQexec(connection_, "SELECT max(version) FROM schema_version"));
    const long long found = succeeded(version.get()) ? integer(PQgetvalue(version.get(), 0, 0)) : -1;
    if (found > kSchemaVersion) {
      problem_ = "the lab's record store is of a newer station (schema " + std::to_string(found) + ")";
      migrated_ = false;
    } else if (found < kSchemaVersion) {
      migrated_ = command(kSchema) && command("INSERT INTO schema_version VALUES (1)");
    }
  }
  if (!migrated_) {
    const std::string reason = problem_;
    command("ROLLBACK");
    problem_ = reason;
    return false;
  }
  return command("COMMIT");
}

bool PostgresRecordStore::isConnected() { return connect(); }

bool PostgresRecordStore::command(const char* sql) {
  const Result result(PQexec(connection_, sql));
  return answered(result.get());
}

// False, with the server's words in problem(), for a statement that failed.
bool PostgresRecordStore::answered(const pg_result* result) {
  if (succeeded(result)) return true;
  problem_ = PQerrorMessage(connection_);
  while (!problem_.empty() && (problem_.back() == '\n' || problem_.back() == ' ')) problem_.pop_back();
  return false;
}

// libpq learns that the server went away only when it next talks to it: a call
// that finds the connection broken connects again and is tried once more.
template <typename Call>
bool PostgresRecordStore::retrying(Call&& call) {
  if (!connect()) return false;
  if (call()) return true;
  if (PQstatus(connection_) != CONNECTION_BAD) return false;
  return connect() && call();
}

bool PostgresRecordStore::add(CalibrationRecord& record) {
  return retrying([&] { return addOnce(record); });
}

bool PostgresRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  return retrying([&] { return listOnce(sensorId, out); });
}

bool PostgresRecordStore::load(long long id, CalibrationRecord& out) {
  return retrying([&] { return loadOnce(id, out); });
}

bool PostgresRecordStore::addOnce(CalibrationRecord& record) {
  if (!command("BEGIN")) return false;
  if (!insertRecord(record) || !command("COMMIT")) {
    const std::string reason = problem_;
    command("ROLLBACK");
    problem_ = reason;
    return false;
  }
  return true;
}

bool PostgresRecordStore::insertRecord(CalibrationRecord& r) {
  const std::vector<std::string> values = {
      kindName(r.kind), r.utcTime, r.operatorName, r.host,
      r.stationVersion, r.interfaceKind, std::to_string(r.interfaceProduct), r.firmwareVersion,
      std::to_string(r.sensorId), r.datasheetName, r.datasheetVersion, r.options, r.success ? "true" : "false",
      r.result, std::to_string(r.restoredFrom), byteaText(r.asFoundImage), byteaText(r.asFoundCalibration),
      byteaText(r.asLeftImage), byteaText(r.asLeftCalibration)};
  Result inserted = run(connection_,
                        "INSERT INTO records(kind, utc_time, operator, host, station_version, interface_kind,"
                        " interface_product, firmware_version, sensor_id, datasheet_name, datasheet_version,"
                        " options, success, result, restored_from, as_found_image, as_found_calibration,"
                        " as_left_image, as_left_calibration)"
                        " VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14,$15,$16,$17,$18,$19) RETURNING id",
                        values);
  if (!answered(inserted.get())) return false;
  r.id = integer(PQgetvalue(inserted.get(), 0, 0));
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const RecordRow& x = r.rows[i];
    Result row = run(connection_,
                     "INSERT INTO record_rows VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14)",
                     {std::to_string(r.id), std::to_string(i), std::to_string(x.measurementId), x.name,
                      exactNumber(x.point1Raw), exactNumber(x.point1Data), exactNumber(x.point2Raw), exactNumber(x.point2Data),
                      exactNumber(x.constants[0]), exactNumber(x.constants[1]), exactNumber(x.constants[2]), exactNumber(x.constants[3]),
                      x.leftOut ? "true" : "false", x.extra ? "true" : "false"});
    if (!answered(row.get())) return false;
  }
  return true;
}

bool PostgresRecordStore::listOnce(int sensorId, std::vector<RecordSummary>& out) {
  out.clear();
  Result rows = run(connection_,
                    "SELECT id, utc_time, sensor_id, datasheet_name, success, result FROM records"
                    " WHERE $1::int = 0 OR sensor_id = $1::int ORDER BY id DESC",
                    {std::to_string(sensorId)});
  if (!answered(rows.get())) return false;
  for (int i = 0; i < PQntuples(rows.get()); ++i) {
    out.push_back({integer(PQgetvalue(rows.get(), i, 0)), PQgetvalue(rows.get(), i, 1),
                   static_cast<int>(integer(PQgetvalue(rows.get(), i, 2))), PQgetvalue(rows.get(), i, 3),
                   PQgetvalue(rows.get(), i, 4)[0] == 't', PQgetvalue(rows.get(), i, 5)});
  }
  return true;
}

bool PostgresRecordStore::loadOnce(long long id, CalibrationRecord& r) {
  r = {};
  Result head = run(connection_,
                    "SELECT kind, utc_time, operator, host, station_version, interface_kind, interface_product,"
                    " firmware_version, sensor_id, datasheet_name, datasheet_version, options, success, result,"
                    " restored_from, as_found_image, as_found_calibration, as_left_image, as_left_calibration"
                    " FROM records WHERE id = $1",
                    {std::to_string(id)});
  if (!answered(head.get())) return false;
  if (PQntuples(head.get()) != 1) {
    problem_ = "there is no record " + std::to_string(id);
    return false;
  }
  auto at = [&](int column) { return PQgetvalue(head.get(), 0, column); };
  r.id = id;
  r.kind = kindFromName(at(0));
  int column = 1;
  for (std::string* text : {&r.utcTime, &r.operatorName, &r.host, &r.stationVersion, &r.interfaceKind}) {
    *text = at(column++);
  }
  r.interfaceProduct = static_cast<int>(integer(at(column++)));
  r.firmwareVersion = at(column++);
  r.sensorId = static_cast<int>(integer(at(column++)));
  for (std::string* text : {&r.datasheetName, &r.datasheetVersion, &r.options}) *text = at(column++);
  r.success = at(column++)[0] == 't';
  r.result = at(column++);
  r.restoredFrom = integer(at(column++));
  for (auto* bytes : {&r.asFoundImage, &r.asFoundCalibration, &r.asLeftImage, &r.asLeftCalibration}) {
    *bytes = byteaValue(at(column++));
  }
  Result rows = run(connection_,
                    "SELECT measurement_id, name, point1_raw, point1_data, point2_raw, point2_data, c0, c1, c2, c3,"
                    " left_out, extra FROM record_rows WHERE record_id = $1 ORDER BY position",
                    {std::to_string(id)});
  if (!answered(rows.get())) return false;
  for (int i = 0; i < PQntuples(rows.get()); ++i) {
    auto cell = [&](int c) { return PQgetvalue(rows.get(), i, c); };
    RecordRow x;
    x.measurementId = static_cast<int>(integer(cell(0)));
    x.name = cell(1);
    x.point1Raw = number(cell(2));
    x.point1Data = number(cell(3));
    x.point2Raw = number(cell(4));
    x.point2Data = number(cell(5));
    for (int k = 0; k < 4; ++k) x.constants[static_cast<std::size_t>(k)] = number(cell(6 + k));
    x.leftOut = cell(10)[0] == 't';
    x.extra = cell(11)[0] == 't';
    r.rows.push_back(x);
  }
  return true;
}

}  // namespace trimwell
