// The lab-wide record store on a real PostgreSQL 15 server that the test starts:
// records in and out whole, two stations writing at once, and a server that goes
// away, whose records wait on the station and follow when it is back.
#include "records/postgres_record_store.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <set>
#include <thread>

#include "records/lab_record_store.h"
#include "records/postgres_server.h"
#include "records/sample_record.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

class LabServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new test::PostgresServer; }  // shared: initdb takes seconds
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(server->running()) << server->problem();
    // Each test starts from a server without the station's tables.
    PGconn* c = PQconnectdb(server->url().c_str());
    ASSERT_EQ(PQstatus(c), CONNECTION_OK) << PQerrorMessage(c);
    PQclear(PQexec(c, "DROP TABLE IF EXISTS record_rows, records, schema_version"));
    PQfinish(c);
  }
  static test::PostgresServer* server;
  test::TempDir dir;
};

test::PostgresServer* LabServer::server = nullptr;

TEST_F(LabServer, WhatGoesInComesOutWhole) {
  PostgresRecordStore store(server->url());
  CalibrationRecord in = test::sampleRecord(221, 4);
  ASSERT_TRUE(store.add(in)) << store.problem();
  CalibrationRecord out;
  ASSERT_TRUE(store.load(in.id, out)) << store.problem();
  test::expectSameRecord(in, out);
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(221, list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].id, in.id);
  EXPECT_TRUE(store.list(243, list));
  EXPECT_TRUE(list.empty());
}

TEST_F(LabServer, TwoStationsWriteAtOnce) {
  auto station = [this](int sensorId, int count) {
    PostgresRecordStore store(server->url());
    for (int i = 0; i < count; ++i) {
      CalibrationRecord r = test::sampleRecord(sensorId, i);
      EXPECT_TRUE(store.add(r)) << store.problem();
    }
  };
  std::thread first(station, 221, 40);
  std::thread second(station, 243, 40);
  first.join();
  second.join();
  PostgresRecordStore store(server->url());
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(0, list));
  ASSERT_EQ(list.size(), 80u);
  std::set<long long> ids;
  for (const RecordSummary& s : list) {
    ids.insert(s.id);
    CalibrationRecord r;
    ASSERT_TRUE(store.load(s.id, r));
    EXPECT_EQ(r.rows.size(), 3u);
  }
  EXPECT_EQ(ids.size(), 80u);
}

TEST_F(LabServer, RecordsWaitOnTheStationWhileTheServerIsAway) {
  LabRecordStore store(std::make_unique<PostgresRecordStore>(server->url()),
                       std::make_unique<SqliteRecordStore>(dir.file("outbox.sqlite")));
  CalibrationRecord first = test::sampleRecord(221, 1);
  ASSERT_TRUE(store.add(first));
  EXPECT_FALSE(store.keptLocally());
  EXPECT_EQ(store.describe(first), "record " + std::to_string(first.id));

  ASSERT_TRUE(server->stop());
  CalibrationRecord second = test::sampleRecord(221, 2);
  ASSERT_TRUE(store.add(second)) << store.problem();
  EXPECT_TRUE(store.keptLocally());
  EXPECT_EQ(store.describe(second).rfind("kept on this station as waiting record 1 until the lab's record store can "
                                         "be reached again: ", 0),
            0u)
      << store.describe(second);
  EXPECT_EQ(store.waiting(), 1u);

  ASSERT_TRUE(server->start()) << server->problem();
  CalibrationRecord third = test::sampleRecord(221, 3);
  ASSERT_TRUE(store.add(third)) << store.problem();
  EXPECT_FALSE(store.keptLocally());
  EXPECT_EQ(store.waiting(), 0u);
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(0, list));
  ASSERT_EQ(list.size(), 3u);
  CalibrationRecord sent;
  ASSERT_TRUE(store.load(list[1].id, sent));  // the waiting one went first
  test::expectSameRecord(second, sent);
}

}  // namespace
}  // namespace trimwell
