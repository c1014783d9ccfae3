// The SQLite record store on a real file: whole records in, whole records out,
// newest first, the schema's version, and no damage from a station killed mid-write.
#include "records/sqlite_record_store.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "records/record_export.h"
#include "records/sample_record.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

class Records : public ::testing::Test {
 protected:
  std::string path() const { return dir.file("records.sqlite"); }
  test::TempDir dir;
};

TEST_F(Records, WhatGoesInComesOutWhole) {
  SqliteRecordStore store(path());
  ASSERT_TRUE(store.isOpen()) << store.problem();
  CalibrationRecord in = test::sampleRecord(221, 4);
  ASSERT_TRUE(store.add(in)) << store.problem();
  EXPECT_EQ(in.id, 1);
  SqliteRecordStore reopened(path());
  CalibrationRecord out;
  ASSERT_TRUE(reopened.load(in.id, out)) << reopened.problem();
  test::expectSameRecord(in, out);
  EXPECT_FALSE(out.operatorName.empty());
  EXPECT_TRUE(out.asLeftCalibration.empty());
  EXPECT_FALSE(reopened.load(2, out));
  EXPECT_EQ(reopened.problem(), "there is no record 2");
}

TEST_F(Records, ListIsNewestFirstAndPerSensor) {
  SqliteRecordStore store(path());
  for (int i = 0; i < 5; ++i) {
    CalibrationRecord r = test::sampleRecord(i % 2 == 0 ? 221 : 243, i);
    ASSERT_TRUE(store.add(r));
  }
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(0, list));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list.front().id, 5);
  EXPECT_EQ(list.back().id, 1);
  ASSERT_TRUE(store.list(243, list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].id, 4);
  EXPECT_EQ(list[1].id, 2);
  EXPECT_FALSE(list[1].success);
}

TEST_F(Records, SchemaVersionIsKeptAndANewerFileRefused) {
  {
    SqliteRecordStore store(path());
    EXPECT_EQ(store.schemaVersion(), SqliteRecordStore::kSchemaVersion);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  SqliteRecordStore newer(path());
  EXPECT_FALSE(newer.isOpen());
  EXPECT_EQ(newer.problem(), "the records file is of a newer station (schema 99)");
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
  ASSERT_TRUE(store.load(next.id, back));
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
    ASSERT_TRUE(store.load(summary.id, r));
    EXPECT_EQ(r.rows.size(), 3u) << summary.id;
    EXPECT_EQ(r.asFoundImage.size(), 700u) << summary.id;
    EXPECT_EQ(r.asLeftImage.size(), 702u) << summary.id;
  }
}

TEST(RecordsCsv, OneLinePerRowQuotedWhereNeeded) {
  CalibrationRecord r = test::sampleRecord(221, 4);
  r.id = 7;
  r.datasheetName = "Probe, \"thermal\"";
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
  EXPECT_NE(lines[1].find(",221,\"Probe, \"\"thermal\"\"\",1.02,yes,written and verified,1,10,Row 0,no,no,4.25,0,"
                          "1004.5,33.333333333333336,1,2,3,4"),
            std::string::npos)
      << lines[1];
  EXPECT_EQ(lines[2].rfind("7,calibration,", 0), 0u);
  EXPECT_NE(lines[2].find(",2,11,Row 1,yes,no,"), std::string::npos) << lines[2];
}

}  // namespace
}  // namespace trimwell
