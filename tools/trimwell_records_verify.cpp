// verify: a records file's audit trail walked entry by entry, and every record's
// content hash against the last entry about it.
#include <filesystem>
#include <iostream>

#include "records/postgres_record_store.h"
#include "records/sqlite_record_store.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {

int verifyCommand(const std::string& file, const std::vector<std::string>& args) {
  if (!args.empty()) return badUse("verify takes nothing more");
  if (PostgresRecordStore::isUrl(file)) return refused("verify reads a station's SQLite records file");
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return refused("there is no records file " + file);
  SqliteRecordStore store(file);
  if (!store.isOpen()) return refused(store.problem());
  const signing::ChainCheck check = store.verify();
  if (!check.ok) return refused(file + ": " + check.problem);
  std::cout << check.entries << " audit entries and " << check.records << " records checked: the chain is whole\n"
            << "head " << check.head << "\n";
  return kDone;
}

}  // namespace trimwell::tool
