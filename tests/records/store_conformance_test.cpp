// What every record store promises, checked the same way on each: the station's
// SQLite file, the lab's PostgreSQL server (a real one the test starts), and the
// lab store with its outbox in front of that server. Records of every shape go in
// and come out whole, from the same store and from one opened afresh; lists are
// newest first and per sensor; a record kept twice is kept once.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "records/lab_record_store.h"
#include "records/postgres_record_store.h"
#include "records/postgres_server.h"
#include "records/sample_record.h"
#include "records/sqlite_record_store.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

enum class StoreKind { Sqlite, Postgres, Lab };

struct StoreCase {
  const char* name;
  StoreKind kind;
};

void PrintTo(const StoreCase& store, std::ostream* out) { *out << store.name; }

const StoreCase kStores[] = {{"Sqlite", StoreKind::Sqlite}, {"Postgres", StoreKind::Postgres}, {"Lab", StoreKind::Lab}};

class EveryStore : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { server.reset(); }

  // The server is started only for the stores that need it: initdb takes seconds.
  void startWith(StoreKind kind) {
    kind_ = kind;
    if (kind == StoreKind::Sqlite) return;
    if (server == nullptr) server = std::make_unique<test::PostgresServer>();
    ASSERT_TRUE(server->running()) << server->problem();
    ASSERT_TRUE(server->sql("DROP TABLE IF EXISTS record_rows, records, schema_version")) << server->problem();
  }

  // The same records each time, through a store opened afresh.
  std::unique_ptr<RecordStore> open() const {
    const std::string file = dir.file(kind_ == StoreKind::Lab ? "outbox.sqlite" : "records.sqlite");
    switch (kind_) {
      case StoreKind::Sqlite:
        return std::make_unique<SqliteRecordStore>(file);
      case StoreKind::Postgres:
        return std::make_unique<PostgresRecordStore>(server->url());
      case StoreKind::Lab:
        break;
    }
    return std::make_unique<LabRecordStore>(std::make_unique<PostgresRecordStore>(server->url()),
                                            std::make_unique<SqliteRecordStore>(file));
  }

  // Until what was added is where the store keeps it for good: the lab store sends
  // what waits in its outbox.
  static bool settle(RecordStore& store) {
    auto* lab = dynamic_cast<LabRecordStore*>(&store);
    for (int round = 0; lab != nullptr && round < 10; ++round) {
      if (lab->sendNow(std::chrono::seconds(30))) return true;
    }
    return lab == nullptr;
  }

  static std::unique_ptr<test::PostgresServer> server;
  StoreKind kind_ = StoreKind::Sqlite;
  test::TempDir dir;
};

std::unique_ptr<test::PostgresServer> EveryStore::server;

// ---- records of every shape, in and out whole ----

struct Shape {
  const char* name;
  CalibrationRecord (*make)();
};

// Every field set, each to a value of its own, so that a field read into another's
// place shows.
CalibrationRecord everyField() {
  CalibrationRecord r = test::sampleRecord(221, 4);
  r.rows[0].point1Raw = 0.1 + 0.2;  // 0.30000000000000004: every digit counts
  r.asLeftCalibration.assign(48, 0x5A);
  return r;
}

CalibrationRecord failed() { return test::sampleRecord(243, 3); }

CalibrationRecord restore() {
  CalibrationRecord r = test::sampleRecord(221, 6);
  r.kind = RecordKind::Restore;
  r.restoredFrom = 12;
  r.restoredFromUuid = newRecordUuid();
  return r;
}

// Only what every record has: no rows, no images, empty texts.
CalibrationRecord bare() {
  CalibrationRecord r;
  r.utcTime = "2024-01-02T03:04:05Z";
  r.sensorId = 7;
  return r;
}

// Texts that quoting, escaping or a character set could spoil, and doubles at the
// ends of their range.
CalibrationRecord edges() {
  CalibrationRecord r = test::sampleRecord(221, 8);
  r.operatorName = "J\xC3\xBCrgen O'Brien";
  r.datasheetName = "Probe \"A\"; DROP TABLE records; --\\x00";
  r.options = "High EEPROM Cal=1\nUnit=\xC2\xB0" "C\r\nNote=a,b";
  r.result = "";
  r.rows[0].point1Raw = std::numeric_limits<double>::max();
  r.rows[0].point1Data = -std::numeric_limits<double>::min();
  r.rows[1].point2Raw = -1e-300;
  r.rows[1].constants = {std::numeric_limits<double>::lowest(), 1.0 / 3, -0.0, 123456789.123456789};
  r.rows[2].measurementId = std::numeric_limits<int>::max();
  r.rows[2].name = "\xE2\x84\x83 \xF0\x9F\x99\x82";
  r.interfaceProduct = -1;
  r.asFoundImage = {0x00, 0x5C, 0x27, 0x22, 0xFF};
  return r;
}

const Shape kShapes[] = {{"EveryField", everyField}, {"Failed", failed}, {"Restore", restore},
                         {"Bare", bare},             {"Edges", edges}};

void expectListed(RecordStore& store, const CalibrationRecord& r) {
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(r.sensorId, list)) << store.problem();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].id, r.id);
  EXPECT_EQ(list[0].uuid, r.uuid);
  EXPECT_EQ(list[0].utcTime, r.utcTime);
  EXPECT_EQ(list[0].sensorId, r.sensorId);
  EXPECT_EQ(list[0].datasheetName, r.datasheetName);
  EXPECT_EQ(list[0].success, r.success);
  EXPECT_EQ(list[0].result, r.result);
  EXPECT_FALSE(list[0].waiting);
}

class StoreConformance : public EveryStore, public ::testing::WithParamInterface<StoreCase> {
 protected:
  void SetUp() override { startWith(GetParam().kind); }
};

// Every shape into one store (a server takes seconds to make), each for a sensor of
// its own so that the sensor's list holds it alone; then read from the store that
// took it and from one opened afresh.
TEST_P(StoreConformance, WhatGoesInComesOutWhole) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    CalibrationRecord in = shape.make();
    in.sensorId = 300 + static_cast<int>(&shape - kShapes);
    {
      auto store = open();
      ASSERT_TRUE(store->add(in)) << store->problem();
      EXPECT_GT(in.id, 0);
      CalibrationRecord out;
      ASSERT_TRUE(store->load(in.uuid, out)) << store->problem();
      test::expectSameRecord(in, out);
      ASSERT_TRUE(settle(*store));
    }
    auto reopened = open();
    CalibrationRecord out;
    ASSERT_TRUE(reopened->load(in.uuid, out)) << reopened->problem();
    test::expectSameRecord(in, out);
    expectListed(*reopened, out);
  }
}

// ---- what a store does with several records ----

TEST_P(StoreConformance, ListIsNewestFirstAndPerSensor) {
  auto store = open();
  std::vector<std::string> added;
  for (int i = 0; i < 5; ++i) {
    CalibrationRecord r = test::sampleRecord(i % 2 == 0 ? 221 : 243, i);
    ASSERT_TRUE(store->add(r)) << store->problem();
    added.push_back(r.uuid);
  }
  ASSERT_TRUE(settle(*store));
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store->list(0, list)) << store->problem();
  ASSERT_EQ(list.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(list[i].uuid, added[4 - i]) << i;
  EXPECT_GT(list.front().id, list.back().id);
  ASSERT_TRUE(store->list(243, list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].uuid, added[3]);
  EXPECT_EQ(list[1].uuid, added[1]);
  EXPECT_FALSE(list[1].success);
}

// Sent again after a lost reply, or by a second station: one record, with its rows once.
TEST_P(StoreConformance, RecordKeptTwiceIsKeptOnce) {
  auto store = open();
  CalibrationRecord first = test::sampleRecord(221, 1);
  first.uuid.clear();
  ASSERT_TRUE(store->add(first)) << store->problem();
  EXPECT_EQ(first.uuid.size(), 36u);
  CalibrationRecord again = first;
  again.id = 0;
  ASSERT_TRUE(store->add(again)) << store->problem();
  // The lab store answers with the outbox's number while a record waits there.
  if (kind_ != StoreKind::Lab) {
    EXPECT_EQ(again.id, first.id);
  }
  ASSERT_TRUE(settle(*store));
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store->list(0, list)) << store->problem();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].uuid, first.uuid);
  CalibrationRecord out;
  ASSERT_TRUE(store->load(first.uuid, out)) << store->problem();
  EXPECT_EQ(out.id, list[0].id);
  EXPECT_EQ(out.rows.size(), 3u);
}

TEST_P(StoreConformance, UnknownRecordIsNotThere) {
  auto store = open();
  CalibrationRecord kept = test::sampleRecord(221, 1);
  ASSERT_TRUE(store->add(kept)) << store->problem();
  CalibrationRecord out;
  EXPECT_FALSE(store->load("0e1f0000-0000-4000-8000-000000000000", out));
  EXPECT_EQ(store->problem(), "there is no record 0e1f0000-0000-4000-8000-000000000000");
}

INSTANTIATE_TEST_SUITE_P(Records, StoreConformance, ::testing::ValuesIn(kStores),
                         [](const ::testing::TestParamInfo<StoreCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell
