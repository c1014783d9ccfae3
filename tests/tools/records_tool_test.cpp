// trimwell-records run as a process, as a lab's script would, on a real SQLite file
// (and a real PostgreSQL server) holding three records: an overdue lab calibration
// of model 221, a failed write of 221 without a unit, and a recent calibration of
// model 235 that falls due within three weeks.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <cstring>
#include <regex>
#include <sstream>

#include <sqlite3.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/lab_inputs.h"
#include "app/units_due.h"
#include "platform/qt/qsettings_registry.h"
#include "documents/laboratory.h"
#include "records/postgres_record_store.h"
#include "records/postgres_server.h"
#include "records/record_hash.h"
#include "records/record_signing.h"
#include "records/sample_record.h"
#include "records/sqlite_record_store.h"
#include "records/trail_rows.h"
#include "support/drop_triggers.h"
#include "support/pam_passwords.h"
#include "support/temp_dir.h"
#include "tools/records_tool_fixture.h"

namespace trimwell {
namespace {


struct ListCase {
  const char* name;
  const char* filters;  // after "list"; "@since" is the second record's day
  std::vector<long long> expected;
};

class RecordsToolList : public RecordsTool, public ::testing::WithParamInterface<ListCase> {};

TEST_P(RecordsToolList, TakesTheRecordsItsFiltersNameNewestFirst) {
  std::string filters = GetParam().filters;
  if (const auto at = filters.find("@since"); at != std::string::npos) filters.replace(at, 6, addDays(today(), -200));
  const Outcome text = run("--records @db list " + filters);
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(numbers(text.out), GetParam().expected) << text.out;
  const Outcome json = run("--records @db list --json " + filters);
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json array = nlohmann::json::parse(json.out);
  std::vector<long long> listed;
  for (const auto& item : array) listed.push_back(item.at("record").get<long long>());
  EXPECT_EQ(listed, GetParam().expected) << json.out;
}

INSTANTIATE_TEST_SUITE_P(Filters, RecordsToolList,
                         ::testing::Values(ListCase{"all", "", {3, 2, 1}}, ListCase{"unit", "--unit TP-4", {3}},
                                           ListCase{"model", "--model 221", {2, 1}},
                                           ListCase{"since", "--since @since", {3, 2}},
                                           ListCase{"unit_of_another_model", "--unit TP-4 --model 221", {}},
                                           ListCase{"unknown_unit", "--unit TP-9", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsTool, ListLineNamesTheRecordFully) {
  const Outcome r = run("--records @db list --model 235");
  ASSERT_EQ(r.status, 0) << r.err;
  SqliteRecordStore store(db());
  std::vector<RecordSummary> kept;
  ASSERT_TRUE(store.list(235, kept));
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(r.out, "3\t" + kept[0].uuid + "\t" + addDays(today(), -80) +
                       "T10:15:00Z\t235\tTP-4\tThermal probe\twritten and verified\n");
  const Outcome failed = run("--records @db list --model 221");
  EXPECT_NE(failed.out.find("\t221\t\tThermal probe\tdatasheet did not write properly\n"), std::string::npos)
      << failed.out;
}

struct RefusalCase {
  const char* name;
  const char* args;
  int status;
  const char* message;  // in standard error
};

class RecordsToolRefusal : public RecordsTool, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RecordsToolRefusal, SaysWhyOnStandardErrorWithItsStatus) {
  const Outcome r = run(GetParam().args);
  EXPECT_EQ(r.status, GetParam().status) << r.err;
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Uses, RecordsToolRefusal,
    ::testing::Values(RefusalCase{"no_such_record", "--records @db show 99", 1, "there is no record 99"},
                      RefusalCase{"no_such_uuid", "--records @db show 1f0c-none", 1, "there is no record 1f0c-none"},
                      RefusalCase{"no_such_file", "--records @dir/none.sqlite list", 1, "there is no records file"},
                      RefusalCase{"unreachable_lab_store", "--records 'postgresql:///x?host=@dir' list", 1,
                                  "cannot reach"},
                      // Any local user reads a command line: a password there is refused.
                      RefusalCase{"password_on_the_command_line",
                                  "--records 'postgresql://lab:Geheim@/x?host=@dir' list", 2, "~/.pgpass"},
                      RefusalCase{"url_of_another_scheme", "--records 'POSTGRESQL://lab:Geheim@h/x' list", 2,
                                  "POSTGRESQL://lab:***@h/x is no PostgreSQL URL"},
                      RefusalCase{"settings_folder_mistyped", "--records @db --settings @dir/nosuch due", 1,
                                  "there is no settings folder"},
                      // A keyword string is the lab's store, not a file made under that name.
                      RefusalCase{"keyword_string", "--records 'host=@dir port=1 dbname=x' list", 1,
                                  "port=1 dbname=x: connection to server on socket"},
                      RefusalCase{"not_a_database", "--records @dir/LocalMachine.ini list", 1, "is not a database"},
                      // The lab's store numbers a record once it is there, not the outbox read as a file.
                      RefusalCase{"waiting_record_has_no_certificate",
                                  "--records @dir/waiting.sqlite --settings @dir certificate 1 @dir/no.pdf", 1,
                                  "not yet numbered: it waits on this station to reach the lab's store"},
                      RefusalCase{"failed_write_has_no_dcc", "--records @db --settings @dir dcc 2 @dir/no.xml", 1,
                                  "a certificate is only issued for a successful one"},
                      // A lab that issues documents of approved records only.
                      RefusalCase{"unapproved_has_no_certificate",
                                  "--records @db --settings @dir/strict certificate 1 @dir/no.pdf", 1,
                                  "No certificate or DCC is issued for record 1: it is not approved"},
                      RefusalCase{"unapproved_has_no_dcc", "--records @db --settings @dir/strict dcc 1 @dir/no.xml", 1,
                                  "it is not approved"},
                      // An assessor's machine, without the station's settings: no laboratory issues it.
                      RefusalCase{"certificate_without_laboratory", "--records @db --settings @dir/nolab certificate 1 @dir/no.pdf",
                                  1, "No laboratory is set in the station's settings: a certificate is issued by one "
                                     "(looked for in "},
                      RefusalCase{"dcc_without_laboratory", "--records @db --settings @dir/nolab dcc 1 @dir/no.xml", 1,
                                  "--settings names the station's folder"},
                      RefusalCase{"unknown_command", "--records @db frob", 2, "unknown command frob"},
                      RefusalCase{"no_command", "--records @db", 2, "no command"},
                      RefusalCase{"no_store", "list", 2, "--records"},
                      RefusalCase{"store_without_value", "list --records", 2, "--records needs a value"},
                      RefusalCase{"model_no_number", "--records @db list --model 22x", 2, "--model 22x"},
                      RefusalCase{"model_zero", "--records @db list --model 0", 2, "--model 0 is no model number"},
                      RefusalCase{"since_no_date", "--records @db list --since 2025-13-01", 2, "--since"},
                      RefusalCase{"days_no_number", "--records @db due --days ten", 2, "--days ten"},
                      RefusalCase{"show_without_record", "--records @db show", 2, "show"},
                      RefusalCase{"export_unknown_format", "--records @db export xml @dir/x", 2, "export"},
                      RefusalCase{"certificate_without_file", "--records @db certificate 1", 2, "certificate"},
                      RefusalCase{"list_stray_argument", "--records @db list 7", 2, "list does not take 7"}),
    [](const auto& info) { return std::string(info.param.name); });

// What someone who can write the file would do with the sqlite3 library: the
// file's triggers refuse the change, and once they are dropped, verify names the
// first entry or record that no longer matches, and exits 1.
struct TamperCase {
  const char* name;
  const char* sql;
  const char* found;  // in standard error; "@uuid1", "@uuid2" stand for records 1 and 2
  bool refused = true;  // by the file's triggers, until they are dropped
};

class RecordsToolTamper : public RecordsTool, public ::testing::WithParamInterface<TamperCase> {
 protected:
  static std::string uuidOf(sqlite3* db, int id) {
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, ("SELECT uuid FROM records WHERE id = " + std::to_string(id)).c_str(), -1, &q, nullptr);
    std::string uuid = sqlite3_step(q) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(q, 0)) : "";
    sqlite3_finalize(q);
    return uuid;
  }
};

TEST_P(RecordsToolTamper, VerifyNamesWhatWasChanged) {
  const std::string copy = folder_->file("tampered.sqlite");
  std::filesystem::copy_file(db(), copy, std::filesystem::copy_options::overwrite_existing);
  const Outcome whole = run("--records @dir/tampered.sqlite verify");
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.out.find("records checked: the chain is whole\nhead "), std::string::npos) << whole.out;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(copy.c_str(), &db), SQLITE_OK);
  std::string found = GetParam().found;
  for (const auto& [mark, id] : {std::pair{std::string("@uuid1"), 1}, {std::string("@uuid2"), 2}}) {
    for (std::size_t at; (at = found.find(mark)) != std::string::npos;) found.replace(at, mark.size(), uuidOf(db, id));
  }
  char* error = nullptr;
  if (GetParam().refused) {
    EXPECT_EQ(sqlite3_exec(db, GetParam().sql, nullptr, nullptr, &error), SQLITE_CONSTRAINT);
    const std::string why = error != nullptr ? error : "";
    EXPECT_TRUE(why.rfind("kept records are never", 0) == 0 || why == "the audit trail is only ever appended to")
        << why;
    sqlite3_free(error);
    error = nullptr;
    test::dropTriggers(db);
  }
  EXPECT_EQ(sqlite3_exec(db, GetParam().sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
  const Outcome r = run("--records @dir/tampered.sqlite verify");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.err, "trimwell-records: " + copy + ": " + found + "\n");
  // Shown, a record no longer held by its trail says so first, and show fails.
  if (std::string(GetParam().found).find("@uuid1") != std::string::npos) {
    const Outcome shown = run("--records @dir/tampered.sqlite show 1");
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(shown.out.rfind("NOT VOUCHED FOR: the record does not match its audit trail (", 0), 0u) << shown.out;
  }
  // A record changed past its trail gets no certificate.
  if (std::string(GetParam().found).rfind("record @uuid1 does not match", 0) == 0) {
    const Outcome printed = run("--records @dir/tampered.sqlite --settings @dir certificate 1 @dir/tampered.pdf");
    EXPECT_EQ(printed.status, 1);
    EXPECT_NE(printed.err.find("No certificate or DCC is issued for record 1: it does not match its audit trail (it was "
                               "changed after audit entry 1)"),
              std::string::npos)
        << printed.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, RecordsToolTamper,
    ::testing::Values(
        TamperCase{"record_value_changed", "UPDATE records SET operator = 'someone else' WHERE id = 1",
                   "record @uuid1 does not match audit entry 1: it was changed after that entry"},
        TamperCase{"result_deleted", "DELETE FROM record_results WHERE record_id = 1 AND position = 0",
                   "record @uuid1 does not match audit entry 1: it was changed after that entry"},
        TamperCase{"rows_swapped",
                   "UPDATE record_rows SET record_id = -1 WHERE record_id = 1;"
                   "UPDATE record_rows SET record_id = 1 WHERE record_id = 2;"
                   "UPDATE record_rows SET record_id = 2 WHERE record_id = -1",
                   "record @uuid1 does not match audit entry 1: it was changed after that entry"},
        TamperCase{"entry_deleted", "DELETE FROM audit_trail WHERE sequence = 2",
                   "audit entry 2 is missing (the next one is 3)"},
        TamperCase{"entry_changed", "UPDATE audit_trail SET details = 'nothing happened' WHERE sequence = 1",
                   "audit entry 1 was changed after it was written"},
        TamperCase{"entry_given_to_another", "UPDATE audit_trail SET actor = 'jdoe (UID 1001), Jane Doe' WHERE sequence = 1",
                   "audit entry 1 was changed after it was written"},
        TamperCase{"entries_reordered",
                   "UPDATE audit_trail SET sequence = -1 WHERE sequence = 1;"
                   "UPDATE audit_trail SET sequence = 1 WHERE sequence = 2;"
                   "UPDATE audit_trail SET sequence = 2 WHERE sequence = -1",
                   "audit entry 1 does not follow the entry before it"},
        TamperCase{"record_deleted",
                   "DELETE FROM record_rows WHERE record_id = 2; DELETE FROM record_standards WHERE record_id = 2;"
                   "DELETE FROM record_results WHERE record_id = 2; DELETE FROM records WHERE id = 2",
                   "record @uuid2, named by audit entry 2, is missing"},
        // REPLACE takes the old row out without a delete trigger: refused before it.
        TamperCase{"entry_replaced",
                   "INSERT OR REPLACE INTO audit_trail SELECT sequence, event, bench_time, machine_id,"
                   " station_version, sensor, interface, record_uuid, record_hash, 'nothing happened', previous_hash,"
                   " entry_hash, arrived_time, station_sequence, actor FROM audit_trail WHERE sequence = 1",
                   "audit entry 1 was changed after it was written"},
        TamperCase{"row_replaced",
                   "INSERT OR REPLACE INTO record_rows SELECT record_id, position, measurement_id, name, point1_raw + 1,"
                   " point1_data, point2_raw, point2_data, c0, c1, c2, c3, left_out, extra, tolerance FROM record_rows"
                   " WHERE record_id = 1 AND position = 0",
                   "record @uuid1 does not match audit entry 1: it was changed after that entry"},
        TamperCase{"record_inserted_without_entry",
                   "INSERT INTO records(uuid, kind, utc_time, operator, host, station_version, interface_kind,"
                   " interface_product, firmware_version, sensor_id, datasheet_name, datasheet_version, options,"
                   " success, result) SELECT 'forged-0000', kind, utc_time, operator, host, station_version,"
                   " interface_kind, interface_product, firmware_version, sensor_id, datasheet_name,"
                   " datasheet_version, options, success, result FROM records WHERE id = 1",
                   "record forged-0000 has no entry in the audit trail", false},
        // A signature no one gave, put in beside the record: it is not taken as given.
        TamperCase{"signature_put_in",
                   "INSERT INTO signatures SELECT uuid, 0, 'x', 1003, 'mallory', 'Anna Weber', 'trimwell-approver',"
                   " 'approved', '', '2026-01-01T00:00:00Z', 'forged' FROM records WHERE id = 1",
                   "an approved signature of record @uuid1 by mallory is named by no audit entry: it was not given "
                   "here",
                   false},
        // The register may change, but only through the station, with an entry.
        TamperCase{"standard_deleted", "DELETE FROM reference_standards",
                   "reference standard PRT 7, saved by audit entry 4, is missing from the register", false},
        TamperCase{"standard_changed_behind_the_trail", "UPDATE reference_standards SET a = a / 10",
                   "reference standard PRT 7 is not what audit entry 4 saved: it was changed behind the trail", false},
        TamperCase{"standard_inserted_without_entry",
                   "INSERT INTO reference_standards SELECT 'PRT 7: spare', identification, certificate_number,"
                   " issued_by, calibrated_on, due_on, quantity, unit, a, b, k, nu, retired_on FROM reference_standards",
                   "reference standard PRT 7: spare is in the register without an audit entry", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsTool, ShowsTheRecordWithItsResultsByNumberOrIdentity) {
  const Outcome byNumber = run("--records @db show 1");
  ASSERT_EQ(byNumber.status, 0) << byNumber.err;
  const std::string uuid = byNumber.out.substr(byNumber.out.find("Record: 1 (") + 11, 36);
  for (const char* line : {"Calibration record\n", "Unit: TP-2\n", "Customer: Acme, \"North\" site\n",
                           "Customer's e-mail: lab@acme.example\n", "Place: on site: Acme North, hall 2\n",
                           "Procedure: TP-CAL, version 3.1\n", "Decision rule: guarded\n",
                           "Row 1 tolerance: \u00b1 0.5 % of the span of the calibrated range -20 to 80 \u00b0C\n", "Row 1 standard: PRT 7", "Result: written and verified\n",
                           "Row 1 as found: reference 25 \u00b0C, reading 25.03 \u00b0C,",
                           "Row 1 as left: reference 25 \u00b0C, reading 25.001 \u00b0C,", ", limit 0.1 \u00b0C, verdict ",
                           " \u00b0C\nRelative humidity: ", " % RH\n", " (UID 1001, Jane Doe)\n",
                           "; reference read from Brook Metrology PRT-9, serial RI-7731, firmware 2.04 at "
                           "2026-03-02T10:15:42.125Z\n",
                           "Clock: not synchronised (maximum error 16.000 s)\n"}) {
    EXPECT_NE(byNumber.out.find(line), std::string::npos) << line << " not in\n" << byNumber.out;
  }
  const Outcome byUuid = run("--records @db show " + uuid);
  ASSERT_EQ(byUuid.status, 0) << byUuid.err;
  EXPECT_EQ(byUuid.out, byNumber.out);
}

struct DueCase {
  const char* name;
  const char* args;
  std::string expected;  // "@n" stands for n days from today
};

class RecordsToolDue : public RecordsTool, public ::testing::WithParamInterface<DueCase> {};

TEST_P(RecordsToolDue, ListsTheUnitsDueWithinTheDaysAsked) {
  std::string expected = GetParam().expected;
  for (const auto& [mark, days] : {std::pair{"@-400", -400}, {"@-35", -35}, {"@-80", -80}, {"@20", 20}}) {
    for (std::size_t at; (at = expected.find(mark)) != std::string::npos;) {
      expected.replace(at, std::string(mark).size(), addDays(today(), days));
    }
  }
  const Outcome r = run(std::string("--records @db --settings @dir due ") + GetParam().args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
}

const std::string kOverdue = "Sensor 221 unit TP-2: overdue since @-35 (last calibrated @-400)\n";
const std::string kSoon = "Sensor 235 unit TP-4: due @20 (last calibrated @-80)\n";
INSTANTIATE_TEST_SUITE_P(Horizons, RecordsToolDue,
                         ::testing::Values(DueCase{"thirty_days", "", kOverdue + kSoon},
                                           DueCase{"ten_days", "--days 10", kOverdue},
                                           DueCase{"twenty_days", "--days 20", kOverdue + kSoon},
                                           DueCase{"today", "--days 0", kOverdue},
                                           DueCase{"sixty_days", "--days 60", kOverdue + kSoon}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsTool, ExportsEveryRowAsCsvAndEveryRecordAsJson) {
  ASSERT_EQ(run("--records @db export csv @dir/all.csv").status, 0);
  const std::string csv = readFile(folder_->file("all.csv"));
  EXPECT_EQ(csv.rfind("record,kind,utc_time,", 0), 0u) << csv;
  std::size_t lines = 0;  // a quoted line break inside a field is a bare LF
  for (std::size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 1u + 3 * 3) << csv;

  const Outcome json = run("--records @db export json - --model 221");
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json array = nlohmann::json::parse(json.out);
  ASSERT_EQ(array.size(), 2u);
  EXPECT_EQ(array[0].at("record"), 2);
  EXPECT_TRUE(array[0].at("ambient_temperature").is_null());
  EXPECT_EQ(array[1].at("results").size(), 4u);
  EXPECT_EQ(array[1].at("results")[2].at("as_left"), true);
  EXPECT_EQ(array[1].at("rows")[0].at("point2_data").get<double>(), 100.0 / 3);
  EXPECT_EQ(array[1].at("customer"), "Acme, \"North\" site");
  EXPECT_EQ(array[1].at("procedure_version"), "3.1");
  EXPECT_EQ(array[1].at("customer_address"), "Hafenstra\u00dfe 4\n20457 Hamburg\nDE");
}

TEST_F(RecordsTool, WritesTheDccWithItsCertificateInside) {
  const Outcome r = run("--records @db --settings @dir dcc 1 @dir/one.xml");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string xml = readFile(folder_->file("one.xml"));
  EXPECT_EQ(xml.rfind("<?xml", 0), 0u) << xml.substr(0, 200);
  EXPECT_NE(xml.find("Nordlab Kalibrierdienst"), std::string::npos);
  EXPECT_NE(xml.find("application/pdf"), std::string::npos);
}

TEST_F(RecordsTool, WritesACertificateThatReadsBackWithTheLaboratory) {
  const Outcome r = run("--records @db --settings @dir certificate 3 @dir/three.pdf");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string pdf = folder_->file("three.pdf");
  EXPECT_EQ(std::system(("pdfinfo " + pdf + " >/dev/null 2>&1").c_str()), 0);
  ASSERT_EQ(std::system(("pdftotext -layout " + pdf + " " + folder_->file("three.txt")).c_str()), 0);
  const std::string text = readFile(folder_->file("three.txt"));
  EXPECT_NE(text.find("Nordlab Kalibrierdienst"), std::string::npos) << text;
  EXPECT_NE(text.find("TP-4"), std::string::npos) << text;
}

// The certificate carries the audit trail's head at issue, and its DCC the whole
// hash. verify finds that head in the file; an owner who rewrites the trail whole
// over a changed record (dropping the triggers, then sealing a new entry for each
// record) leaves a chain that verifies on its own but no longer holds the head the
// certificate carries.
void seal(sqlite3* file, signing::AuditEntry& e, std::string& previous) {
  signing::sealEntry(e, previous);
  previous = e.entryHash;
  const std::string sql = "INSERT INTO audit_trail VALUES (" + std::to_string(e.sequence) + ", '" + e.event +
                          "', '', '', '', '', '', '" + e.recordUuid + "', '" + e.recordHash + "', '" + e.details +
                          "', '" + e.previousHash + "', '" + e.entryHash + "', '', 0, '')";
  ASSERT_EQ(sqlite3_exec(file, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

// A new trail, one entry per record as it is now and one per number it was given,
// sealed as the station seals them.
void rewriteTrail(sqlite3* file, const std::string& path) {
  SqliteRecordStore reader(path);
  std::vector<RecordSummary> all;
  ASSERT_TRUE(reader.list(0, all)) << reader.problem();
  std::string previous = signing::kChainStart;
  long long sequence = 0;
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    CalibrationRecord r;
    ASSERT_TRUE(reader.load(it->uuid, r)) << reader.problem();
    signing::AuditEntry e;
    e.sequence = ++sequence;
    e.event = "record made";
    e.recordUuid = r.uuid;
    e.recordHash = recordHash(r);
    seal(file, e, previous);
    if (r.certificateNumber.empty()) continue;
    e.sequence = ++sequence;
    e.event = "certificate numbered";
    e.details = r.certificateNumber;
    seal(file, e, previous);
  }
  std::vector<metrology::StandardEntry> standards;
  ASSERT_TRUE(reader.listStandards(standards)) << reader.problem();
  for (const metrology::StandardEntry& s : standards) {
    signing::AuditEntry e;
    e.sequence = ++sequence;
    e.event = kStandardSaved;
    e.details = standardSavedDetails(nullptr, s);
    seal(file, e, previous);
  }
}

// A lab's record signed from a shell, through real PAM: each signature in its own
// session asks login and password; a wrong one, a meaning out of order and the
// performer's approval under four eyes are refused; show and verify see them.
TEST_F(RecordsTool, SignsInOrderAndShowsTheSignatures) {
  const std::string copy = folder_->file("signed.sqlite");
  std::filesystem::copy_file(db(), copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::create_directory(folder_->file("signing"));
  std::filesystem::create_directory(folder_->file("own-rules"));
  {
    QSettingsRegistry settings(folder_->file("signing/LocalMachine.ini"));
    Laboratory lab;
    lab.name = "Nordlab Kalibrierdienst";
    lab.operatorGroup = lab.reviewerGroup = lab.approverGroup = groupsOf(currentPerson().login).front();
    ASSERT_TRUE(lab.save(settings));
    settings.flush();
    // A copy of the settings with four eyes off, as a signer could make for themselves.
    QSettingsRegistry own(folder_->file("own-rules/LocalMachine.ini"));
    lab.fourEyes = "no";
    ASSERT_TRUE(lab.save(own));
    own.flush();
  }
  test::PamPasswords passwords("Kalibrier-2026");
  const std::string pam = std::string("LD_PRELOAD=") + TRIMWELL_PAM_WRAPPER + " PAM_WRAPPER=1 PAM_WRAPPER_SERVICE_DIR=" +
                          TRIMWELL_PAM_SERVICES + " PAM_WRAPPER_DISABLE_DEEPBIND=1 UID_WRAPPER_DISABLE_DEEPBIND=1 ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 PAM_MATRIX_PASSWD=" +
                          passwords.file() + " ";
  const std::string me = currentPerson().login;
  const auto sign = [&](const char* meaning, const std::string& password) {
    return run(std::string("--records @dir/signed.sqlite --settings @dir/signing sign 3 ") + meaning,
               me + "\n" + password + "\n", pam);
  };
  // Only who calibrated signs as performed: record 1 was calibrated by UID 1001.
  const Outcome other = run("--records @dir/signed.sqlite --settings @dir/signing sign 1 performed",
                            me + "\nKalibrier-2026\n", pam);
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("Only who calibrated signs a record as performed: this one was calibrated by "), std::string::npos)
      << other.err;
  const Outcome wrong = sign("performed", "guess");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("The signature was refused: the password is not right"), std::string::npos) << wrong.err;
  EXPECT_NE(wrong.err.find("content hash "), std::string::npos) << wrong.err;  // shown before the password is asked
  EXPECT_NE(sign("reviewed", "Kalibrier-2026").err.find("only after it is signed as performed"), std::string::npos);
  const Outcome performed = sign("performed", "Kalibrier-2026");
  ASSERT_EQ(performed.status, 0) << performed.err;
  EXPECT_NE(performed.out.find("signed as performed by"), std::string::npos) << performed.out;
  ASSERT_EQ(sign("reviewed", "Kalibrier-2026").status, 0);
  const Outcome approved = sign("approved", "Kalibrier-2026");
  EXPECT_EQ(approved.status, 1);
  EXPECT_NE(approved.err.find("four eyes: " + me + " performed this calibration"), std::string::npos) << approved.err;
  const Outcome ownRules = run("--records @dir/signed.sqlite --settings @dir/own-rules sign 3 approved",
                               me + "\nKalibrier-2026\n", pam);
  EXPECT_EQ(ownRules.status, 1);
  EXPECT_NE(ownRules.err.find(std::string(kRulesNotInForce) + " (they differ in four-eyes)"), std::string::npos)
      << ownRules.err;
  // Nor does it issue documents under rules of its own.
  const Outcome ownDraft = run("--records @dir/signed.sqlite --settings @dir/own-rules certificate 3 @dir/own.pdf");
  EXPECT_EQ(ownDraft.status, 1);
  EXPECT_NE(ownDraft.err.find("this station's signing rules are not those in force in the audit trail (they differ "
                              "in four-eyes)"),
            std::string::npos)
      << ownDraft.err;
  EXPECT_EQ(sign("checked", "Kalibrier-2026").status, 2);

  const Outcome shown = run("--records @dir/signed.sqlite show 3");
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_TRUE(std::regex_search(shown.out, std::regex(", performed 20[0-9-]{8}T[0-9:]{8}Z\n.*, reviewed 20"))) << shown.out;
  EXPECT_NE(shown.out.find("Approval: it is not approved"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\nMatches its audit trail: yes\n"), std::string::npos) << shown.out;
  for (const Outcome* o : {&wrong, &performed, &approved, &shown}) EXPECT_EQ((o->out + o->err).find("Kalibrier-2026"), std::string::npos);
  const Outcome verified = run("--records @dir/signed.sqlite verify");
  EXPECT_EQ(verified.status, 0) << verified.err;
  EXPECT_NE(run("--records @dir/signed.sqlite --settings @dir/signing certificate 3 @dir/signed.pdf").err.find(
                "it is not approved"),
            std::string::npos);

  // Amended: --all shows both versions, from either, each with its signatures
  // and trail, and says whether each still matches it.
  {
    SqliteRecordStore store(copy);
    std::vector<RecordSummary> listed;
    ASSERT_TRUE(store.list(0, listed));
    CalibrationRecord first, amendment;
    ASSERT_TRUE(store.load(listed.front().uuid, first));  // record 3
    ASSERT_EQ(first.id, 3);
    amendment = first;
    amendment.uuid.clear();
    amendment.signatures.clear();
    amendment.certificateNumber.clear();  // as the station amends: the amendment gets a number of its own
    amendment.amendsUuid = first.uuid;
    amendment.revision = 1;
    amendment.amendmentReason = "unit typed as KX-7 retyped";
    ASSERT_TRUE(store.add(amendment)) << store.problem();
  }
  for (const char* which : {"3", "4"}) {
    const Outcome all = run(std::string("--records @dir/signed.sqlite show --all ") + which);
    ASSERT_EQ(all.status, 0) << all.err;
    // In this order: each version, its signatures, its trail, and its match.
    std::size_t at = 0;
    for (const char* part : {"=== Version 1 of 2 ===\n", "Content hash: ", "performed 20", "Audit trail:\n  #",
                             " record made\n", "record signed: signer", "Matches its audit trail: yes\n",
                             "=== Version 2 of 2 ===\n", "record made: amends ",
                             "unit typed as KX-7 retyped\nMatches its audit trail: yes\n"}) {
      at = all.out.find(part, at);
      ASSERT_NE(at, std::string::npos) << part << "\n" << all.out;
    }
    EXPECT_EQ(at + std::strlen("unit typed as KX-7 retyped\nMatches its audit trail: yes\n"), all.out.size());
    // Each entry names who entered it.
    EXPECT_NE(all.out.find("Z by " + me + " (UID " + std::to_string(currentPerson().uid) + "), "), std::string::npos)
        << all.out;
  }
  EXPECT_EQ(run("--records @dir/signed.sqlite show --all").status, 2);
  // The same as a PDF report, whose making is itself an audit entry.
  const Outcome report = run("--records @dir/signed.sqlite report 4 @dir/report.pdf");
  ASSERT_EQ(report.status, 0) << report.err;
  ASSERT_EQ(std::system(("pdftotext " + folder_->file("report.pdf") + " " + folder_->file("report.txt")).c_str()), 0);
  std::ifstream in(folder_->file("report.txt"));
  const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* part : {"Record report", "Version 1 of 2", "Version 2 of 2", "Content hash", "Matches its audit trail", "performed 20", "Results", "Verdict",
                           "unit typed as KX-7 retyped", "End of report"}) {
    EXPECT_NE(printed.find(part), std::string::npos) << part << "\n" << printed;
  }
  EXPECT_NE(run("--records @dir/signed.sqlite show --all 4").out.find("record report exported: "), std::string::npos);
}

TEST_F(RecordsTool, CertificateCarriesTheHeadThatVerifyFinds) {
  const std::string copy = folder_->file("headed.sqlite");
  std::filesystem::copy_file(db(), copy, std::filesystem::copy_options::overwrite_existing);
  ASSERT_EQ(run("--records @dir/headed.sqlite --settings @dir certificate 1 @dir/headed.pdf").status, 0);
  ASSERT_EQ(std::system(("pdftotext -layout " + folder_->file("headed.pdf") + " " + folder_->file("headed.txt")).c_str()),
            0);
  const std::string text = readFile(folder_->file("headed.txt"));
  std::smatch printed;
  ASSERT_TRUE(std::regex_search(text, printed, std::regex("Audit trail head at issue +([0-9a-f]{16})\\b"))) << text;
  const std::string head = printed[1];
  ASSERT_EQ(run("--records @dir/headed.sqlite --settings @dir dcc 1 @dir/headed.xml").status, 0);
  const std::string xml = readFile(folder_->file("headed.xml"));
  // Each document carries the head at its own issue: the certificate's issue is an
  // entry of its own, so the DCC's head is a later one, in full.
  std::smatch carried;
  ASSERT_TRUE(std::regex_search(xml, carried, std::regex("<dcc:value>([0-9a-f]{64})</dcc:value>"))) << xml;
  EXPECT_NE(carried[1].str().substr(0, 16), head);
  for (const std::string& kept : {head, carried[1].str()}) {
    const Outcome found = run("--records @dir/headed.sqlite verify --head " + kept);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.out.find("and holds the head " + kept + "\n"), std::string::npos) << found.out;
  }

  sqlite3* file = nullptr;
  ASSERT_EQ(sqlite3_open(copy.c_str(), &file), SQLITE_OK);
  test::dropTriggers(file);
  // A certificate number is held to the entry that gave it.
  std::string number;
  sqlite3_exec(
      file, "SELECT certificate_number FROM records WHERE id = 1",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
        return 0;
      },
      &number, nullptr);
  ASSERT_FALSE(number.empty());
  ASSERT_EQ(sqlite3_exec(file, "UPDATE records SET certificate_number = 'KLN-FORGED' WHERE id = 1", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_NE(run("--records @dir/headed.sqlite --settings @dir certificate 1 @dir/forged.pdf")
                .err.find("its certificate number is not the one its audit entry gave"),
            std::string::npos);
  const Outcome renumbered = run("--records @dir/headed.sqlite verify");
  EXPECT_EQ(renumbered.status, 1);
  EXPECT_NE(renumbered.err.find("'s certificate number KLN-FORGED is not the one audit entry "), std::string::npos)
      << renumbered.err;
  EXPECT_NE(renumbered.err.find(" gave (" + number + ")"), std::string::npos) << renumbered.err;
  test::dropTriggers(file);  // every station that opens the file makes them anew
  ASSERT_EQ(sqlite3_exec(file, ("UPDATE records SET certificate_number = '" + number + "' WHERE id = 1").c_str(),
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(file, "UPDATE records SET result = 'rewritten' WHERE id = 1; DELETE FROM audit_trail",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  rewriteTrail(file, copy);
  sqlite3_close(file);
  EXPECT_EQ(run("--records @dir/headed.sqlite verify").status, 0);
  const Outcome lost = run("--records @dir/headed.sqlite verify --head " + head);
  EXPECT_EQ(lost.status, 1);
  EXPECT_EQ(lost.err, "trimwell-records: " + copy + ": the head " + head +
                          " is not in this audit trail: the trail was written anew after it, or it is another file's\n");
  // A head that is none is bad use, an empty one too: it would check nothing.
  for (const char* none : {"12ab", "''", "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0"}) {
    EXPECT_EQ(run(std::string("--records @dir/headed.sqlite verify --head ") + none).status, 2) << none;
  }
}

TEST_F(RecordsTool, ReadsTheLabsPostgresStore) {
  test::PostgresServer server;
  ASSERT_TRUE(server.running()) << server.problem();
  const Outcome made = run("--records '" + server.url() + "' init-lab");
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find("IN ROLE trimwell_station;"), std::string::npos) << made.out;
  EXPECT_EQ(run("--records '" + server.url() + "' init-lab").status, 0);  // once more: nothing lost
  // No first signer brings their own rules: init-lab put the settings' in force, once.
  std::string rules;
  ASSERT_TRUE(PostgresRecordStore(server.url()).lastStationEvent(signing::kRulesInForceEvent, rules));
  EXPECT_NE(rules.find("four-eyes: yes\n"), std::string::npos) << rules;
  PostgresRecordStore store(server.url());
  for (CalibrationRecord& r : records()) ASSERT_TRUE(store.add(r)) << store.problem();
  const Outcome r = run("--records '" + server.url() + "' list --model 221");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(numbers(r.out), (std::vector<long long>{2, 1}));
  EXPECT_EQ(run("--records '" + server.url() + "' show 7").status, 1);

  // What waits in a station's outbox goes from a shell; what cannot go is counted.
  {
    SqliteRecordStore outbox(folder_->file("outbox.sqlite"));
    for (int i = 0; i < 3; ++i) {
      CalibrationRecord waiting = test::labRecord(221, 10 + i);
      ASSERT_TRUE(outbox.add(waiting)) << outbox.problem();
    }
  }
  const std::string send = "--records '" + server.url() + "' send-waiting --outbox @dir/outbox.sqlite";
  Outcome sent = run(send);
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(sent.out, "3 records sent to the lab's store; 0 wait on this station\n");
  std::vector<RecordSummary> lab;
  ASSERT_TRUE(store.list(0, lab)) << store.problem();
  EXPECT_EQ(lab.size(), records().size() + 3);
  EXPECT_EQ(run(send).out, "0 records sent to the lab's store; 0 wait on this station\n");
  // The lab's chain holds what the stations sent; a record changed behind the
  // triggers' back is named.
  const Outcome whole = run("--records '" + server.url() + "' verify");
  EXPECT_EQ(whole.status, 0) << whole.err;
  // The six records' entries and the rules init-lab put in force.
  EXPECT_EQ(whole.out.rfind("7 audit entries and 6 records checked: the chain is whole\nhead ", 0), 0u) << whole.out;
  ASSERT_TRUE(server.sql("SET session_replication_role = replica; UPDATE records SET result = 'changed' WHERE id = 1"));
  const Outcome broken = run("--records '" + server.url() + "' verify");
  EXPECT_EQ(broken.status, 1);
  EXPECT_NE(broken.err.find(": it was changed after that entry"), std::string::npos) << broken.err;
  {
    SqliteRecordStore outbox(folder_->file("outbox.sqlite"));
    CalibrationRecord waiting = test::labRecord(221, 20);
    ASSERT_TRUE(outbox.add(waiting)) << outbox.problem();
  }
  ASSERT_TRUE(server.stop());
  sent = run(send);
  EXPECT_EQ(sent.status, 1);
  EXPECT_EQ(sent.out, "0 records sent to the lab's store; 1 waits on this station\n");
  EXPECT_EQ(sent.err.rfind("trimwell-records: 1 record waits in " + folder_->file("outbox.sqlite") + ": cannot reach ", 0),
            0u)
      << sent.err;
  const Outcome missing = run("--records '" + server.url() + "' send-waiting --outbox @dir/none.sqlite");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "trimwell-records: there is no outbox " + folder_->file("none.sqlite") + "\n");
  EXPECT_EQ(run("--records @db send-waiting --outbox @dir/outbox.sqlite").status, 2);
}

}  // namespace
}  // namespace trimwell
