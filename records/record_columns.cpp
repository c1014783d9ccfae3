#include "records/record_columns.h"

#include <array>
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>

#include "records/budget_text.h"

namespace trimwell {
namespace {

using Record = CalibrationRecord;
using Row = RecordRow;
using Result = RecordResult;
using Entry = metrology::StandardEntry;

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

// The field at the end of a chain of members: &Result::result, &PointResult::reading.
template <auto first, auto... rest, typename Owner>
auto& reach(Owner& owner) {
  return ((owner.*first) .* ... .* rest);
}

template <auto first, auto... rest>
using FieldType = std::remove_cvref_t<decltype(reach<first, rest...>(std::declval<ClassOf<first>&>()))>;

template <auto first, auto... rest>
FieldValue getMember(const ClassOf<first>& owner) {
  return valueOf(reach<first, rest...>(owner));
}

template <auto first, auto... rest>
void setMember(ClassOf<first>& owner, FieldValue&& value) {
  reach<first, rest...>(owner) = fieldOf<FieldType<first, rest...>>(std::move(value));
}

template <auto first, auto... rest>
constexpr Column<ClassOf<first>> field(const char* name, int since = 1, const char* constraint = "") {
  return {name, typeOf<FieldType<first, rest...>>(), ColumnUse::Field, since, constraint, false,
          &getMember<first, rest...>, &setMember<first, rest...>};
}

// A condition not given is NaN in the record and NULL in the store, which reads
// back as NaN (not as 0, as a NULL number would).
template <auto member>
constexpr Column<ClassOf<member>> optionalNumber(const char* name, int since) {
  return {name, SqlType::Real, ColumnUse::Field, since, "", false,
          [](const ClassOf<member>& owner) -> FieldValue {
            return std::isnan(owner.*member) ? FieldValue() : FieldValue(owner.*member);
          },
          [](ClassOf<member>& owner, FieldValue&& value) {
            owner.*member = std::holds_alternative<double>(value) ? realOf(value) : std::nan("");
          }};
}

// Degrees of freedom not stated are infinite in the record and NULL in the store.
template <auto first, auto... rest>
constexpr Column<ClassOf<first>> degreesOfFreedom(const char* name, int since) {
  return {name, SqlType::Real, ColumnUse::Field, since, "", false,
          [](const ClassOf<first>& owner) -> FieldValue {
            const double nu = reach<first, rest...>(owner);
            return std::isfinite(nu) ? FieldValue(nu) : FieldValue();
          },
          [](ClassOf<first>& owner, FieldValue&& value) {
            reach<first, rest...>(owner) =
                std::holds_alternative<double>(value) ? realOf(value) : std::numeric_limits<double>::infinity();
          }};
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
    listed(field<&Record::unit>("unit", 3)),
    field<&Record::customer>("customer", 3),
    optionalNumber<&Record::ambientTemperature>("ambient_temperature", 3),
    optionalNumber<&Record::relativeHumidity>("relative_humidity", 3),
    field<&Record::decisionRule>("decision_rule", 3),
    field<&Record::restoreConfirmation>("restore_confirmation", 3),
    // Results appended to a record while it waits: a copy sent before then is not
    // the whole record, which stays to go again.
    {"amended", SqlType::Integer, ColumnUse::Outbox, 3},
    field<&Record::certificateNumber>("certificate_number", 4),
    field<&Record::operatorUid>("operator_uid", 6),
    field<&Record::operatorFullName>("operator_full_name", 6),
    field<&Record::clockSynchronised>("clock_synchronised", 6),
    field<&Record::clockMaxErrorUs>("clock_max_error_us", 6),
    field<&Record::amendsUuid>("amends_uuid", 8),
    field<&Record::revision>("revision", 8),
    field<&Record::amendmentReason>("amendment_reason", 8),
    field<&Record::customerAddress>("customer_address", 11),
    field<&Record::customerEmail>("customer_email", 11),
    field<&Record::calibrationPlace>("calibration_place", 11),
    field<&Record::procedureId>("procedure_id", 11),
    field<&Record::procedureVersion>("procedure_version", 11),
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
    field<&Row::tolerance>("tolerance", 13),
};

template <typename T>
constexpr std::array<Column<T>, 2> kChildKey{{
    {"record_id", SqlType::BigInteger, ColumnUse::Store, 3, "NOT NULL REFERENCES records(id)"},
    {"position", SqlType::Integer, ColumnUse::Store, 3, kNotNull},
}};

template <typename T, std::size_t n, std::size_t m>
constexpr std::array<Column<T>, n + m> joined(const std::array<Column<T>, n>& a, const std::array<Column<T>, m>& b) {
  std::array<Column<T>, n + m> out{};
  for (std::size_t i = 0; i < n; ++i) out[i] = a[i];
  for (std::size_t i = 0; i < m; ++i) out[n + i] = b[i];
  return out;
}

// The register's entry and a record's copy of one have the same columns; `to`
// leads from the table's type to its entry (nothing for the register itself).
template <auto... to>
struct EntryOwner {
  using Type = Entry;
};
template <auto first, auto... rest>
struct EntryOwner<first, rest...> {
  using Type = ClassOf<first>;
};

template <auto... to>
constexpr std::array<Column<typename EntryOwner<to...>::Type>, 13> entryColumns(const char* nameConstraint) {
  using U = metrology::ReferenceStandard;
  return {{
      field<to..., &Entry::name>("name", 3, nameConstraint),
      field<to..., &Entry::identification>("identification", 3),
      field<to..., &Entry::certificateNumber>("certificate_number", 3),
      field<to..., &Entry::issuedBy>("issued_by", 3),
      field<to..., &Entry::calibratedOn>("calibrated_on", 3),
      field<to..., &Entry::dueOn>("due_on", 3),
      field<to..., &Entry::quantity>("quantity", 3),
      field<to..., &Entry::unit>("unit", 3),
      field<to..., &Entry::uncertainty, &U::a>("a", 3),
      field<to..., &Entry::uncertainty, &U::b>("b", 3),
      field<to..., &Entry::uncertainty, &U::coverageFactor>("k", 3),
      degreesOfFreedom<to..., &Entry::uncertainty, &U::degreesOfFreedom>("nu", 10),
      field<to..., &Entry::retiredOn>("retired_on", 13),
  }};
}

const auto kStandardColumns = joined(
    joined(kChildKey<RecordStandard>, std::array{field<&RecordStandard::row>("row_position", 3, kNotNull)}),
    entryColumns<&RecordStandard::standard>(""));

const auto kRegisterColumns = entryColumns<>("PRIMARY KEY");

// A result's rule and verdict by the names metrology gives them, its budget as
// budget_text.h writes it, and no limit as NULL.
const std::array<Column<Result>, 11> kResultFields{{
    field<&Result::row>("row_position", 3, kNotNull),
    field<&Result::asLeft>("as_left", 3, kNotNull),
    field<&Result::result, &metrology::PointResult::referenceValue>("reference_value", 3),
    field<&Result::result, &metrology::PointResult::reading>("reading", 3),
    field<&Result::result, &metrology::PointResult::uncertainty, &metrology::UncertaintyBudget::coverageFactor>(
        "coverage_factor", 3),
    {"tolerance_limit", SqlType::Real, ColumnUse::Field, 3, "", false,
     [](const Result& r) -> FieldValue { return r.result.limit ? FieldValue(*r.result.limit) : FieldValue(); },
     [](Result& r, FieldValue&& value) {
       r.result.limit = std::holds_alternative<double>(value) ? std::optional(realOf(value)) : std::nullopt;
     }},
    {"decision_rule", SqlType::Text, ColumnUse::Field, 3, "", false,
     [](const Result& r) -> FieldValue { return std::string(metrology::ruleName(r.result.rule)); },
     [](Result& r, FieldValue&& value) { metrology::parseDecisionRule(textOf(std::move(value)), r.result.rule); }},
    {"verdict", SqlType::Text, ColumnUse::Field, 3, "", false,
     [](const Result& r) -> FieldValue { return std::string(metrology::verdictName(r.result.verdict)); },
     [](Result& r, FieldValue&& value) { metrology::parseVerdict(textOf(std::move(value)), r.result.verdict); }},
    {"budget", SqlType::Text, ColumnUse::Field, 3, "", false,
     [](const Result& r) -> FieldValue { return budgetText(r.result.uncertainty); },
     [](Result& r, FieldValue&& value) { readBudgetText(textOf(std::move(value)), r.result.uncertainty); }},
    field<&Result::referenceInstrument>("reference_instrument", 12),
    field<&Result::referenceTime>("reference_time", 12),
}};
const auto kResultColumns = joined(kChildKey<Result>, kResultFields);

constexpr const char* kChildKeyConstraint = ", PRIMARY KEY(record_id, position)";
const ColumnTable<Record> kRecordsTable{"records", kRecordColumns, ""};
const ColumnTable<Row> kRowsTable{"record_rows", kRowColumns, kChildKeyConstraint};
const ColumnTable<RecordStandard> kStandardsTable{"record_standards", kStandardColumns, kChildKeyConstraint, 3};
const ColumnTable<Result> kResultsTable{"record_results", kResultColumns, kChildKeyConstraint, 3};
const ColumnTable<Entry> kRegisterTable{"reference_standards", kRegisterColumns, "", 3};

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
const ColumnTable<RecordStandard>& standardsTable() { return kStandardsTable; }
const ColumnTable<RecordResult>& resultsTable() { return kResultsTable; }
const ColumnTable<metrology::StandardEntry>& registerTable() { return kRegisterTable; }

RecordSummary summaryOf(CalibrationRecord&& r) {
  return {r.id, std::move(r.uuid), std::move(r.utcTime), r.sensorId, std::move(r.datasheetName), r.success,
          std::move(r.result), false, std::move(r.unit)};
}

std::string shownCell(const FieldValue& value) {
  if (const long long* number = std::get_if<long long>(&value)) return std::to_string(*number);
  if (const double* real = std::get_if<double>(&value)) return exactNumber(*real);
  if (const std::string* text = std::get_if<std::string>(&value)) return "'" + text->substr(0, 40) + "'";
  if (std::holds_alternative<std::vector<std::uint8_t>>(value)) return "(bytes)";
  return "NULL";
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

template <typename T>
std::string upsertSql(const SqlDialect& sql, const ColumnTable<T>& table, const char* key) {
  std::string assignments;
  for (const Column<T>& c : table.columns) {
    if (c.use != ColumnUse::Field || std::string(c.name) == key) continue;
    assignments += std::string(assignments.empty() ? "" : ", ") + c.name + " = excluded." + c.name;
  }
  return insertSql(sql, table) + " ON CONFLICT(" + key + ") DO UPDATE SET " + assignments;
}

#define TRIMWELL_COLUMN_TABLE(T)                                                    \
  template std::string columnNames(const ColumnTable<T>&, bool);                    \
  template std::string selectSql(const ColumnTable<T>&, bool);                      \
  template std::string insertSql(const SqlDialect&, const ColumnTable<T>&);         \
  template std::string upsertSql(const SqlDialect&, const ColumnTable<T>&, const char*);
TRIMWELL_COLUMN_TABLE(CalibrationRecord)
TRIMWELL_COLUMN_TABLE(RecordRow)
TRIMWELL_COLUMN_TABLE(RecordStandard)
TRIMWELL_COLUMN_TABLE(RecordResult)
TRIMWELL_COLUMN_TABLE(metrology::StandardEntry)
#undef TRIMWELL_COLUMN_TABLE

}  // namespace trimwell
