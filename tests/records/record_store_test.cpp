// The SQLite record store on a real file: whole records in, whole records out,
// newest first, the schema's version, and no damage from a station killed mid-write.
#include "records/sqlite_record_store.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace trimwell {
namespace {

CalibrationRecord sampleRecord(int sensorId, int serial) {
  CalibrationRecord r;
  stampRecord(r);
  r.interfaceKind = "USB";
  r.interfaceProduct = 2;
  r.firmwareVersion = "1.8";
  r.sensorId = sensorId;
  r.datasheetName = "Thermal probe";
  r.datasheetVersion = "1.02";
  r.options = "High EEPROM Cal=1";
  r.success = serial % 2 == 0;
  r.result = r.success ? "written and verified" : "datasheet did not write properly";
  for (int i = 0; i < 3; ++i) {
    RecordRow row;
    row.measurementId = 10 + i;
    row.name = "Row " + std::to_string(i);
    row.point1Raw = serial + 0.25;
    row.point2Raw = serial + 1000.5;
    row.point1Data = -i;
    row.point2Data = 100.0 / 3;
    row.constants = {1, 2, 3, static_cast<double>(serial)};
    row.leftOut = i == 1;
    row.extra = i == 2;
    r.rows.push_back(row);
  }
  r.asFoundImage.assign(700, static_cast<std::uint8_t>(serial));
  r.asFoundCalibration.assign(48, 0xA5);
  r.asLeftImage.assign(702, static_cast<std::uint8_t>(serial + 1));
  return r;
}

class Records : public ::testing::Test {
 protected:
  std::string path() const { return dir.file("records.sqlite"); }
  test::TempDir dir;
};

TEST_F(Records, WhatGoesInComesOutWhole) {
  SqliteRecordStore store(path());
  ASSERT_TRUE(store.isOpen()) << store.problem();
  CalibrationRecord in = sampleRecord(221, 4);
  ASSERT_TRUE(store.add(in)) << store.problem();
  EXPECT_EQ(in.id, 1);
  SqliteRecordStore reopened(path());
  CalibrationRecord out;
  ASSERT_TRUE(reopened.load(in.id, out)) << reopened.problem();
  EXPECT_EQ(out.utcTime, in.utcTime);
  EXPECT_EQ(out.operatorName, in.operatorName);
  EXPECT_FALSE(out.operatorName.empty());
  EXPECT_EQ(out.host, in.host);
  EXPECT_EQ(out.firmwareVersion, "1.8");
  EXPECT_EQ(out.sensorId, 221);
  EXPECT_EQ(out.datasheetVersion, "1.02");
  EXPECT_TRUE(out.success);
  EXPECT_EQ(out.result, in.result);
  EXPECT_EQ(out.asFoundImage, in.asFoundImage);
  EXPECT_EQ(out.asFoundCalibration, in.asFoundCalibration);
  EXPECT_EQ(out.asLeftImage, in.asLeftImage);
  EXPECT_TRUE(out.asLeftCalibration.empty());
  ASSERT_EQ(out.rows.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(out.rows[i].measurementId, in.rows[i].measurementId);
    EXPECT_EQ(out.rows[i].name, in.rows[i].name);
    EXPECT_EQ(out.rows[i].point2Data, in.rows[i].point2Data);  // doubles kept exactly
    EXPECT_EQ(out.rows[i].constants, in.rows[i].constants);
    EXPECT_EQ(out.rows[i].leftOut, in.rows[i].leftOut);
    EXPECT_EQ(out.rows[i].extra, in.rows[i].extra);
  }
  EXPECT_FALSE(reopened.load(2, out));
  EXPECT_EQ(reopened.problem(), "there is no record 2");
}

TEST_F(Records, ListIsNewestFirstAndPerSensor) {
  SqliteRecordStore store(path());
  for (int i = 0; i < 5; ++i) {
    CalibrationRecord r = sampleRecord(i % 2 == 0 ? 221 : 243, i);
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
      CalibrationRecord r = sampleRecord(221, serial);
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

}  // namespace
}  // namespace trimwell
