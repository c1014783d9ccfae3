#include "records/schema_reading.h"

#include <algorithm>
#include <map>

namespace trimwell {
namespace {

// A column as a table of some version has it, and what the steps since give a
// row kept before it came.
struct StoredColumn {
  std::string name;
  SqlType type;
  int since;
  std::string missing = "NULL";
};

struct StoredTable {
  std::string name;
  int since;
  std::vector<StoredColumn> columns;
  bool required = true;  // a store of its version has it
};

// Records kept before identities were made get none in a store read as it is:
// they are named by their number, which says that they had none.
const std::map<std::string, std::string> kMissingRecordColumns = {
    {"uuid", "'record-' || id"},
    {"restored_from_uuid", "CASE WHEN restored_from <> 0 THEN 'record-' || restored_from END"},
};

template <typename T>
StoredTable storedTable(const ColumnTable<T>& table, const SqlDialect& sql) {
  StoredTable stored{table.name, table.since, {}};
  for (const Column<T>& c : table.columns) {
    if (!inStore(sql, c)) continue;
    StoredColumn column{c.name, c.type == SqlType::Key ? SqlType::BigInteger : c.type, c.since};
    if (stored.name == "records") {
      if (const auto given = kMissingRecordColumns.find(c.name); given != kMissingRecordColumns.end()) {
        column.missing = given->second;
      }
    }
    stored.columns.push_back(std::move(column));
  }
  return stored;
}

std::vector<StoredTable> storedTables(const SqlDialect& sql) {
  using T = SqlType;
  std::vector<StoredTable> tables = {storedTable(recordsTable(), sql), storedTable(rowsTable(), sql),
                                     storedTable(standardsTable(), sql), storedTable(resultsTable(), sql),
                                     storedTable(registerTable(), sql)};
  tables.push_back({"audit_trail",
                    5,
                    {{"sequence", T::BigInteger, 5},
                     {"event", T::Text, 5},
                     {"bench_time", T::Text, 5},
                     {"machine_id", T::Text, 5},
                     {"station_version", T::Text, 5},
                     {"sensor", T::Text, 5},
                     {"interface", T::Text, 5},
                     {"record_uuid", T::Text, 5},
                     {"record_hash", T::Text, 5},
                     {"details", T::Text, 5},
                     {"previous_hash", T::Text, 5},
                     {"entry_hash", T::Text, 5},
                     {"arrived_time", T::Text, 9, "''"},
                     {"station_sequence", T::BigInteger, 9, "0"},
                     {"actor", T::Text, 10, "''"}}});
  tables.push_back({"signatures",
                    7,
                    {{"record_uuid", T::Text, 7},
                     {"position", T::BigInteger, 7},
                     {"record_hash", T::Text, 7},
                     {"uid", T::BigInteger, 7},
                     {"login", T::Text, 7},
                     {"printed_name", T::Text, 7},
                     {"groups_held", T::Text, 7},
                     {"meaning", T::Text, 7},
                     {"reason", T::Text, 7},
                     {"utc_time", T::Text, 7},
                     {"signature_hash", T::Text, 7}}});
  // Files made before the version table keep their version in the header.
  tables.push_back({"schema_version", 1, {{"version", T::Integer, 1}}, false});
  return tables;
}

bool hasColumn(const std::vector<std::string>& columns, const std::string& name) {
  return std::find(columns.begin(), columns.end(), name) != columns.end();
}

}  // namespace

bool checkSchemaShape(int version, const SqlDialect& sql, const SchemaLookup& store, std::string& problem) {
  if (version < 1) {
    problem = "it holds no records (no schema version)";
    return false;
  }
  for (const StoredTable& table : storedTables(sql)) {
    const std::string kind = store.kindOf(table.name);
    // A store says which version it is; what a later one made in it would be
    // read as that version's, without the checks it brought (its audit trail).
    if (table.since > version) {
      if (kind.empty()) continue;
      problem = "it says it is of schema " + std::to_string(version) + ", but has " + table.name + " of schema " +
                std::to_string(table.since);
      return false;
    }
    if (kind.empty() && !table.required) continue;
    if (kind != "table") {
      problem = kind.empty() ? "it has no table " + table.name
                             : "its " + table.name + " is a " + kind + ", not a table";
      return false;
    }
    std::vector<std::string> columns;
    if (!store.columnsOf(table.name, columns)) {
      problem = "the columns of its table " + table.name + " cannot be read";
      return false;
    }
    for (const StoredColumn& c : table.columns) {
      if (c.since <= version && !hasColumn(columns, c.name)) {
        problem = "its table " + table.name + " has no column " + c.name + " (schema " + std::to_string(version) + ")";
        return false;
      }
      if (c.since > version && hasColumn(columns, c.name)) {
        problem = "it says it is of schema " + std::to_string(version) + ", but its table " + table.name +
                  " has the column " + c.name + " of schema " + std::to_string(c.since);
        return false;
      }
    }
  }
  return true;
}

std::string readAsCurrentSql(int version, const SqlDialect& sql, const std::string& stored) {
  std::string statements;
  for (const StoredTable& table : storedTables(sql)) {
    if (!table.required) continue;
    std::string lacking;
    for (const StoredColumn& c : table.columns) {
      if (table.since > version) {
        lacking += std::string(lacking.empty() ? "" : ", ") + c.name + " " + sqlType(sql, c.type);
      } else if (c.since > version) {
        lacking += ", " + c.missing + " AS " + c.name;
      }
    }
    if (lacking.empty()) continue;
    statements += table.since > version
                      ? "CREATE TEMPORARY TABLE " + table.name + "(" + lacking + ");"
                      : "CREATE TEMPORARY VIEW " + table.name + " AS SELECT *" + lacking + " FROM " + stored +
                            table.name + ";";
  }
  return statements;
}

}  // namespace trimwell
