#include "records/postgres_record_store.h"

#include <libpq-fe.h>

#include <poll.h>

#include <chrono>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "platform/format_text.h"
#include "records/postgres_append_only.h"
#include "records/postgres_connection.h"
#include "records/record_check.h"
#include "records/record_hash.h"
#include "records/trail_rows.h"

namespace trimwell {
namespace {

using PostgresValues = std::vector<std::optional<std::string>>;

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

// A field's value as libpq sends it: as text, NULL as no text at all.
std::optional<std::string> sentText(SqlType type, const FieldValue& value) {
  if (const long long* n = std::get_if<long long>(&value)) {
    return type == SqlType::Flag ? (*n != 0 ? "true" : "false") : std::to_string(*n);
  }
  if (const double* d = std::get_if<double>(&value)) return exactNumber(*d);
  if (const std::string* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) return byteaText(*bytes);
  return std::nullopt;
}

FieldValue cellValue(const PGresult* r, int row, int column, SqlType type) {
  if (PQgetisnull(r, row, column) != 0) return {};
  const char* text = PQgetvalue(r, row, column);
  switch (type) {
    case SqlType::Text: return std::string(text);
    case SqlType::Real: return number(text);
    case SqlType::Bytes: return byteaValue(text);
    case SqlType::Flag: return static_cast<long long>(text[0] == 't');
    default: return integer(text);
  }
}

// Row `row` of the result, in the table's columns read back (or the listed ones).
template <typename T>
int readRow(const PGresult* r, int row, const ColumnTable<T>& table, T& out, bool listedOnly = false,
            std::string* unfit = nullptr) {
  return readColumns(
      table, out, [&](int at, SqlType type) { return cellValue(r, row, at, type); }, listedOnly, unfit);
}

template <typename T>
void addFields(const ColumnTable<T>& table, const T& in, PostgresValues& values) {
  bindFields(table, in, static_cast<int>(values.size()) + 1,
             [&](int, SqlType type, const FieldValue& value) { values.push_back(sentText(type, value)); });
}

bool succeeded(const PGresult* r) {
  const ExecStatusType status = r != nullptr ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

void trimEnd(std::string& text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// What a failed connection attempt says, as what it means for the station.
StoreFault connectionFault(const std::string& message) {
  if (contains(message, "timeout expired")) return StoreFault::NoAnswer;
  if (contains(message, "authentication failed") || contains(message, "no password supplied") ||
      contains(message, "pg_hba.conf") || (contains(message, "role \"") && contains(message, "does not exist")) ||
      (contains(message, "database \"") && contains(message, "does not exist"))) {
    return StoreFault::RefusesStation;
  }
  return StoreFault::Unreachable;
}

}  // namespace

void PostgresRecordStore::ResultDeleter::operator()(pg_result* r) const { PQclear(r); }

PostgresRecordStore::PostgresRecordStore(std::string url, StoreAccess access)
    : url_(std::move(url)), access_(access), passwords_(passwordsIn(url_)) {}

PostgresRecordStore::~PostgresRecordStore() { PQfinish(connection_); }

// A server's or libpq's words with the password, wherever it shows, as "***".
std::string PostgresRecordStore::hidden(std::string text) const {
  for (const std::string& password : passwords_) {
    for (std::size_t at = 0; (at = text.find(password, at)) != std::string::npos; at += 3) {
      text.replace(at, password.size(), "***");
    }
  }
  return text;
}

bool PostgresRecordStore::connect() {
  if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) return true;
  // A server whose schema this station does not know is not written into: the
  // connection goes, and the next call finds out again.
  if (!openConnection() || !checkSchema()) {
    PQfinish(connection_);
    connection_ = nullptr;
    return false;
  }
  return true;
}

bool PostgresRecordStore::openConnection() {
  if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) return true;
  PQfinish(connection_);
  // The URL's own settings come after these, and win: a lab lowers the server's
  // check only in its URL, never by the environment (PGSSLMODE).
  const std::string timeout = std::to_string(kConnectTimeoutS);
  const TlsSettings tls = tlsSettings(url_, caFile_);
  std::vector<const char*> keywords = {"connect_timeout"}, values = {timeout.c_str()};
  if (!tls.sslmode.empty()) {
    keywords.push_back("sslmode");
    values.push_back(tls.sslmode.c_str());
  }
  if (!tls.rootCertificate.empty()) {
    keywords.push_back("sslrootcert");
    values.push_back(tls.rootCertificate.c_str());
  }
  keywords.insert(keywords.end(), {"dbname", nullptr});
  values.insert(values.end(), {url_.c_str(), nullptr});
  connection_ = PQconnectdbParams(keywords.data(), values.data(), 1);
  if (PQstatus(connection_) != CONNECTION_OK) {
    std::string message = PQerrorMessage(connection_);
    trimEnd(message);
    fault_ = connectionFault(message);
    problem_ = fault_ == StoreFault::NoAnswer ? "the lab's store does not answer: " + message
               : fault_ == StoreFault::Unreachable ? "cannot reach " + shownUrl(url_) + ": " + message
               : contains(message, "database \"") ? "the lab's record store has no such database: " + message
                                                   : "the lab's record store refuses the station's login: " + message;
    problem_ = hidden(problem_);
    PQfinish(connection_);
    connection_ = nullptr;
    return false;
  }
  const std::string limits = "SET statement_timeout = " + std::to_string(kStatementTimeoutMs) +
                             "; SET lock_timeout = " + std::to_string(kLockTimeoutMs) +
                             "; SET client_min_messages = warning";
  if (!command(limits.c_str())) {
    PQfinish(connection_);
    connection_ = nullptr;
    return false;
  }
  return true;
}

bool PostgresRecordStore::checkSchema() {
  const Reply exists = exec("SELECT to_regclass('schema_version') IS NOT NULL");
  if (!answered(exists)) return false;
  const int found = PQgetvalue(exists.result.get(), 0, 0)[0] == 't' ? storedVersion() : 0;
  if (found < 0) return false;
  if (found > kSchemaVersion) return newerSchema(found);
  if (access_ != StoreAccess::Keep) return readAsItStands(found);
  return found == kSchemaVersion || migrate();
}

int PostgresRecordStore::storedVersion() { return number(kReadVersion); }

int PostgresRecordStore::number(const std::string& sql) {
  const Reply reply = exec(sql);
  return answered(reply) ? static_cast<int>(integer(PQgetvalue(reply.result.get(), 0, 0))) : -1;
}

bool PostgresRecordStore::newerSchema(int found) {
  problem_ = "the lab's record store is of a newer station (schema " + std::to_string(found) + ")";
  fault_ = StoreFault::RefusesStation;
  return false;
}

// One station at a time makes or brings up the schema; the server's rules are
// made anew with it.
bool PostgresRecordStore::migrate() {
  const SchemaKeeping keeping{[this](const std::string& sql) { return command(sql); },
                               [this](const std::string& sql) { return number(sql); }, nullptr, nullptr};
  int found = 0;
  SchemaState state = SchemaState::Failed;
  if (command("BEGIN") && command("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")")) {
    state = bringSchemaUpToDate(keeping, kPostgresDialect, found);
  }
  if (state == SchemaState::Newer) newerSchema(found);
  if (state != SchemaState::Current || !command(postgresAppendOnlyTriggers()) ||
      (found > 0 && found < kTrailSince && !enterRecordsKeptBefore())) {
    return abandon();
  }
  return command("COMMIT");
}

bool PostgresRecordStore::isConnected() { return connect(); }

// Sends the statement and waits for its whole reply, at most kReplyDeadlineMs.
PostgresRecordStore::Reply PostgresRecordStore::exec(const std::string& sql, const PostgresValues& values) {
  Reply reply;
  if (connection_ == nullptr) return reply;
  std::vector<const char*> pointers;
  for (const std::optional<std::string>& v : values) pointers.push_back(v ? v->c_str() : nullptr);
  const int sent = values.empty() ? PQsendQuery(connection_, sql.c_str())
                                  : PQsendQueryParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                      pointers.data(), nullptr, nullptr, 0);
  if (sent == 0) return reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyDeadlineMs);
  while (PQconsumeInput(connection_) != 0) {
    while (PQisBusy(connection_) == 0) {
      PGresult* next = PQgetResult(connection_);
      if (next == nullptr) return reply;
      // Of several statements' results, the first failure or else the last.
      if (reply.result == nullptr || succeeded(reply.result.get())) {
        reply.result.reset(next);
      } else {
        PQclear(next);
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      reply.late = true;
      break;
    }
    pollfd wait{PQsocket(connection_), POLLIN, 0};
    poll(&wait, 1, static_cast<int>(left.count()));
  }
  reply.result.reset();
  return reply;
}

