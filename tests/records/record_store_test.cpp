// The SQLite record store on a real file: the schema's version, records of older
// files, and no damage from a station killed mid-write, a full disk or a lock (what
// every store does alike is in store_conformance_test.cpp).
#include "records/record_schema.h"
#include "records/sqlite_record_store.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "documents/record_export.h"
#include "records/sample_record.h"
#include "support/signed_record.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

class Records : public ::testing::Test {
 protected:
  std::string path() const { return dir.file("records.sqlite"); }
  test::TempDir dir;
};

TEST_F(Records, SchemaVersionIsKeptAndANewerFileRefused) {
  {
    SqliteRecordStore store(path());
    EXPECT_EQ(store.schemaVersion(), SqliteRecordStore::kSchemaVersion);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  // Newer by its version table, and a file from before the table newer by its header.
  for (const char* sql : {"INSERT INTO schema_version VALUES (99)", "DROP TABLE schema_version; PRAGMA user_version=98"}) {
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    SqliteRecordStore newer(path());
    EXPECT_FALSE(newer.isOpen());
    EXPECT_NE(newer.problem().find(": the records file is of a newer station (schema 9"), std::string::npos)
        << newer.problem();
  }
  sqlite3_close(db);
}

TEST_F(Records, FileThatCannotBeMadeSaysWhy) {
  { std::ofstream(dir.file("a-file")) << "in the folder's place"; }
  SqliteRecordStore blocked(dir.file("a-file") + "/records.sqlite");
  EXPECT_FALSE(blocked.isOpen());
  EXPECT_NE(blocked.problem().find("cannot open"), std::string::npos);
}

// A record goes in whole or not at all: a row the file refuses (here by a trigger)
// takes the record with it, and the next record goes in as usual.
TEST_F(Records, RecordWhoseRowFailsLeavesNothing) {
  { SqliteRecordStore made(path()); }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TRIGGER refuse BEFORE INSERT ON record_rows WHEN NEW.name = 'poison'"
                         " BEGIN SELECT RAISE(ABORT, 'refused'); END",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  SqliteRecordStore store(path());
  CalibrationRecord poisoned = test::sampleRecord(221, 1);
  poisoned.rows[2].name = "poison";
  EXPECT_FALSE(store.add(poisoned));
  EXPECT_NE(store.problem().find("refused"), std::string::npos) << store.problem();
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(0, list));
  EXPECT_TRUE(list.empty());
  CalibrationRecord next = test::sampleRecord(221, 2);
  ASSERT_TRUE(store.add(next)) << store.problem();
  CalibrationRecord back;
  ASSERT_TRUE(store.load(next.uuid, back));
  EXPECT_EQ(back.rows.size(), 3u);
}

// A station killed with SIGKILL in the middle of its writes loses at most the record
// it was writing: the file stays sound and every record in it is whole.
TEST_F(Records, KillMidWriteLosesNoEarlierRecord) {
  { SqliteRecordStore made(path()); }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    close(ready[0]);
    SqliteRecordStore store(path());
    for (int serial = 0;; ++serial) {
      CalibrationRecord r = test::sampleRecord(221, serial);
      if (!store.add(r)) _exit(3);
      const char done = 1;
      if (write(ready[1], &done, 1) != 1) _exit(4);
    }
  }
  close(ready[1]);
  char done = 0;
  for (int committed = 0; committed < 40; ++committed) ASSERT_EQ(read(ready[0], &done, 1), 1);
  kill(writer, SIGKILL);
  int status = 0;
  waitpid(writer, &status, 0);
  close(ready[0]);
  ASSERT_TRUE(WIFSIGNALED(status));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);

  SqliteRecordStore store(path());
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(0, list));
  ASSERT_GE(list.size(), 40u);
  for (const RecordSummary& summary : list) {
    CalibrationRecord r;
    ASSERT_TRUE(store.load(summary.uuid, r));
    EXPECT_EQ(r.rows.size(), 3u) << summary.id;
    EXPECT_EQ(r.asFoundImage.size(), 700u) << summary.id;
    EXPECT_EQ(r.asLeftImage.size(), 702u) << summary.id;
  }
}

struct Setting {
  const char* pragma;
  const char* value;
};

class RecordsDurability : public Records, public ::testing::WithParamInterface<Setting> {};

// As the database itself reports them on the store's connection.
TEST_P(RecordsDurability, SettingIsInForce) {
  SqliteRecordStore store(path());
  ASSERT_TRUE(store.isOpen()) << store.problem();
  EXPECT_EQ(store.setting(GetParam().pragma), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Records, RecordsDurability,
                         ::testing::Values(Setting{"journal_mode", "wal"}, Setting{"synchronous", "2"},
                                           Setting{"foreign_keys", "1"}, Setting{"journal_size_limit", "65536"}),
                         [](const ::testing::TestParamInfo<Setting>& info) { return std::string(info.param.pragma); });

TEST_F(Records, LogIsFoldedInAfterEachRecord) {
  SqliteRecordStore store(path());
  for (int i = 0; i < 20; ++i) {
    CalibrationRecord r = test::sampleRecord(221, i);
    ASSERT_TRUE(store.add(r));
    EXPECT_EQ(std::filesystem::file_size(path() + "-wal"), 0u) << i;
  }
}

// A file of the first schema, as stations before record identities wrote it.
TEST_F(Records, OlderFileIsBroughtUpToDateAndStaysReadable) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE records(id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL,"
                         " utc_time TEXT NOT NULL, operator TEXT, host TEXT, station_version TEXT, interface_kind TEXT,"
                         " interface_product INTEGER, firmware_version TEXT, sensor_id INTEGER NOT NULL,"
                         " datasheet_name TEXT, datasheet_version TEXT, options TEXT, success INTEGER NOT NULL,"
                         " result TEXT, restored_from INTEGER, as_found_image BLOB, as_found_calibration BLOB,"
                         " as_left_image BLOB, as_left_calibration BLOB);"
                         "CREATE INDEX records_by_sensor ON records(sensor_id, id);"
                         "CREATE TABLE record_rows(record_id INTEGER NOT NULL REFERENCES records(id),"
                         " position INTEGER NOT NULL, measurement_id INTEGER, name TEXT, point1_raw REAL,"
                         " point1_data REAL, point2_raw REAL, point2_data REAL, c0 REAL, c1 REAL, c2 REAL, c3 REAL,"
                         " left_out INTEGER, extra INTEGER, PRIMARY KEY(record_id, position));"
                         "INSERT INTO records(kind, utc_time, sensor_id, success, result, restored_from)"
                         " VALUES('calibration', '2024-01-02T03:04:05Z', 221, 1, 'written and verified', 0),"
                         " ('restore', '2024-01-02T03:05:00Z', 221, 1, 'written and verified', 1);"
                         "INSERT INTO record_rows(record_id, position, name, point1_raw) VALUES(1, 0, 'Row 0', 4.25);"
                         "PRAGMA user_version=1;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  SqliteRecordStore store(path());
  ASSERT_TRUE(store.isOpen()) << store.problem();
  EXPECT_EQ(store.schemaVersion(), kRecordSchemaVersion);
  EXPECT_EQ(store.setting("user_version"), std::to_string(kRecordSchemaVersion))
      << "the header follows for stations from before the table";
  test::expectFirstSchemaRecordsBroughtUp(store);
  // Its records are entered into the audit trail as they were found, and what was
  // appended since follows them.
  const signing::ChainCheck check = store.verify();
  EXPECT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(check.records, 2u);
}

// The register may change, and each change is in the audit trail with the entry as
// it was and as it is; saving it unchanged enters nothing. The chain stays whole.
TEST_F(Records, RegisterChangesAreInTheAuditTrail) {
  SqliteRecordStore store(path());
  metrology::StandardEntry standard = test::sampleStandard("PRT 7", 0.02);
  ASSERT_TRUE(store.saveStandard(standard)) << store.problem();
  ASSERT_TRUE(store.saveStandard(standard)) << store.problem();
  standard.uncertainty.a = 0.03;
  ASSERT_TRUE(store.saveStandard(standard)) << store.problem();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  std::vector<std::string> details;
  sqlite3_exec(
      db, "SELECT event || ': ' || details FROM audit_trail ORDER BY sequence",
      [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->emplace_back(values[0]);
        return 0;
      },
      &details, nullptr);
  sqlite3_close(db);
  ASSERT_EQ(details.size(), 2u);
  EXPECT_EQ(details[0].rfind("reference standard saved: PRT 7: new; now identification ", 0), 0u) << details[0];
  EXPECT_NE(details[1].find(": was identification "), std::string::npos) << details[1];
  EXPECT_NE(details[1].find("U = 0.02 + "), std::string::npos) << details[1];
  EXPECT_NE(details[1].find("; now identification "), std::string::npos) << details[1];
  EXPECT_NE(details[1].find("U = 0.03 + "), std::string::npos) << details[1];
  EXPECT_TRUE(store.verify().ok) << store.verify().problem;
}

// A login kept before under another UID is another person's: the station running
// as this login now may not keep records as them; the same person may.
TEST_F(Records, LoginTakenOverByAnotherAccountIsRefused) {
  SqliteRecordStore store(path());
  const Person me = currentPerson();
  CalibrationRecord mine = test::sampleRecord(221, 2);
  ASSERT_TRUE(store.add(mine)) << store.problem();
  EXPECT_EQ(store.keepingProblem(), "");
  CalibrationRecord before = test::sampleRecord(221, 4);
  before.operatorUid = me.uid + 1;
  ASSERT_TRUE(store.add(before)) << store.problem();
  EXPECT_EQ(store.keepingProblem(), "the login " + me.login + " is another person's in this file (record " +
                                        std::to_string(before.id) + " was kept under it by UID " +
                                        std::to_string(me.uid + 1) + "; this station runs as UID " +
                                        std::to_string(me.uid) + "): a login taken over by another account is refused");
  Person other = me;
  other.login = "someone-else";
  EXPECT_EQ(store.loginProblem(other), "");
}

// A record amended after a station claimed it is not taken out with the copy that
// station sent: it stays, and goes again whole. Only an outbox gives records up:
// in a station's own file a claim takes nothing out.
TEST_F(Records, OutboxKeepsARecordAmendedSinceItWasClaimed) {
  SqliteRecordStore outbox(path());
  CalibrationRecord r = test::labRecord(221, 1);
  ASSERT_TRUE(outbox.add(r)) << outbox.problem();
  std::vector<CalibrationRecord> claimed;
  ASSERT_TRUE(outbox.claim("a", 10, std::chrono::seconds(60), claimed));
  EXPECT_FALSE(outbox.remove({r.uuid}));
  EXPECT_NE(outbox.problem().find("kept records are never deleted"), std::string::npos) << outbox.problem();
  std::string number = "KLN-1";
  ASSERT_TRUE(outbox.keepAsOutbox()) << outbox.problem();
  EXPECT_TRUE(SqliteRecordStore(path()).isOutbox());
  EXPECT_FALSE(outbox.keepCertificateNumber(r.uuid, number));
  EXPECT_EQ(outbox.problem(), kNotYetNumbered);
  ASSERT_TRUE(outbox.claim("a", 10, std::chrono::seconds(60), claimed));
  ASSERT_EQ(claimed.size(), 1u);
  test::expectSameRecord(r, claimed[0]);
  ASSERT_TRUE(outbox.appendResults(r.uuid, {test::sampleResult(2, true, 1.5)})) << outbox.problem();
  ASSERT_TRUE(outbox.remove({r.uuid}));
  EXPECT_EQ(outbox.waitingCount(), 1);
  ASSERT_TRUE(outbox.claim("a", 10, std::chrono::seconds(60), claimed));
  ASSERT_EQ(claimed.size(), 1u);
  EXPECT_EQ(claimed[0].results.size(), 4u);
  ASSERT_TRUE(outbox.remove({r.uuid}));
  EXPECT_EQ(outbox.waitingCount(), 0);
  EXPECT_FALSE(outbox.appendResults(r.uuid, {test::sampleResult(2, true, 1.5)}));
  EXPECT_TRUE(outbox.missedRecord());

  // Signed, then claimed, then checked: the refused check's readings go again too.
  CalibrationRecord sealed = test::labRecord(221, 2);
  ASSERT_TRUE(outbox.add(sealed)) << outbox.problem();
  ASSERT_TRUE(outbox.load(sealed.uuid, claimed.emplace_back()));
  ASSERT_TRUE(outbox.addSignature(test::signatureBy(claimed.back(), signing::Meaning::Performed, 1001, "aroth",
                                                    "Ana Roth", "trimwell-operator")));
  ASSERT_TRUE(outbox.claim("a", 10, std::chrono::seconds(60), claimed));
  ASSERT_EQ(claimed.size(), 1u);
  EXPECT_TRUE(claimed[0].refusedChecks.empty());
  EXPECT_FALSE(outbox.appendResults(sealed.uuid, {test::sampleResult(0, true, 1.5)}));
  ASSERT_TRUE(outbox.remove({sealed.uuid}));
  ASSERT_TRUE(outbox.claim("a", 10, std::chrono::seconds(60), claimed));
  ASSERT_EQ(claimed.size(), 1u);
  EXPECT_EQ(claimed[0].refusedChecks.size(), 1u);
  // Records sent have left the outbox; their entries stay, and are no fault.
  const signing::ChainCheck check = outbox.verify();
  EXPECT_TRUE(check.ok) << check.problem;
}

// A disk small enough to fill: a tmpfs of 1 MB of the test's own.
class SmallDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir.file("disk");
    std::filesystem::create_directory(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN): " << std::strerror(errno);
    }
    mounted = true;
  }
  void TearDown() override {
    if (mounted) umount2(folder.c_str(), MNT_DETACH);
  }
  bool readOnly() { return mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m") == 0; }
  test::TempDir dir;
  std::string folder;
  bool mounted = false;
};

