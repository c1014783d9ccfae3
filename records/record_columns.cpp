#include "records/record_columns.h"

#include <type_traits>
#include <utility>

namespace trimwell {
namespace {

using Record = CalibrationRecord;
using Row = RecordRow;

template <typename>
struct MemberOf;
template <typename C, typename V>
struct MemberOf<V C::*> {
  using Class = C;
  using Value = V;
};
template <auto member>
using ClassOf = typename MemberOf<decltype(member)>::Class;
template <auto member>
using ValueOf = typename MemberOf<decltype(member)>::Value;

// A field's column kind follows from its C++ type, so the two cannot disagree.
template <typename V>
constexpr bool kNoColumnFor = false;

template <typename V>
constexpr SqlType typeOf() {
  if constexpr (std::is_same_v<V, bool>) {
    return SqlType::Flag;
  } else if constexpr (std::is_same_v<V, int>) {
    return SqlType::Integer;
  } else if constexpr (std::is_same_v<V, long long>) {
    return SqlType::BigInteger;
  } else if constexpr (std::is_same_v<V, double>) {
    return SqlType::Real;
  } else if constexpr (std::is_same_v<V, std::string>) {
    return SqlType::Text;
  } else if constexpr (std::is_same_v<V, std::vector<std::uint8_t>>) {
    return SqlType::Bytes;
  } else {
    static_assert(kNoColumnFor<V>, "a field of this type needs a column kind of its own");
  }
}

template <typename V>
FieldValue valueOf(const V& value) {
  if constexpr (std::is_integral_v<V>) {
    return static_cast<long long>(value);
  } else {
    return value;
  }
}

template <typename V>
V fieldOf(FieldValue&& value) {
  if constexpr (std::is_same_v<V, bool>) {
    return integerOf(value) != 0;
  } else if constexpr (std::is_integral_v<V>) {
    return static_cast<V>(integerOf(value));
  } else if constexpr (std::is_same_v<V, double>) {
    return realOf(value);
  } else if constexpr (std::is_same_v<V, std::string>) {
    return textOf(std::move(value));
  } else {
    return bytesOf(std::move(value));
  }
}

template <auto member>
FieldValue getMember(const ClassOf<member>& owner) {
  return valueOf(owner.*member);
}

template <auto member>
void setMember(ClassOf<member>& owner, FieldValue&& value) {
  owner.*member = fieldOf<ValueOf<member>>(std::move(value));
}

template <auto member>
constexpr Column<ClassOf<member>> field(const char* name, int since = 1, const char* constraint = "") {
  return {name, typeOf<ValueOf<member>>(), ColumnUse::Field, since, constraint, false, &getMember<member>,
          &setMember<member>};
}

template <typename T>
constexpr Column<T> listed(Column<T> column) {
  column.listed = true;
  return column;
}

template <std::size_t k>
constexpr Column<Row> constant(const char* name) {
  return {name, SqlType::Real, ColumnUse::Field, 1, "", false,
          [](const Row& row) -> FieldValue { return row.constants[k]; },
          [](Row& row, FieldValue&& value) { row.constants[k] = realOf(value); }};
}

constexpr const char* kNotNull = "NOT NULL";

// In the order of the columns in the table: those of version 1, then those each
// later version added. A column's name, kind and version stay as stores made before
// have them; a new one goes at the end with the next version.
const Column<Record> kRecordColumns[] = {
    listed(Column<Record>{"id", SqlType::Key, ColumnUse::Made, 1, "", false, nullptr,
                          [](Record& r, FieldValue&& value) { r.id = integerOf(value); }}),
    {"kind", SqlType::Text, ColumnUse::Field, 1, kNotNull, false,
     [](const Record& r) -> FieldValue { return std::string(kindName(r.kind)); },
     [](Record& r, FieldValue&& value) { r.kind = kindFromName(textOf(std::move(value))); }},
    listed(field<&Record::utcTime>("utc_time", 1, kNotNull)),
    field<&Record::operatorName>("operator"),
    field<&Record::host>("host"),
    field<&Record::stationVersion>("station_version"),
    field<&Record::interfaceKind>("interface_kind"),
    field<&Record::interfaceProduct>("interface_product"),
    field<&Record::firmwareVersion>("firmware_version"),
    listed(field<&Record::sensorId>("sensor_id", 1, kNotNull)),
    listed(field<&Record::datasheetName>("datasheet_name")),
    field<&Record::datasheetVersion>("datasheet_version"),
    field<&Record::options>("options"),
    listed(field<&Record::success>("success", 1, kNotNull)),
    listed(field<&Record::result>("result")),
    field<&Record::restoredFrom>("restored_from"),
    field<&Record::asFoundImage>("as_found_image"),
    field<&Record::asFoundCalibration>("as_found_calibration"),
    field<&Record::asLeftImage>("as_left_image"),
    field<&Record::asLeftCalibration>("as_left_calibration"),
    listed(field<&Record::uuid>("uuid", 2)),
    // A calibration restored nothing: NULL, not an empty identity.
    {"restored_from_uuid", SqlType::Text, ColumnUse::Field, 2, "", false,
     [](const Record& r) -> FieldValue {
       return r.restoredFromUuid.empty() ? FieldValue() : FieldValue(r.restoredFromUuid);
     },
     [](Record& r, FieldValue&& value) { r.restoredFromUuid = textOf(std::move(value)); }},
    {"claimed_by", SqlType::Text, ColumnUse::Outbox, 2},
    {"claimed_until", SqlType::Integer, ColumnUse::Outbox, 2},
    {"set_aside", SqlType::Text, ColumnUse::Outbox, 2},
};

const Column<Row> kRowColumns[] = {
    {"record_id", SqlType::BigInteger, ColumnUse::Store, 1, "NOT NULL REFERENCES records(id)"},
    {"position", SqlType::Integer, ColumnUse::Store, 1, kNotNull},
    field<&Row::measurementId>("measurement_id"),
    field<&Row::name>("name"),
    field<&Row::point1Raw>("point1_raw"),
    field<&Row::point1Data>("point1_data"),
    field<&Row::point2Raw>("point2_raw"),
    field<&Row::point2Data>("point2_data"),
    constant<0>("c0"),
    constant<1>("c1"),
    constant<2>("c2"),
    constant<3>("c3"),
    field<&Row::leftOut>("left_out"),
    field<&Row::extra>("extra"),
};

const ColumnTable<Record> kRecordsTable{"records", kRecordColumns, ""};
const ColumnTable<Row> kRowsTable{"record_rows", kRowColumns, ", PRIMARY KEY(record_id, position)"};

}  // namespace

const SqlDialect kSqliteDialect{
    {"INTEGER PRIMARY KEY AUTOINCREMENT", "TEXT", "INTEGER", "INTEGER", "REAL", "INTEGER", "BLOB"},
    "ADD COLUMN",
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' ||"
    " substr('89ab', 1 + abs(random()) % 4, 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))",
    '?',
    true};

// A server may hold the columns already when its version was lost: IF NOT EXISTS.
const SqlDialect kPostgresDialect{
    {"BIGSERIAL PRIMARY KEY", "TEXT", "INTEGER", "BIGINT", "DOUBLE PRECISION", "BOOLEAN", "BYTEA"},
    "ADD COLUMN IF NOT EXISTS",
    "gen_random_uuid()::text",
    '$',
    false};

const ColumnTable<CalibrationRecord>& recordsTable() { return kRecordsTable; }
const ColumnTable<RecordRow>& rowsTable() { return kRowsTable; }

RecordSummary summaryOf(CalibrationRecord&& r) {
  return {r.id, std::move(r.uuid), std::move(r.utcTime), r.sensorId, std::move(r.datasheetName), r.success,
          std::move(r.result)};
}

long long integerOf(const FieldValue& value) {
  const long long* number = std::get_if<long long>(&value);
  return number != nullptr ? *number : 0;
}

double realOf(const FieldValue& value) {
  const double* number = std::get_if<double>(&value);
  return number != nullptr ? *number : 0.0;
}

std::string textOf(FieldValue&& value) {
  std::string* text = std::get_if<std::string>(&value);
  return text != nullptr ? std::move(*text) : std::string();
}

std::vector<std::uint8_t> bytesOf(FieldValue&& value) {
  auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value);
  return bytes != nullptr ? std::move(*bytes) : std::vector<std::uint8_t>();
}

template <typename T>
std::string columnNames(const ColumnTable<T>& table, bool listedOnly) {
  std::string names;
  for (const Column<T>& c : table.columns) {
    if (readBack(c) && (c.listed || !listedOnly)) names += std::string(names.empty() ? "" : ", ") + c.name;
  }
  return names;
}

template <typename T>
std::string selectSql(const ColumnTable<T>& table, bool listedOnly) {
  return "SELECT " + columnNames(table, listedOnly) + " FROM " + table.name;
}

template <typename T>
std::string insertSql(const SqlDialect& sql, const ColumnTable<T>& table) {
  std::string names, values;
  int count = 0;
  for (ColumnUse use : {ColumnUse::Store, ColumnUse::Field}) {
    for (const Column<T>& c : table.columns) {
      if (c.use != use) continue;
      const std::string comma = count++ == 0 ? "" : ",";
      names += (comma.empty() ? "" : ", ") + std::string(c.name);
      values += comma + sql.placeholder + std::to_string(count);
    }
  }
  return std::string("INSERT INTO ") + table.name + "(" + names + ") VALUES(" + values + ")";
}

template std::string columnNames(const ColumnTable<CalibrationRecord>&, bool);
template std::string columnNames(const ColumnTable<RecordRow>&, bool);
template std::string selectSql(const ColumnTable<CalibrationRecord>&, bool);
template std::string selectSql(const ColumnTable<RecordRow>&, bool);
template std::string insertSql(const SqlDialect&, const ColumnTable<CalibrationRecord>&);
template std::string insertSql(const SqlDialect&, const ColumnTable<RecordRow>&);

}  // namespace trimwell