bool PostgresRecordStore::command(const std::string& sql) { return answered(exec(sql)); }

// False, with the server's words in problem() and what they mean in fault(), for
// a statement that failed.
bool PostgresRecordStore::answered(const Reply& reply) {
  if (reply.result != nullptr && succeeded(reply.result.get())) return true;
  if (reply.late || reply.result == nullptr) {
    std::string message = connection_ != nullptr ? PQerrorMessage(connection_) : "";
    trimEnd(message);
    fault_ = reply.late ? StoreFault::NoAnswer : StoreFault::Unreachable;
    problem_ = reply.late ? "the lab's store does not answer" : "cannot reach " + shownUrl(url_) + ": " + message;
    problem_ = hidden(problem_);
    // A connection whose reply never came is out of step with the server.
    if (reply.late || (connection_ != nullptr && PQstatus(connection_) == CONNECTION_BAD)) connectionFailed();
    return false;
  }
  std::string message = PQresultErrorMessage(reply.result.get());
  trimEnd(message);
  const char* field = PQresultErrorField(reply.result.get(), PG_DIAG_SQLSTATE);
  const std::string state = field != nullptr ? field : "";
  const std::string kind = state.substr(0, 2);
  if (state == "57014" || state == "55P03") {
    fault_ = StoreFault::NoAnswer;
    problem_ = "the lab's store does not answer: " + message;
  } else if (kind == "22" || kind == "23") {
    fault_ = StoreFault::RefusesRecord;
    problem_ = "the lab's record store refuses the record: " + message;
  } else if (state == "42501") {
    fault_ = StoreFault::RefusesStation;
    problem_ = "the lab's record store does not let this station keep records: " + message;
  } else if (kind == "28") {
    fault_ = StoreFault::RefusesStation;
    problem_ = "the lab's record store refuses the station's login: " + message;
  } else if (kind == "08" || kind == "53" || kind == "57" || kind == "58") {
    fault_ = StoreFault::Unreachable;
    problem_ = message;
  } else {
    fault_ = StoreFault::RefusesStation;
    problem_ = message;
  }
  problem_ = hidden(problem_);
  return false;
}

void PostgresRecordStore::connectionFailed() {
  PQfinish(connection_);
  connection_ = nullptr;
}

// libpq learns that the server went away only when it next talks to it: a call
// that finds the connection broken connects again and is tried once more. One
// whose server did not answer is not: that would only double the wait.
bool PostgresRecordStore::retrying(const std::function<bool()>& call) {
  fault_ = StoreFault::None;
  if (!connect()) return false;
  if (call()) return true;
  if (fault_ != StoreFault::Unreachable || (connection_ != nullptr && PQstatus(connection_) != CONNECTION_BAD)) {
    return false;
  }
  return connect() && call();
}

bool PostgresRecordStore::add(CalibrationRecord& record) {
  fault_ = StoreFault::None;
  if (!checkRecordNumbers(record, problem_)) {
    fault_ = StoreFault::RefusesRecord;
    return false;
  }
  if (record.uuid.empty()) record.uuid = newRecordUuid();
  return retrying([&] { return addOnce(record); });
}

bool PostgresRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  return retrying([&] { return listOnce("$1::int = 0 OR sensor_id = $1::int", std::to_string(sensorId), out); });
}

bool PostgresRecordStore::listUnit(const std::string& unit, std::vector<RecordSummary>& out) {
  return retrying([&] { return listOnce("unit = $1", unit, out); });
}

bool PostgresRecordStore::load(const std::string& uuid, CalibrationRecord& out) {
  return retrying([&] { return loadOnce(uuid, out); });
}