// Records are kept until the disk is really full, the store says so before the
// next write, and every record kept is there afterwards.
TEST_F(SmallDisk, FullDiskKeepsEveryRecordItTook) {
  const std::string file = folder + "/records.sqlite";
  std::vector<std::string> kept;
  {
    SqliteRecordStore store(file);
    ASSERT_TRUE(store.isOpen()) << store.problem();
    EXPECT_EQ(store.keepingProblem(), "");
    for (int serial = 0; serial < 2000; ++serial) {
      CalibrationRecord r = test::sampleRecord(221, serial);
      if (!store.add(r)) break;
      kept.push_back(r.uuid);
    }
    EXPECT_NE(store.problem().find("full"), std::string::npos) << store.problem();
    EXPECT_EQ(store.keepingProblem(), "the disk holding " + file + " is full");
  }
  // Each sample record takes about 2.5 KB with its rows, and its audit entry with
  // the entry's index some 0.5 KB more: 1 MB holds some 300.
  EXPECT_GT(kept.size(), 250u);
  SqliteRecordStore reopened(file);
  std::vector<RecordSummary> list;
  ASSERT_TRUE(reopened.list(0, list)) << reopened.problem();
  std::set<std::string> there;
  for (const RecordSummary& s : list) there.insert(s.uuid);
  EXPECT_EQ(there, std::set<std::string>(kept.begin(), kept.end()));
}

