// The lab's store read as it stands by the records tool: its schema checked and
// never brought up to date, and every transaction read-only, so that nothing the
// tool does can change it (sign and a certificate's issue append, as stations do).
#include <libpq-fe.h>

#include "records/postgres_record_store.h"
#include "records/schema_reading.h"

namespace trimwell {

bool PostgresRecordStore::readAsItStands(int found) {
  const SchemaLookup lookup{
      [this](const std::string& name) -> std::string {
        const Reply kind = exec(
            "SELECT CASE c.relkind WHEN 'r' THEN 'table' WHEN 'p' THEN 'table' WHEN 'v' THEN 'view'"
            " WHEN 'm' THEN 'materialized view' WHEN 'f' THEN 'foreign table' ELSE 'relation' END"
            " FROM pg_class c WHERE c.oid = to_regclass($1)",
            {name});
        if (!answered(kind) || PQntuples(kind.result.get()) == 0) return "";
        return PQgetvalue(kind.result.get(), 0, 0);
      },
      [this](const std::string& table, std::vector<std::string>& columns) {
        const Reply names =
            exec("SELECT attname FROM pg_attribute WHERE attrelid = to_regclass($1) AND attnum > 0 AND NOT attisdropped",
                 {table});
        if (!answered(names)) return false;
        for (int row = 0; row < PQntuples(names.result.get()); ++row) {
          columns.emplace_back(PQgetvalue(names.result.get(), row, 0));
        }
        return true;
      }};
  std::string shape;
  if (!checkSchemaShape(found, kPostgresDialect, lookup, shape)) {
    problem_ = "the lab's store is not a records store as the station makes them: " + shape;
    fault_ = StoreFault::RefusesStation;
    return false;
  }
  if (access_ == StoreAccess::Append && found != kSchemaVersion) {
    problem_ = "the lab's store is of schema " + std::to_string(found) + ", this station's is " +
               std::to_string(kSchemaVersion) + ": a station brings it up to date when it connects";
    fault_ = StoreFault::RefusesStation;
    return false;
  }
  if (access_ == StoreAccess::Append) return true;
  // The views go in this session's own temporary schema, which is looked in first.
  const Reply schema = exec("SELECT quote_ident(current_schema())");
  if (!answered(schema) || PQntuples(schema.result.get()) == 0) return false;
  const std::string stored = std::string(PQgetvalue(schema.result.get(), 0, 0)) + ".";
  const std::string views = readAsCurrentSql(found, kPostgresDialect, stored);
  return (views.empty() || command(views)) && command("SET default_transaction_read_only = on");
}

}  // namespace trimwell
