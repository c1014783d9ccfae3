#pragma once
// Reading a store the station did not just make, as it stands: a file handed
// over, a copy from an older station, the lab's server. Nothing is brought up to
// date; the station's tables are checked to be tables of the shape their schema
// version had, and a store of an older version is read through temporary views
// that give the columns it lacks as the steps since would have (NULL, or the
// step's default), so every query reads it as if it were current.

#include <functional>
#include <string>
#include <vector>

#include "records/record_columns.h"

namespace trimwell {

// How a store answers for its own objects.
struct SchemaLookup {
  // "table", "view", "trigger", ... for the name, or "" when there is none.
  std::function<std::string(const std::string& name)> kindOf;
  // The table's column names; false when they cannot be read.
  std::function<bool(const std::string& table, std::vector<std::string>& columns)> columnsOf;
};

// Whether a store of `version` has the station's tables as that version made
// them; false naming the first that is missing, not a table, or without a column.
bool checkSchemaShape(int version, const SqlDialect& sql, const SchemaLookup& store, std::string& problem);

// The statements that make a store of `version` read as the current one:
// temporary views over the tables that lack columns, and empty temporary tables
// for those the version did not have. `stored` prefixes a table's own name
// ("main." or the server's schema). Empty for a current store.
std::string readAsCurrentSql(int version, const SqlDialect& sql, const std::string& stored);

}  // namespace trimwell
