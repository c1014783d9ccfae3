#pragma once
// The records' schema and its history, one list for every SQL store: step N brings
// a store of version N - 1 to version N, making the tables or adding the columns
// that record_columns.cpp gives version N, then whatever else the step needs.
// Each store keeps the number its own long-standing way (an SQLite file in its
// user_version, a server in its schema_version table) and runs the steps inside
// its own transaction.

#include <functional>
#include <string>

#include "records/record_columns.h"

namespace trimwell {

// The number of steps in record_schema.cpp.
inline constexpr int kRecordSchemaVersion = 2;

// How a store keeps its schema version and runs a step's SQL; each keeps its reason
// when it fails.
struct SchemaKeeping {
  std::function<int()> version;  // -1 when it cannot be read
  std::function<bool(int)> setVersion;
  std::function<bool(const std::string&)> run;
};

enum class SchemaState { Current, Newer, Failed };

// The SQL that brings a store of version `version` - 1 to `version`.
std::string schemaStep(int version, const SqlDialect& sql);

// Runs the steps from the store's version on; `found` is the version it had.
// Newer: the store is of a newer station, and nothing was run.
SchemaState bringSchemaUpToDate(const SchemaKeeping& store, const SqlDialect& sql, int& found);

}  // namespace trimwell
