// trimwell-records given a records file it did not make: an older station's, one
// made to harm its reader, one it may only read. Whatever the command does, the
// file's bytes are the same afterwards.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "records/record_schema.h"
#include "support/drop_triggers.h"
#include "tools/records_tool_fixture.h"

namespace trimwell {
namespace {

void runSql(const std::string& file, const std::string& sql, bool asItsOwner = false) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  if (asItsOwner) test::dropTriggers(db);
  char* error = nullptr;
  const int state = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(state, SQLITE_OK) << (error != nullptr ? error : "") << "\n" << sql;
  sqlite3_free(error);
  sqlite3_close(db);
}

// A file as a station of `version` left it, with one calibration of model 221.
// Before the version table, the version was the header's.
void olderFile(const std::string& file, int version) {
  std::string sql = "PRAGMA journal_mode=DELETE;";
  for (int step = 1; step <= version; ++step) sql += schemaStep(step, kSqliteDialect);
  sql += version >= 5 ? std::string(kVersionTable) + "; INSERT INTO schema_version VALUES (" + std::to_string(version) + ");"
                      : "PRAGMA user_version = " + std::to_string(version) + ";";
  // Identities came with version 2.
  sql += std::string("INSERT INTO records(kind, utc_time, sensor_id, datasheet_name, success, result") +
         (version >= 2 ? ", uuid" : "") + ") VALUES ('calibration', '2019-03-04T05:06:07Z', 221, 'Thermal probe', 1," +
         " 'written and verified'" + (version >= 2 ? ", '0b5e7c1a-2d3f-4a6b-8c9d-0e1f2a3b4c5d'" : "") + ");";
  runSql(file, sql);
}

struct HandedFile {
  const char* name;
  // Makes the file at its path from a copy of the station's, or from nothing.
  void (*make)(const std::string& file);
  const char* command;  // "@file" is the file
  int status;
  const char* said;  // in what it writes
  bool asAnotherUser = false;  // run as nobody, the file 0444 in a 0555 folder
  bool othersFile = false;  // the file is nobody's, in a folder the reader may write
};

class RecordsToolHandedFile : public RecordsTool, public ::testing::WithParamInterface<HandedFile> {};

TEST_P(RecordsToolHandedFile, ReadsWhatItMayAndChangesNothing) {
  const HandedFile& c = GetParam();
  const std::filesystem::path folder = folder_->path() / c.name;
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "records.sqlite").string();
  if (std::string(c.name).rfind("older", 0) != 0) std::filesystem::copy_file(db(), file);
  c.make(file);
  std::string prefix;
  if (c.asAnotherUser) {
    chmod(folder_->path().c_str(), 0755);
    chmod(file.c_str(), 0444);
    chmod(folder.c_str(), 0555);
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  if (c.othersFile) {
    ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
  }
  const std::string before = readFile(file);
  std::string args = c.command;
  args.replace(args.find("@file"), 5, file);
  const Outcome r = run(args, {}, prefix);
  chmod(folder.c_str(), 0755);
  EXPECT_EQ(r.status, c.status) << r.out << r.err;
  EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << r.out << r.err;
  EXPECT_TRUE(readFile(file) == before) << "the file was changed";
  // Nothing of the reader's is left beside another's file to lock its owner out.
  if (c.othersFile) {
    EXPECT_FALSE(std::filesystem::exists(file + "-shm"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RecordsToolHandedFile,
    ::testing::Values(
        // Read as the older station wrote it: its header's version stays, its journal too.
        HandedFile{"older_before_the_version_table", [](const std::string& f) { olderFile(f, 1); },
                   "--records @file list", 0, "1\trecord-1\t2019-03-04T05:06:07Z\t221\t\tThermal probe"},
        HandedFile{"older_before_the_trail", [](const std::string& f) { olderFile(f, 4); },
                   "--records @file show 0b5e7c1a-2d3f-4a6b-8c9d-0e1f2a3b4c5d", 0, "Thermal probe"},
        HandedFile{"older_for_a_certificate", [](const std::string& f) { olderFile(f, 8); },
                   "--records @file --settings @dir certificate 1 @dir/older.pdf", 1,
                   "the station brings it up to date"},
        HandedFile{"view_for_records",
                   [](const std::string& f) {
                     runSql(f,
                            "ALTER TABLE records RENAME TO kept; CREATE VIEW records AS WITH RECURSIVE n(i) AS"
                            " (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT * FROM kept, n;");
                   },
                   "--records @file list", 1, "its records is a view, not a table"},
        HandedFile{"column_missing",
                   [](const std::string& f) { runSql(f, "ALTER TABLE records DROP COLUMN customer_email;"); },
                   "--records @file list", 1, "its table records has no column customer_email"},
        HandedFile{"trigger_planted",
                   [](const std::string& f) {
                     runSql(f, "CREATE TRIGGER planted AFTER INSERT ON audit_trail BEGIN"
                               " UPDATE reference_standards SET due_on = '2099-01-01'; END;");
                   },
                   "--records @file --settings @dir certificate 3 @dir/planted.pdf", 1,
                   "a trigger the station did not make (planted)"},
        HandedFile{"newer_station", [](const std::string& f) { runSql(f, "INSERT INTO schema_version VALUES (99);"); },
                   "--records @file list", 1, "newer station (schema 99)"},
        HandedFile{"verify", [](const std::string&) {}, "--records @file verify", 0, "the chain is whole"},
        HandedFile{"export", [](const std::string&) {}, "--records @file export json -", 0, "\"Thermal probe\""},
        HandedFile{"due", [](const std::string&) {}, "--records @file --settings @dir due --days 9999", 0, "TP-4"},
        // What a file's texts hold reaches the terminal escaped, one record to a line.
        HandedFile{"controls_in_a_unit",
                   [](const std::string& f) {
                     runSql(f, "UPDATE records SET unit = 'TP' || char(27) || ']0;owned' || char(7) || char(27) ||"
                               " '[31m' || char(155) WHERE id = 3", true);
                   },
                   "--records @file list --model 235", 0, "\tTP\\x1b]0;owned\\x07\\x1b[31m\\u009b\tThermal probe"},
        HandedFile{"bidi_in_an_identity",
                   [](const std::string& f) {
                     runSql(f, "UPDATE records SET uuid = 'U' || char(0x202E) || 'KCOLB' WHERE id = 3", true);
                   },
                   "--records @file list --model 235", 0, "3\tU\\u202eKCOLB\t"},
        HandedFile{"line_break_in_a_time",
                   [](const std::string& f) {
                     runSql(f, "UPDATE records SET utc_time = utc_time || char(10) || '99' || char(9) || 'made up'"
                               " WHERE id = 3", true);
                   },
                   "--records @file list --model 235", 0, "Z 99 made up\t235\tTP-4"},
        HandedFile{"controls_shown_in_full",
                   [](const std::string& f) {
                     runSql(f, "UPDATE records SET customer = 'Acme' || char(27) || '[2J' WHERE id = 3", true);
                   },
                   "--records @file show 3", 1, "Customer: Acme\\x1b[2J\n"},
        // A name in Latin-1, from an older tool: replaced, not the end of the export.
        HandedFile{"latin1_in_json",
                   [](const std::string& f) { runSql(f, "UPDATE records SET operator = X'4dfc6c6c6572' WHERE id = 3", true); },
                   "--records @file export json -", 0, "\"M\\ufffdller\""},
        // Integers no station writes: the record is refused, naming the field, and the rest are read.
        HandedFile{"sensor_id_too_large",
                   [](const std::string& f) { runSql(f, "UPDATE records SET sensor_id = 99999999999 WHERE id = 2", true); },
                   "--records @file list", 0, "record 2 is refused: its sensor_id 99999999999 is out of range: left out"},
        HandedFile{"sensor_id_no_number",
                   [](const std::string& f) { runSql(f, "UPDATE records SET sensor_id = 'abc' WHERE id = 2", true); },
                   "--records @file list", 0, "record 2 is refused: its sensor_id 'abc' is out of range: left out"},
        HandedFile{"sensor_id_too_large_when_due",
                   [](const std::string& f) { runSql(f, "UPDATE records SET sensor_id = 99999999999 WHERE id = 3", true); },
                   "--records @file --settings @dir due --days 9999", 0,
                   "unit TP-4 is left out: its sensor_id 99999999999 is out of range"},
        HandedFile{"result_of_a_row_not_there",
                   [](const std::string& f) { runSql(f, "UPDATE record_results SET row_position = 5 WHERE record_id = 3", true); },
                   "--records @file show 3", 1, "its record_results.row_position 5 is out of range"},
        // A stored line break or tab makes no line or column of show's own.
        HandedFile{"line_break_shown_in_full",
                   [](const std::string& f) {
                     runSql(f, "UPDATE records SET customer = 'Acme' || char(10) || 'Matches its audit trail: yes'"
                               " WHERE id = 3", true);
                   },
                   "--records @file show 3", 1, "Customer: Acme\n    Matches its audit trail: yes\n"},
        HandedFile{"all_versions_not_vouched_for",
                   [](const std::string& f) { runSql(f, "UPDATE records SET customer = 'someone' WHERE id = 3", true); },
                   "--records @file show --all 3", 1, "NOT VOUCHED FOR"},
        HandedFile{"row_at_int_max",
                   [](const std::string& f) {
                     runSql(f, "UPDATE record_results SET row_position = 2147483647 WHERE record_id = 3", true);
                   },
                   "--records @file show 3", 1,
                   "record 3 is refused: its record_results.row_position 2147483647 is out of range"},
        HandedFile{"row_at_int_max_in_an_export",
                   [](const std::string& f) {
                     runSql(f, "UPDATE record_results SET row_position = 2147483647 WHERE record_id = 3", true);
                   },
                   "--records @file export json -", 0, "\"record\": 1"},
        HandedFile{"another_users_file", [](const std::string&) {}, "--records @file list", 0,
                   "is another user's: the file is read as it stands", false, true},
        // A version said lower than its tables: read without its trail's checks, were it taken.
        HandedFile{"version_said_lower",
                   [](const std::string& f) { runSql(f, "DELETE FROM schema_version WHERE version > 3"); },
                   "--records @file show 3", 1, "says it is of schema 3, but its table records has the column certificate_number"},
        HandedFile{"version_beyond_32_bits",
                   [](const std::string& f) { runSql(f, "INSERT INTO schema_version VALUES (4294967307)"); },
                   "--records @file list", 1, "newer station (schema 4294967307)"},
        HandedFile{"not_for_writing_as_another_user", [](const std::string&) {}, "--records @file list", 0,
                   "written and verified", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell
