// What every record store promises, checked the same way on each: the station's
// SQLite file, the lab's PostgreSQL server (a real one the test starts), and the
// lab store with its outbox in front of that server. Records of every shape go in
// and come out whole, from the same store and from one opened afresh; lists are
// newest first and per sensor or unit; a record kept twice is kept once; results
// are appended; bad numbers are refused; the register of standards.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <memory>

#include "records/record_hash.h"
#include "records/lab_record_store.h"
#include "records/postgres_record_store.h"
#include "records/postgres_server.h"
#include "records/sample_record.h"
#include "records/sqlite_record_store.h"
#include "records/trail_rows.h"
#include "support/signed_record.h"
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
    ASSERT_TRUE(server->sql("DROP TABLE IF EXISTS record_results, record_standards, reference_standards, record_rows,"
                            " records, schema_version, signatures, audit_trail"))
        << server->problem();
  }

  // A query's one number, where the store keeps its records for good (the lab
  // store's: the server); -1 when it fails.
  long long count(const std::string& query) const {
    long long value = -1;
    if (kind_ == StoreKind::Sqlite) {
      sqlite3* db = nullptr;
      sqlite3_stmt* statement = nullptr;
      if (sqlite3_open(dir.file("records.sqlite").c_str(), &db) == SQLITE_OK &&
          sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
          sqlite3_step(statement) == SQLITE_ROW) {
        value = sqlite3_column_int64(statement, 0);
      }
      sqlite3_finalize(statement);
      sqlite3_close(db);
      return value;
    }
    PGconn* c = PQconnectdb(server->url().c_str());
    PGresult* r = PQexec(c, query.c_str());
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) value = std::stoll(PQgetvalue(r, 0, 0));
    PQclear(r);
    PQfinish(c);
    return value;
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

  // The whole chain where the store keeps it for good.
  signing::ChainCheck verify() const {
    if (kind_ == StoreKind::Sqlite) return SqliteRecordStore(dir.file("records.sqlite")).verify();
    return PostgresRecordStore(server->url()).verify();
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
  // A person whose name the user database may change later, on a clock that was off.
  r.operatorUid = 4242;
  r.operatorFullName = "Jürgen Müller-Łukasz";
  r.clockSynchronised = 0;
  r.clockMaxErrorUs = 16000000;
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

CalibrationRecord lab() { return test::labRecord(221, 5); }

// A later version of a lab's record: what it amends, its revision and why.
CalibrationRecord amendment() {
  CalibrationRecord r = test::labRecord(221, 6);
  r.amendsUuid = newRecordUuid();
  r.revision = 2;
  r.amendmentReason = "a check taken after approval; \"typo\" in the unit";
  return r;
}

const Shape kShapes[] = {{"EveryField", everyField}, {"Failed", failed}, {"Restore", restore}, {"Bare", bare},
                         {"Edges", edges},           {"Lab", lab},       {"Amendment", amendment}};

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
  EXPECT_EQ(list[0].unit, r.unit);
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
    // Every store gives the same content hash for what it holds of the record.
    EXPECT_EQ(recordHash(out), recordHash(in));
  }
  // Conditions not given are NULL, not a number a reader could take for one (the
  // two lab shapes give them).
  EXPECT_EQ(count("SELECT count(*) FROM records WHERE ambient_temperature IS NULL AND relative_humidity IS NULL"),
            static_cast<long long>(std::size(kShapes)) - 2);
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

