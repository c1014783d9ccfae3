#pragma once
// The records' schema and its history, one list for every SQL store: step N brings
// a store of version N - 1 to version N, making the tables or adding the columns
// that record_columns.cpp gives version N, then whatever else the step needs.
// Every store keeps the number the same way, a row per version reached in its
// schema_version table, and runs the steps inside its own transaction.

#include <functional>
#include <string>

#include "records/record_columns.h"

namespace trimwell {

// The number of steps in record_schema.cpp.
inline constexpr int kRecordSchemaVersion = 13;

inline constexpr const char* kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)";
inline constexpr const char* kReadVersion = "SELECT coalesce(max(version), 0) FROM schema_version";

// Each unit's last successful calibration, by the partial index of step 3
// (records_last_calibration): the query repeats the index's condition word for
// word, which is how SQLite sees that the index serves it.
// Each customer's newest successful calibration, in any store's SQL.
inline constexpr const char* kCustomersSql =
    "SELECT customer, customer_address, customer_email FROM records AS r WHERE customer <> '' AND id = "
    "(SELECT max(id) FROM records AS n WHERE n.customer = r.customer AND n.kind = 'calibration' AND n.success)";
inline constexpr const char* kLastCalibrationCondition = "kind = 'calibration' AND success AND unit <> ''";

// How a store runs SQL; each keeps its reason when it fails.
struct SchemaKeeping {
  std::function<bool(const std::string&)> run;
  std::function<int(const std::string&)> number;  // a query's one integer, -1 when it fails
  // A store made before the version table may keep its version elsewhere (an
  // SQLite file in its header): read once, when the table is still empty.
  std::function<int()> versionBeforeTable;
  // Told of each version reached, for a store that also keeps it where stations
  // from before the table look for it.
  std::function<bool(int)> reached;
};

enum class SchemaState { Current, Newer, Failed };

// The SQL that brings a store of version `version` - 1 to `version`.
std::string schemaStep(int version, const SqlDialect& sql);

// Runs the steps from the store's version on; `found` is the version it had.
// Newer: the store is of a newer station, and nothing was run.
SchemaState bringSchemaUpToDate(const SchemaKeeping& store, const SqlDialect& sql, int& found);

}  // namespace trimwell