TEST_F(SmallDisk, ReadOnlyFolderIsSaidBeforeAnyWrite) {
  const std::string made = folder + "/made.sqlite";
  { SqliteRecordStore store(made); }
  ASSERT_TRUE(readOnly()) << std::strerror(errno);
  SqliteRecordStore fresh(folder + "/records.sqlite");
  EXPECT_FALSE(fresh.isOpen());
  EXPECT_NE(fresh.keepingProblem().find("cannot open " + folder + "/records.sqlite"), std::string::npos)
      << fresh.keepingProblem();
  SqliteRecordStore existing(made);
  EXPECT_NE(existing.keepingProblem(), "");
  CalibrationRecord r = test::sampleRecord(221, 1);
  EXPECT_FALSE(existing.add(r));
}

// A file another program holds locked while the station starts is tried again.
TEST_F(Records, FileLockedAtStartIsTriedAgain) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE x(y); BEGIN EXCLUSIVE; INSERT INTO x VALUES(1)", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  SqliteRecordStore store(path(), 0);
  EXPECT_FALSE(store.isOpen());
  EXPECT_NE(store.keepingProblem().find("database is locked"), std::string::npos) << store.keepingProblem();
  ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  EXPECT_EQ(store.keepingProblem(), "");
  CalibrationRecord r = test::sampleRecord(221, 1);
  EXPECT_TRUE(store.add(r)) << store.problem();
}