// The first number given is the one kept: a second print, or another station's,
// is told that number and changes nothing.
TEST_P(StoreConformance, CertificateNumberIsGivenOnce) {
  auto store = open();
  CalibrationRecord in = test::labRecord(221, 1);
  ASSERT_TRUE(store->add(in)) << store->problem();
  ASSERT_TRUE(settle(*store));
  std::string number = "KLN-00001";
  ASSERT_TRUE(store->keepCertificateNumber(in.uuid, number)) << store->problem();
  EXPECT_EQ(number, "KLN-00001");
  std::string again = "OTHER-7";
  ASSERT_TRUE(open()->keepCertificateNumber(in.uuid, again)) << store->problem();
  EXPECT_EQ(again, "KLN-00001");
  CalibrationRecord out;
  ASSERT_TRUE(open()->load(in.uuid, out));
  in.certificateNumber = "KLN-00001";
  test::expectSameRecord(in, out);
  std::string none = "X-1";
  EXPECT_FALSE(store->keepCertificateNumber("0e1f0000-0000-4000-8000-000000000000", none));
  EXPECT_NE(store->problem().find("there is no record 0e1f0000-0000-4000-8000-000000000000"), std::string::npos)
      << store->problem();
}

// ---- a lab's record: results appended, units, standards, bad numbers ----

TEST_P(StoreConformance, ResultsAreAppendedAfterThoseKept) {
  CalibrationRecord in = test::labRecord(221, 1);
  auto store = open();
  ASSERT_TRUE(store->add(in)) << store->problem();
  const std::vector<RecordResult> first = {test::sampleResult(1, true, 26.02), test::sampleResult(2, true, 27.5)};
  ASSERT_TRUE(store->appendResults(in.uuid, first)) << store->problem();
  ASSERT_TRUE(settle(*store));
  // The lab store's record is in the lab's store by now: these go there.
  ASSERT_TRUE(store->appendResults(in.uuid, {test::sampleResult(0, true, 25.0)})) << store->problem();
  in.results.insert(in.results.end(), first.begin(), first.end());
  in.results.push_back(test::sampleResult(0, true, 25.0));
  CalibrationRecord out;
  ASSERT_TRUE(open()->load(in.uuid, out));
  test::expectSameRecord(in, out);

  EXPECT_FALSE(store->appendResults("0e1f0000-0000-4000-8000-000000000000", first));
  EXPECT_EQ(store->problem(), "there is no record 0e1f0000-0000-4000-8000-000000000000");
}

// A copy sent again with results appended since (a waiting record amended while on
// its way) gives the store those it lacks; an older copy takes none away.
TEST_P(StoreConformance, RecordKeptAgainWithMoreResultsTakesThem) {
  CalibrationRecord older = test::labRecord(221, 1);
  auto store = open();
  ASSERT_TRUE(store->add(older)) << store->problem();
  ASSERT_TRUE(settle(*store));
  CalibrationRecord newer = older;
  newer.results.push_back(test::sampleResult(2, true, 27.0));
  newer.result = "changed, and not taken";
  for (CalibrationRecord* copy : {&newer, &older}) {
    ASSERT_TRUE(store->add(*copy)) << store->problem();
    ASSERT_TRUE(settle(*store));
  }
  CalibrationRecord out;
  ASSERT_TRUE(open()->load(older.uuid, out));
  newer.result = older.result;
  newer.id = out.id;
  test::expectSameRecord(newer, out);
}

// A number no store keeps the same is refused with the field named, and nothing of
// the record is kept; appended, the record stays as it was.
struct BadNumber {
  const char* name;
  void (*spoil)(RecordResult&);
  const char* problem;
};

const BadNumber kBadNumbers[] = {
    {"Reading", [](RecordResult& r) { r.result.reading = std::nan(""); },
     "The record's result 2 (row 2, as found) has a reading that is not a finite number (nan)"},
    {"Limit", [](RecordResult& r) { r.result.limit = -HUGE_VAL; },
     "The record's result 2 (row 2, as found) has a limit that is not a finite number (-inf)"},
    {"Divisor", [](RecordResult& r) { r.result.uncertainty.contributions[1].divisor = HUGE_VAL; },
     "The record's result 2 (row 2, as found) has a divisor of contribution \"repeatability\" that is not a finite"
     " number (inf)"},
    {"Correlation", [](RecordResult& r) { r.result.uncertainty.correlations = {{0, 1, std::nan("")}}; },
     "The record's result 2 (row 2, as found) has a coefficient of correlation 1 that is not a finite number (nan)"},
};

