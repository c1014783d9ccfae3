#include "records/postgres_append_only.h"

#include "records/record_columns.h"

namespace trimwell {
namespace {

constexpr const char* kNeverChanged = "kept records are never changed: an amendment is a new version";
constexpr const char* kNeverDeleted = "kept records are never deleted";
constexpr const char* kSignaturesAppendOnly = "a signature is never changed nor taken back";
constexpr const char* kTrailAppendOnly = "the audit trail is only ever appended to";

// One function refuses every change it guards, with the reason its trigger names.
constexpr const char* kRefuseFunction =
    "CREATE OR REPLACE FUNCTION trimwell_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " RAISE EXCEPTION '%', TG_ARGV[0] USING ERRCODE = 'insufficient_privilege'; END $$;"
    // A record's only change: its certificate number, once, from none.
    "CREATE OR REPLACE FUNCTION trimwell_record_changed() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " IF (to_jsonb(OLD) - 'certificate_number') IS DISTINCT FROM (to_jsonb(NEW) - 'certificate_number') THEN"
    "  RAISE EXCEPTION 'kept records are never changed: an amendment is a new version'"
    "   USING ERRCODE = 'insufficient_privilege'; END IF;"
    " IF coalesce(OLD.certificate_number, '') <> '' AND NEW.certificate_number IS DISTINCT FROM OLD.certificate_number"
    " THEN RAISE EXCEPTION 'a certificate number is given once' USING ERRCODE = 'insufficient_privilege'; END IF;"
    " RETURN NEW; END $$;"
    // A number is given with its audit entry, in the same transaction: checked at
    // its commit, so a number set by hand, without the entry, is refused.
    "CREATE OR REPLACE FUNCTION trimwell_number_entered() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
    " IF coalesce(NEW.certificate_number, '') <> '' AND NOT EXISTS (SELECT 1 FROM audit_trail WHERE record_uuid ="
    " NEW.uuid AND event = 'certificate numbered' AND details = NEW.certificate_number) THEN"
    "  RAISE EXCEPTION 'a certificate number is given with its audit entry' USING ERRCODE = 'insufficient_privilege';"
    " END IF; RETURN NULL; END $$;";

std::string trigger(const std::string& name, const std::string& table, const std::string& when, const char* why) {
  return "DROP TRIGGER IF EXISTS " + name + " ON " + table + "; CREATE TRIGGER " + name + " BEFORE " + when + " ON " +
         table + (when == "TRUNCATE" ? " FOR EACH STATEMENT" : " FOR EACH ROW") +
         " EXECUTE FUNCTION trimwell_refuse('" + why + "');";
}

}  // namespace

std::string postgresAppendOnlyTriggers() {
  std::string sql = kRefuseFunction;
  sql += "DROP TRIGGER IF EXISTS records_never_changed ON records; CREATE TRIGGER records_never_changed BEFORE UPDATE"
         " ON records FOR EACH ROW EXECUTE FUNCTION trimwell_record_changed();";
  sql += "DROP TRIGGER IF EXISTS records_numbered_with_entry ON records; CREATE CONSTRAINT TRIGGER"
         " records_numbered_with_entry AFTER UPDATE OF certificate_number ON records DEFERRABLE INITIALLY DEFERRED"
         " FOR EACH ROW EXECUTE FUNCTION trimwell_number_entered();";
  const struct {
    const char* table;
    const char* changed;
    const char* deleted;
  } guarded[] = {{"records", nullptr, kNeverDeleted},
                 {"record_rows", kNeverChanged, kNeverDeleted},
                 {"record_standards", kNeverChanged, kNeverDeleted},
                 {"record_results", kNeverChanged, kNeverDeleted},
                 {"signatures", kSignaturesAppendOnly, kSignaturesAppendOnly},
                 {"audit_trail", kTrailAppendOnly, kTrailAppendOnly}};
  for (const auto& g : guarded) {
    const std::string table = g.table;
    if (g.changed != nullptr) sql += trigger(table + "_never_changed", table, "UPDATE", g.changed);
    sql += trigger(table + "_never_deleted", table, "DELETE", g.deleted) +
           trigger(table + "_never_truncated", table, "TRUNCATE", g.deleted);
  }
  return sql;
}

std::string labRolesSql() {
  std::string sql;
  for (const char* role : {kLabOwnerRole, kLabStationRole}) {
    sql += std::string("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '") + role +
           "') THEN CREATE ROLE " + role + " NOLOGIN; END IF; END $$;";
  }
  return sql + "GRANT " + kLabOwnerRole + " TO CURRENT_USER; GRANT USAGE, CREATE ON SCHEMA public TO " +
         kLabOwnerRole + "; GRANT USAGE ON SCHEMA public TO " + kLabStationRole + ";";
}

std::string stationGrantsSql() {
  const std::string station = kLabStationRole;
  const std::string standards = registerTable().name;
  return "REVOKE ALL ON ALL TABLES IN SCHEMA public FROM " + station +
         "; GRANT SELECT, INSERT ON records, record_rows, record_standards, record_results, signatures, audit_trail, " +
         standards + " TO " + station + "; GRANT SELECT ON schema_version TO " + station +
         "; GRANT UPDATE (certificate_number) ON records TO " + station + "; GRANT UPDATE ON " + standards + " TO " +
         station + "; GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO " + station + ";";
}

}  // namespace trimwell