bool PostgresRecordStore::appendResults(const std::string& uuid, const std::vector<RecordResult>& results) {
  bool committing = false;
  return retrying([&] { return !committing && appendOnce(uuid, results, committing); });
}

bool PostgresRecordStore::keepCertificateNumber(const std::string& uuid, std::string& number) {
  return retrying([&] { return writing([&] { return numberOnce(uuid, number); }); });
}

bool PostgresRecordStore::lastCalibrations(std::vector<UnitLastCalibrated>& out) {
  return retrying([&] { return lastOnce(out); });
}

bool PostgresRecordStore::customers(std::vector<CustomerContact>& out) {
  return retrying([&] { return customersOnce(out); });
}

bool PostgresRecordStore::saveStandard(const metrology::StandardEntry& entry) {
  fault_ = StoreFault::None;
  if (!metrology::checkEntry(entry, problem_)) return false;
  return retrying([&] { return writing([&] { return saveOnce(entry); }); });
}

// The register may change; each change goes into the audit trail with the entry
// as it was and as it is now.
bool PostgresRecordStore::saveOnce(const metrology::StandardEntry& entry) {
  const Reply old = exec(selectSql(registerTable()) + " WHERE name = $1", {entry.name});
  if (!answered(old)) return false;
  std::vector<metrology::StandardEntry> before;
  if (PQntuples(old.result.get()) == 1) readRow(old.result.get(), 0, registerTable(), before.emplace_back());
  if (!before.empty() && before.front() == entry) return true;
  PostgresValues values;
  addFields(registerTable(), entry, values);
  if (!answered(exec(upsertSql(kPostgresDialect, registerTable(), "name"), values))) return false;
  signing::AuditEntry change;
  change.event = kStandardSaved;
  change.details = standardSavedDetails(before.empty() ? nullptr : &before.front(), entry);
  return noteChange(change);
}

bool PostgresRecordStore::listStandards(std::vector<metrology::StandardEntry>& out) {
  return retrying([&] { return standardsOnce(out); });
}

// Rolls the transaction back, keeping what failed it; false.
bool PostgresRecordStore::abandon() {
  const std::string reason = problem_;
  const StoreFault fault = fault_;
  command("ROLLBACK");
  problem_ = reason;
  fault_ = fault;
  return false;
}

// A COMMIT whose reply was lost leaves the record in or out: sent again, the
// record's identity keeps it once.
bool PostgresRecordStore::addOnce(CalibrationRecord& record) {
  return writing([&] { return insertRecord(record) && insertCarriedSignatures(record); });
}

bool PostgresRecordStore::insertRecord(CalibrationRecord& r) {
  PostgresValues values;
  addFields(recordsTable(), r, values);
  const Reply inserted =
      exec(insertSql(kPostgresDialect, recordsTable()) + " ON CONFLICT (uuid) DO NOTHING RETURNING id", values);
  if (!answered(inserted)) return false;
  if (PQntuples(inserted.result.get()) == 1) {
    r.id = integer(PQgetvalue(inserted.result.get(), 0, 0));
    return insertChildren(r) && noteEvent("record made", r.uuid, madeDetails(r));
  }
  // Kept before (a reply lost on the way, or another station sent it): one copy,
  // which takes the results appended to this one since (a waiting record amended
  // while it was on its way).
  long long kept = 0;
  if (!lockRecord(r.uuid, r.id, kept)) return false;
  const std::span<const RecordResult> results(r.results);
  if (kept >= static_cast<long long>(results.size())) return true;
  return insertChildren(resultsTable(), r.id, results.subspan(kept), kept) &&
         noteEvent("results added", r.uuid,
                   std::to_string(results.size() - static_cast<std::size_t>(kept)) + " sent again with the record");
}

bool PostgresRecordStore::insertChildren(const CalibrationRecord& r) {
  return insertChildren(rowsTable(), r.id, std::span<const RecordRow>(r.rows), 0) &&
         insertChildren(standardsTable(), r.id, std::span<const RecordStandard>(r.standards), 0) &&
         insertChildren(resultsTable(), r.id, std::span<const RecordResult>(r.results), 0);
}

template <typename T>
bool PostgresRecordStore::insertChildren(const ColumnTable<T>& table, long long id, std::span<const T> items,
                                         long long first) {
  const std::string insert = insertSql(kPostgresDialect, table);
  for (const T& item : items) {
    PostgresValues values = {std::to_string(id), std::to_string(first++)};
    addFields(table, item, values);
    if (!answered(exec(insert, values))) return false;
  }
  return true;
}

// The record's number and its results' count, its row locked until the end of
// the transaction so that appends take their places one after the other.
bool PostgresRecordStore::lockRecord(const std::string& uuid, long long& id, long long& results) {
  const Reply known = exec("SELECT id FROM records WHERE uuid = $1 FOR UPDATE", {uuid});
  if (!answered(known)) return false;
  if (PQntuples(known.result.get()) != 1) {
    problem_ = "there is no record " + uuid;
    fault_ = StoreFault::None;
    return false;
  }
  id = integer(PQgetvalue(known.result.get(), 0, 0));
  const Reply count = exec("SELECT count(*) FROM record_results WHERE record_id = $1", {std::to_string(id)});
  if (!answered(count)) return false;
  results = integer(PQgetvalue(count.result.get(), 0, 0));
  return true;
}

bool PostgresRecordStore::appendOnce(const std::string& uuid, const std::vector<RecordResult>& results,
                                     bool& committing) {
  if (!beginWriting()) return false;
  long long id = 0, kept = 0;
  if (!lockRecord(uuid, id, kept)) return abandon();
  if (!checkResultNumbers(results, static_cast<std::size_t>(kept), problem_)) {
    fault_ = StoreFault::RefusesRecord;
    return abandon();
  }
  std::vector<signing::KeptSignature> given;
  if (!matchesTrail(uuid) || !readKept(given, uuid)) return abandon();
  if (!given.empty()) return keepReadingsOfSealed(uuid, results);
  if (!insertChildren(resultsTable(), id, std::span<const RecordResult>(results), kept) ||
      !noteEvent("results added", uuid, std::to_string(results.size()) + (results.size() == 1 ? " result" : " results"))) {
    return abandon();
  }
  committing = true;
  if (command("COMMIT")) return true;
  problem_ = "the lab's record store did not confirm the results added to record " + uuid +
             "; they may or may not be kept: " + problem_;
  return abandon();
}

bool PostgresRecordStore::listOnce(const std::string& where, const std::string& value,
                                   std::vector<RecordSummary>& out) {
  out.clear();
  const Reply rows = exec(selectSql(recordsTable(), true) + " WHERE " + where + " ORDER BY id DESC", {value});
  if (!answered(rows)) return false;
  for (int i = 0; i < PQntuples(rows.result.get()); ++i) {
    CalibrationRecord listed;
    std::string unfit;
    readRow(rows.result.get(), i, recordsTable(), listed, true, &unfit);
    if (!unfit.empty()) {
      skipped_.push_back(outOfRange(listed.id, unfit) + ": left out");
      continue;
    }
    out.push_back(summaryOf(std::move(listed)));
  }
  return true;
}

bool PostgresRecordStore::loadOnce(const std::string& uuid, CalibrationRecord& r) {
  r = {};
  const Reply head = exec(selectSql(recordsTable()) + " WHERE uuid = $1", {uuid});
  if (!answered(head)) return false;
  if (PQntuples(head.result.get()) != 1) {
    problem_ = "there is no record " + uuid;
    return false;
  }
  std::string unfit;
  readRow(head.result.get(), 0, recordsTable(), r, false, &unfit);
  std::vector<signing::KeptSignature> kept;
  if (!loadChildren(rowsTable(), r.id, r.rows, unfit) || !loadChildren(standardsTable(), r.id, r.standards, unfit) ||
      !loadChildren(resultsTable(), r.id, r.results, unfit)) {
    return false;
  }
  if (unfit.empty()) unfit = rowOutOfRange(r);
  if (!unfit.empty()) {
    problem_ = outOfRange(r.id, unfit);
    return false;
  }
  if (!readKept(kept, uuid)) return false;
  for (signing::KeptSignature& k : kept) r.signatures.push_back(std::move(k.signature));
  return true;
}

template <typename T>
bool PostgresRecordStore::loadChildren(const ColumnTable<T>& table, long long id, std::vector<T>& out,
                                       std::string& unfit) {
  const Reply rows = exec(selectSql(table) + " WHERE record_id = $1 ORDER BY position", {std::to_string(id)});
  if (!answered(rows)) return false;
  for (int i = 0; i < PQntuples(rows.result.get()); ++i) {
    std::string child;
    readRow(rows.result.get(), i, table, out.emplace_back(), false, &child);
    if (unfit.empty() && !child.empty()) unfit = std::string(table.name) + "." + child;
  }
  return true;
}

// Every record with its rows, one query per table: a lab's store holds many.
bool PostgresRecordStore::loadEvery(std::vector<CalibrationRecord>& out) {
  out.clear();
  const Reply heads = exec(selectSql(recordsTable()) + " ORDER BY id");
  if (!answered(heads)) return false;
  for (int i = 0; i < PQntuples(heads.result.get()); ++i) {
    readRow(heads.result.get(), i, recordsTable(), out.emplace_back());
  }
  std::map<long long, CalibrationRecord*> byId;
  for (CalibrationRecord& r : out) byId[r.id] = &r;
  return loadEveryChild(rowsTable(), byId, &CalibrationRecord::rows) &&
         loadEveryChild(standardsTable(), byId, &CalibrationRecord::standards) &&
         loadEveryChild(resultsTable(), byId, &CalibrationRecord::results);
}

template <typename T>
bool PostgresRecordStore::loadEveryChild(const ColumnTable<T>& table, std::map<long long, CalibrationRecord*>& byId,
                                         std::vector<T> CalibrationRecord::*member) {
  std::string select = selectSql(table);
  select.insert(select.find(" FROM "), ", record_id");
  const Reply rows = exec(select + " ORDER BY record_id, position");
  if (!answered(rows)) return false;
  for (int i = 0; i < PQntuples(rows.result.get()); ++i) {
    T child;
    const int at = readRow(rows.result.get(), i, table, child);
    // A child of no record is no record's content: verify finds nothing of it to hold.
    const auto record = byId.find(integer(PQgetvalue(rows.result.get(), i, at)));
    if (record != byId.end()) (record->second->*member).push_back(std::move(child));
  }
  return true;
}

// Units and names in byte order, as the station's SQLite file has them, whatever
// the server's collation.
bool PostgresRecordStore::lastOnce(std::vector<UnitLastCalibrated>& out) {
  out.clear();
  const Reply rows = exec(std::string("SELECT sensor_id, unit, max(utc_time) FROM records WHERE ") +
                          kLastCalibrationCondition + " GROUP BY sensor_id, unit ORDER BY sensor_id, unit COLLATE \"C\"");
  if (!answered(rows)) return false;
  const PGresult* r = rows.result.get();
  for (int i = 0; i < PQntuples(r); ++i) {
    out.push_back({static_cast<int>(integer(PQgetvalue(r, i, 0))), PQgetvalue(r, i, 1), PQgetvalue(r, i, 2)});
  }
  return true;
}

bool PostgresRecordStore::customersOnce(std::vector<CustomerContact>& out) {
  out.clear();
  const Reply rows = exec(std::string(kCustomersSql) + " ORDER BY customer COLLATE \"C\"");
  if (!answered(rows)) return false;
  const PGresult* r = rows.result.get();
  for (int i = 0; i < PQntuples(r); ++i) out.push_back({PQgetvalue(r, i, 0), PQgetvalue(r, i, 1), PQgetvalue(r, i, 2)});
  return true;
}

bool PostgresRecordStore::standardsOnce(std::vector<metrology::StandardEntry>& out) {
  out.clear();
  const Reply rows = exec(selectSql(registerTable()) + " ORDER BY name COLLATE \"C\"");
  if (!answered(rows)) return false;
  for (int i = 0; i < PQntuples(rows.result.get()); ++i) {
    readRow(rows.result.get(), i, registerTable(), out.emplace_back());
  }
  return true;
}

}  // namespace trimwell