// Two stations on one outbox: a claimed record is the claimant's until released;
// a record set aside is nobody's.
TEST_F(Records, OutboxClaimsAreEachStationsOwn) {
  SqliteRecordStore one(path());
  ASSERT_TRUE(one.keepAsOutbox()) << one.problem();
  SqliteRecordStore other(path());
  std::vector<std::string> added;
  for (int i = 0; i < 5; ++i) {
    CalibrationRecord r = test::sampleRecord(221, i);
    ASSERT_TRUE(one.add(r));
    added.push_back(r.uuid);
  }
  std::vector<CalibrationRecord> first, second;
  ASSERT_TRUE(one.claim("one", 2, std::chrono::seconds(60), first));
  ASSERT_TRUE(other.claim("other", 10, std::chrono::seconds(60), second));
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(first[0].uuid, added[0]);  // oldest first
  EXPECT_EQ(first[1].uuid, added[1]);
  EXPECT_EQ(second[0].uuid, added[2]);
  EXPECT_EQ(second[0].rows.size(), 3u);
  ASSERT_TRUE(other.setAside(added[2], "refused"));
  ASSERT_TRUE(other.release("other"));
  ASSERT_TRUE(other.claim("other", 10, std::chrono::seconds(60), second));
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].uuid, added[3]);
  EXPECT_EQ(one.waitingCount(), 4);
  ASSERT_TRUE(one.remove({added[0], added[1]}));
  EXPECT_EQ(one.waitingCount(), 2);
  std::vector<std::pair<RecordSummary, std::string>> aside;
  ASSERT_TRUE(one.setAsideList(aside));
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(aside[0].first.uuid, added[2]);
  EXPECT_EQ(aside[0].second, "refused");
}

struct Utf8Case {
  const char* name;
  std::string in;
  std::string out;
};

class ValidUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(ValidUtf8, InvalidBytesBecomeReplacementCharacters) {
  std::string text = GetParam().in;
  EXPECT_EQ(makeValidUtf8(text), GetParam().in != GetParam().out);
  EXPECT_EQ(text, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValidUtf8,
    ::testing::Values(Utf8Case{"Ascii", "Jan", "Jan"}, Utf8Case{"Umlaut", "J\xC3\xBCrgen", "J\xC3\xBCrgen"},
                      Utf8Case{"Latin1", "J\xFCrgen", "J\xEF\xBF\xBDrgen"},
                      Utf8Case{"Cut", "ab\xE2\x82", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf8Case{"Overlong", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf8Case{"FourBytes", "\xF0\x9F\x99\x82", "\xF0\x9F\x99\x82"}),
    [](const ::testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

TEST(RecordIdentity, IsARandomUuid) {
  const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string made = newRecordUuid();
    ASSERT_TRUE(std::regex_match(made, uuid)) << made;
    seen.insert(made);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(RecordsCsv, OneLinePerRowQuotedWhereNeeded) {
  CalibrationRecord r = test::sampleRecord(221, 4);
  r.id = 7;
  r.datasheetName = "Probe, \"thermal\"";
  r.unit = "TP-7";
  r.customer = "Acme, North";
  r.rows.resize(2);
  const std::string csv = recordsCsv({r});
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < csv.size();) {
    const std::size_t end = csv.find("\r\n", at);
    lines.push_back(csv.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("record,kind,utc_time,", 0), 0u);
  EXPECT_NE(lines[1].find(",1.8,TP-7,\"Acme, North\",221,\"Probe, \"\"thermal\"\"\",1.02,yes,written and verified,1,10,Row 0,no,no,4.25,0,"
                          "1004.5,33.333333333333336,1,2,3,4"),
            std::string::npos)
      << lines[1];
  EXPECT_EQ(lines[2].rfind("7,calibration,", 0), 0u);
  EXPECT_NE(lines[2].find(",2,11,Row 1,yes,no,"), std::string::npos) << lines[2];
}

}  // namespace
}  // namespace trimwell