class BadNumbers : public EveryStore, public ::testing::WithParamInterface<StoreCase> {
 protected:
  void SetUp() override { startWith(GetParam().kind); }
};

TEST_P(BadNumbers, AreRefusedNamingTheField) {
  auto store = open();
  CalibrationRecord kept = test::labRecord(221, 2);
  ASSERT_TRUE(store->add(kept)) << store->problem();
  for (const BadNumber& bad : kBadNumbers) {
    SCOPED_TRACE(bad.name);
    CalibrationRecord in = test::labRecord(243, 1);
    bad.spoil(in.results[1]);
    EXPECT_FALSE(store->add(in));
    EXPECT_EQ(store->problem(), bad.problem);
    std::vector<RecordResult> appended = {test::sampleResult(0, true, 1.0), in.results[1]};
    EXPECT_FALSE(store->appendResults(kept.uuid, appended));
    std::string atItsPlace = bad.problem;  // after the record's three
    atItsPlace.replace(atItsPlace.find("result 2"), 8, "result 5");
    EXPECT_EQ(store->problem(), atItsPlace);
  }
  CalibrationRecord hot = test::labRecord(243, 2);
  hot.ambientTemperature = HUGE_VAL;
  EXPECT_FALSE(store->add(hot));
  EXPECT_EQ(store->problem(), "The record's ambient temperature is not a finite number (inf)");
  ASSERT_TRUE(settle(*store));
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store->list(243, list)) << store->problem();
  EXPECT_TRUE(list.empty());
  CalibrationRecord out;
  ASSERT_TRUE(store->load(kept.uuid, out));
  test::expectSameRecord(kept, out);
  EXPECT_EQ(count("SELECT count(*) FROM record_results"), 3);
}

INSTANTIATE_TEST_SUITE_P(Records, BadNumbers, ::testing::ValuesIn(kStores),
                         [](const ::testing::TestParamInfo<StoreCase>& info) { return std::string(info.param.name); });

TEST_P(StoreConformance, UnitsAreListedAndTheirLastCalibrationFound) {
  auto store = open();
  struct Kept {
    int sensorId;
    const char* unit;
    RecordKind kind;
    bool success;
    const char* time;
  };
  const Kept kept[] = {
      {221, "U1", RecordKind::Calibration, true, "2026-01-01T10:00:00Z"},
      {221, "U1", RecordKind::Calibration, true, "2026-03-01T10:00:00Z"},
      {243, "U1", RecordKind::Calibration, true, "2026-02-01T10:00:00Z"},
      {221, "U2", RecordKind::Calibration, true, "2026-04-01T10:00:00Z"},
      {221, "U1", RecordKind::Calibration, false, "2026-05-01T10:00:00Z"},  // failed: not calibrated
      {221, "U1", RecordKind::Restore, true, "2026-06-01T10:00:00Z"},       // a restore is no calibration
      {221, "", RecordKind::Calibration, true, "2026-07-01T10:00:00Z"},     // no unit given
  };
  std::vector<std::string> u1;
  for (const Kept& k : kept) {
    CalibrationRecord r = test::sampleRecord(k.sensorId, 1);
    r.unit = k.unit;
    r.kind = k.kind;
    r.success = k.success;
    r.utcTime = k.time;
    // Whose it is, the address telling which record named it.
    r.customer = r.unit == "U2" ? "Brook" : "Acme";
    r.customerAddress = std::string("as of ") + k.time;
    r.customerEmail = r.customer + "@example.org";
    ASSERT_TRUE(store->add(r)) << store->problem();
    if (r.unit == "U1") u1.insert(u1.begin(), r.uuid);
  }
  ASSERT_TRUE(settle(*store));
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store->listUnit("U1", list)) << store->problem();
  ASSERT_EQ(list.size(), u1.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].uuid, u1[i]) << i;  // newest first
    EXPECT_EQ(list[i].unit, "U1");
  }
  ASSERT_TRUE(store->listUnit("U3", list)) << store->problem();
  EXPECT_TRUE(list.empty());

  std::vector<UnitLastCalibrated> units;
  ASSERT_TRUE(store->lastCalibrations(units)) << store->problem();
  ASSERT_EQ(units.size(), 3u);
  const UnitLastCalibrated expected[] = {
      {221, "U1", "2026-03-01T10:00:00Z"}, {221, "U2", "2026-04-01T10:00:00Z"}, {243, "U1", "2026-02-01T10:00:00Z"}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(units[i].sensorId, expected[i].sensorId) << i;
    EXPECT_EQ(units[i].unit, expected[i].unit) << i;
    EXPECT_EQ(units[i].utcTime, expected[i].utcTime) << i;
  }
  // Each customer as their newest successful calibration names them.
  std::vector<CustomerContact> customers;
  ASSERT_TRUE(store->customers(customers)) << store->problem();
  const std::vector<CustomerContact> served = {{"Acme", "as of 2026-07-01T10:00:00Z", "Acme@example.org"},
                                               {"Brook", "as of 2026-04-01T10:00:00Z", "Brook@example.org"}};
  EXPECT_EQ(customers, served);
}

