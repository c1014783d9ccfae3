#pragma once
// What the owner of a records file can do with any SQLite tool, as tests of what
// the station then finds: drop the triggers that keep the file append-only.

#include <sqlite3.h>

#include <string>
#include <vector>

namespace trimwell::test {

inline void dropTriggers(sqlite3* db) {
  std::vector<std::string> names;
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'trigger'", -1, &query, nullptr);
  while (sqlite3_step(query) == SQLITE_ROW) names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
  sqlite3_finalize(query);
  for (const std::string& name : names) sqlite3_exec(db, ("DROP TRIGGER " + name).c_str(), nullptr, nullptr, nullptr);
}

}  // namespace trimwell::test
