#pragma once
// Which field of a record goes in which column, written once for every SQL store.
// Each store turns a column's kind into its own SQL type (SqlDialect), a field's
// value into what its client library binds, and a cell it reads back into a value;
// the statements, the tables and their schema steps (record_schema.h) are made from
// these tables. A new field is one line at the end of its table in
// record_columns.cpp, with the next schema version, whose step (record_schema.cpp)
// then adds the column to stores made before.

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "records/calibration_record.h"

namespace trimwell {

// A value on its way between a field and a column: none (NULL), a whole number
// (flags as 0 and 1), a double, a text, or bytes.
using FieldValue = std::variant<std::monostate, long long, double, std::string, std::vector<std::uint8_t>>;

// What a column holds. Key is the number a store gives each record.
enum class SqlType { Key, Text, Integer, BigInteger, Real, Flag, Bytes };

// Who fills a column: the record's field, both ways; the store, which reads it back
// into the record (its number); the store alone, binding it before the fields (a
// row's record and place); or the station's outbox alone (its claims), which only
// its SQLite file has.
enum class ColumnUse { Field, Made, Store, Outbox };

template <typename T>
struct Column {
  const char* name;
  SqlType type;
  ColumnUse use = ColumnUse::Field;
  int since = 1;  // the schema version that brought the column; never changed afterwards
  const char* constraint = "";  // written after the type: "NOT NULL"
  bool listed = false;  // part of a record's line in a list (RecordSummary)
  FieldValue (*get)(const T&) = nullptr;  // for Field columns
  void (*set)(T&, FieldValue&&) = nullptr;  // for Field and Made columns
};

template <typename T>
struct ColumnTable {
  const char* name;
  std::span<const Column<T>> columns;
  const char* constraints;  // after the columns, each with its leading comma
  int since = 1;  // the schema version that made the table
};

const ColumnTable<CalibrationRecord>& recordsTable();
// A record's children, each keyed by its record and its place in the record.
const ColumnTable<RecordRow>& rowsTable();
const ColumnTable<RecordStandard>& standardsTable();
const ColumnTable<RecordResult>& resultsTable();
// The reference standards register, keyed by name.
const ColumnTable<metrology::StandardEntry>& registerTable();

// A record's line in a list, from a record read with the listed columns.
RecordSummary summaryOf(CalibrationRecord&& record);

// A column's value as a field takes it (texts and bytes moved out), with NULL or a
// cell of another kind as 0 or empty.
long long integerOf(const FieldValue& value);
double realOf(const FieldValue& value);
std::string textOf(FieldValue&& value);
std::vector<std::uint8_t> bytesOf(FieldValue&& value);

// Where a store's SQL differs.
struct SqlDialect {
  const char* types[7];  // by SqlType
  const char* addColumn;  // "ALTER TABLE t " + this + " name TYPE"
  const char* newUuid;  // an expression of a random UUID's text
  char placeholder;  // '?' or '$', followed by the value's number
  bool hasOutbox;  // keeps the outbox's own columns
};
extern const SqlDialect kSqliteDialect;
extern const SqlDialect kPostgresDialect;

inline const char* sqlType(const SqlDialect& sql, SqlType type) { return sql.types[static_cast<int>(type)]; }

// Whether the store has the column at all, and whether it reads it back.
template <typename T>
bool inStore(const SqlDialect& sql, const Column<T>& c) {
  return c.use != ColumnUse::Outbox || sql.hasOutbox;
}
template <typename T>
bool readBack(const Column<T>& c) {
  return c.use == ColumnUse::Field || c.use == ColumnUse::Made;
}

// "INSERT INTO t(a, b) VALUES(?1,?2)": the store's own columns first (in the
// table's order), then the fields.
template <typename T>
std::string insertSql(const SqlDialect& sql, const ColumnTable<T>& table);
// The same, replacing the row of the same `key` if there is one.
template <typename T>
std::string upsertSql(const SqlDialect& sql, const ColumnTable<T>& table, const char* key);
// "a, b": the columns read back, in the table's order; or the listed ones only.
template <typename T>
std::string columnNames(const ColumnTable<T>& table, bool listedOnly = false);
// "SELECT a, b FROM t" with those columns.
template <typename T>
std::string selectSql(const ColumnTable<T>& table, bool listedOnly = false);

// Whether a cell's value fits the field its column fills: a whole-number
// column's must be a whole number, an int column's one that fits an int (a file's
// or a server's integer may be any 64-bit value, or no number at all).
inline bool fitsColumn(SqlType type, const FieldValue& value) {
  if (type == SqlType::Text || type == SqlType::Real || type == SqlType::Bytes) return true;
  if (std::holds_alternative<std::monostate>(value)) return true;
  const long long* number = std::get_if<long long>(&value);
  return number != nullptr && (type != SqlType::Integer || (*number >= INT32_MIN && *number <= INT32_MAX));
}

// A cell's value as a message names it: 99999999999, 'abc', 1.5.
std::string shownCell(const FieldValue& value);

// Reads the columns read back, in the table's order, from cells 0, 1, ...; `cell`
// answers a cell's value by its number and the column's type. Answers the number
// of cells read. `unfit`, when given, is set to the first column whose value does
// not fit its field, with the value ("sensor_id 99999999999"); the field is then 0.
template <typename T, typename Cell>
int readColumns(const ColumnTable<T>& table, T& out, Cell&& cell, bool listedOnly = false,
                std::string* unfit = nullptr) {
  int at = 0;
  for (const Column<T>& c : table.columns) {
    if (!readBack(c) || (!c.listed && listedOnly)) continue;
    FieldValue value = cell(at++, c.type);
    if (!fitsColumn(c.type, value)) {
      if (unfit != nullptr && unfit->empty()) *unfit = std::string(c.name) + " " + shownCell(value);
      value = 0LL;
    }
    c.set(out, std::move(value));
  }
  return at;
}

// Binds the fields, in the table's order, from the value's number `first` on.
template <typename T, typename Bind>
void bindFields(const ColumnTable<T>& table, const T& in, int first, Bind&& bind) {
  for (const Column<T>& c : table.columns) {
    if (c.use == ColumnUse::Field) bind(first++, c.type, c.get(in));
  }
}

}  // namespace trimwell