TEST_P(StoreConformance, StandardsRegisterKeepsEachNameOnce) {
  auto store = open();
  metrology::StandardEntry prt = test::sampleStandard("PRT 7", 0.02);
  const metrology::StandardEntry bath = test::sampleStandard("Bath 3", 0.005);
  ASSERT_TRUE(store->saveStandard(prt)) << store->problem();
  ASSERT_TRUE(store->saveStandard(bath)) << store->problem();
  prt.dueOn = "2028-02-29";
  prt.uncertainty.b = 0.1 + 0.2;
  prt.retiredOn = "2027-06-30";  // kept, out of use from that day
  ASSERT_TRUE(store->saveStandard(prt)) << store->problem();

  metrology::StandardEntry refused = test::sampleStandard("Gauge", 0.1);
  // 1900 is no leap year (a century, not one of 400); nor is 2027.
  for (const char* noDate : {"2027-02-29", "1900-02-29"}) {
    refused.dueOn = noDate;
    EXPECT_FALSE(store->saveStandard(refused));
    EXPECT_EQ(store->problem(), "Reference standard Gauge: due on \"" + std::string(noDate) + "\" is no date (YYYY-MM-DD)");
  }
  refused.dueOn = "2027-01-14";
  refused.uncertainty.degreesOfFreedom = 0.5;
  EXPECT_FALSE(store->saveStandard(refused));
  EXPECT_EQ(store->problem(), "Reference standard Gauge: the degrees of freedom of U are not 1 or more");
  refused.uncertainty.degreesOfFreedom = std::numeric_limits<double>::infinity();
  refused.retiredOn = "soon";
  EXPECT_FALSE(store->saveStandard(refused));
  EXPECT_EQ(store->problem(), "Reference standard Gauge: retired on \"soon\" is no date (YYYY-MM-DD)");

  std::vector<metrology::StandardEntry> listed;
  ASSERT_TRUE(open()->listStandards(listed));
  ASSERT_EQ(listed.size(), 2u);
  test::expectSameStandard(bath, listed[0]);  // by name
  test::expectSameStandard(prt, listed[1]);
}

// ---- signatures and the audit trail ----

std::vector<std::string> events(const std::vector<signing::AuditEntry>& entries) {
  std::vector<std::string> out;
  for (const signing::AuditEntry& e : entries) out.push_back(e.event);
  return out;
}

// Signed while it waits (the lab store's outbox carries the signature) and once
// it is kept for good; each meaning once, over the record as it is; the first
// signature seals it, and a later check's readings go into the trail. The chain
// holds all of it.
TEST_P(StoreConformance, SignaturesFollowTheRecordAndSealIt) {
  using signing::Meaning;
  auto store = open();
  CalibrationRecord in = test::labRecord(221, 1);
  ASSERT_TRUE(store->add(in)) << store->problem();
  const std::string uuid = in.uuid;
  ASSERT_TRUE(store->load(uuid, in));  // as kept, which the hash is over
  const signing::Signature performed = test::signatureBy(in, Meaning::Performed, 1001, "aroth", "Ana Roth", "op");
  ASSERT_TRUE(store->addSignature(performed)) << store->problem();
  ASSERT_TRUE(settle(*store));

  signing::Signature stale = test::signatureBy(in, Meaning::Reviewed, 1002, "cstein", "Carl Stein", "rev");
  stale.recordHash = std::string(64, 'a');
  EXPECT_FALSE(store->addSignature(stale));
  EXPECT_NE(store->problem().find("changed since it was shown for signing"), std::string::npos) << store->problem();
  // A failed signing counts toward a lock until the person's next good signing:
  // a record signed, or a change they approved.
  std::vector<std::string> failures;
  ASSERT_TRUE(store->noteFailedSigning("cstein", 1002, uuid, "the password is not right")) << store->problem();
  ASSERT_TRUE(store->noteFailedSigning("dlang", 1004, "", "the password is not right")) << store->problem();
  ASSERT_TRUE(store->signingFailures("cstein", 1002, failures)) << store->problem();
  EXPECT_EQ(failures.size(), 1u);
  const signing::Signature reviewed = test::signatureBy(in, Meaning::Reviewed, 1002, "cstein", "Carl Stein", "rev");
  ASSERT_TRUE(store->addSignature(reviewed)) << store->problem();
  ASSERT_TRUE(store->signingFailures("cstein", 1002, failures));
  EXPECT_TRUE(failures.empty());
  ASSERT_TRUE(open()->signingFailures("dlang", 1004, failures));
  EXPECT_EQ(failures.size(), 1u);
  ASSERT_TRUE(store->noteStationEvent("laboratory settings changed", "",
                                      "four-eyes: \"yes\" -> \"no\"\napproved by signer dlang (UID 1004), Dora Lang, at "
                                      "2026-03-03T10:00:00Z"));
  ASSERT_TRUE(store->signingFailures("dlang", 1004, failures));
  EXPECT_TRUE(failures.empty());
  const signing::Signature again = test::signatureBy(in, Meaning::Reviewed, 1004, "dlang", "Dora Lang", "rev");
  EXPECT_FALSE(open()->addSignature(again));
  EXPECT_EQ(store->problem().empty(), false);

  std::vector<signing::Signature> given;
  ASSERT_TRUE(open()->signatures(in.uuid, given)) << store->problem();
  ASSERT_EQ(given.size(), 2u);
  EXPECT_EQ(signing::signatureHash(given[0]), signing::signatureHash(performed));
  EXPECT_EQ(signing::signatureHash(given[1]), signing::signatureHash(reviewed));
  CalibrationRecord out;
  ASSERT_TRUE(open()->load(in.uuid, out));
  EXPECT_EQ(out.signatures.size(), 2u);

  EXPECT_FALSE(store->appendResults(in.uuid, {test::sampleResult(0, true, 25.0)}));
  EXPECT_EQ(store->problem(), kSealedRefusal);
  std::string number = "KLN-00002";
  ASSERT_TRUE(store->keepCertificateNumber(in.uuid, number)) << store->problem();
  std::vector<signing::AuditEntry> trail;
  ASSERT_TRUE(open()->recordTrail(in.uuid, trail)) << store->problem();
  // The failed signing is in the record's history, the one about no record is not.
  const std::vector<std::string> expected = {"record made",     "record signed",   signing::kSigningFailedEvent,
                                             "record signed",   "check not added", "certificate numbered"};
  EXPECT_EQ(events(trail), expected);
  std::string broken;
  EXPECT_TRUE(open()->checkRecord(in.uuid, broken)) << broken;
  EXPECT_EQ(store->chainHead(), trail.back().entryHash);
  const signing::ChainCheck check = verify();
  EXPECT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(check.records, 1u);
  EXPECT_EQ(check.head, trail.back().entryHash);
}

INSTANTIATE_TEST_SUITE_P(Records, StoreConformance, ::testing::ValuesIn(kStores),
                         [](const ::testing::TestParamInfo<StoreCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell
