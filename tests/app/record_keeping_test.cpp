#include "app/record_keeping.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "app/calibration_dialog.h"
#include "app/control_ids.h"
#include "app/dialog_layout.h"
#include "platform/clock_state.h"
#include "platform/memory_controls.h"
#include "support/sim_fixture.h"
#include "support/sample_paths.h"
#include "support/drop_triggers.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

// Both rows by typed points: row 0's Calibrate, then row 1's, which writes.
void calibrateBothRows(MemoryControls& controls) {
  controls.click(ids::kManual1);
  controls.click(ids::kManual2);
  for (int row = 0; row < 2; ++row) {
    controls.type(ids::kPt1Raw + row, "10");
    controls.type(ids::kPt2Raw + row, "20");
    controls.type(ids::kPt1Data + row, "0");
    controls.type(ids::kPt2Data + row, "50");
    controls.click(ids::kPoint1 + row);
  }
}

// A station keeping its records in a real SQLite file, with a 221 sensor in it.
class KeptRecords : public test::SimFixture {
 protected:
  KeptRecords() : controls(dialogControls()), dialog(controls, registry, paths()) {
    dialog.OnInitDialog();
    sensor = &plugSensor(plugInterface(0), "thermal_probe_221.sds");
    dialog.OnTimer();
  }
  DialogPaths paths() const { return test::samplePaths(dir.file("records.sqlite")); }
  void calibrate() { calibrateBothRows(controls); }
  // Runs SQL on the records file, as another program on it could.
  void execute(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("records.sqlite").c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  // A standard in the register for both rows' units, chosen for row 0.
  void chooseStandard(const metrology::StandardEntry& entry) {
    std::string problem;
    ASSERT_TRUE(dialog.labBench().addStandard(entry, problem)) << problem;
    ASSERT_TRUE(dialog.labBench().chooseStandard(0, entry.name, problem)) << problem;
    metrology::StandardEntry second = entry;
    second.name = "CB-1";
    second.identification += "-2";  // another instrument: one has one entry
    ASSERT_TRUE(dialog.labBench().addStandard(second, problem)) << problem;
    ASSERT_TRUE(dialog.labBench().chooseStandard(1, second.name, problem)) << problem;
  }
  // Damages one column of the record in the file, as a disk or a hand could (its
  // owner drops the triggers first); the database itself stays sound.
  void damage(const std::string& uuid, const char* column) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("records.sqlite").c_str(), &db), SQLITE_OK);
    test::dropTriggers(db);
    const std::string sql = std::string("UPDATE records SET ") + column + " = x'0102030405060708' WHERE uuid = ?";
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK);
    sqlite3_bind_text(statement, 1, uuid.c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_finalize(statement);
    sqlite3_close(db);
  }

  test::TempDir dir;
  MemoryRegistry registry;
  MemoryControls controls;
  CalibrationDialog dialog;
  sim::SimulatedSensor* sensor = nullptr;
};

TEST_F(KeptRecords, AsFoundStateComesBackFromTheFile) {
  const auto asFound = sensor->storedImage();
  calibrate();
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
  ASSERT_NE(sensor->storedImage(), asFound);
  ASSERT_TRUE(dialog.restoreRecord(dialog.recordKeeping().lastRecord(), true));
  EXPECT_EQ(sensor->storedImage(), asFound);
}

// A record whose as-found image was damaged in the file is not written back: the
// sensor would be left without a usable datasheet.
TEST_F(KeptRecords, DamagedStateInTheFileIsNotWrittenBack) {
  calibrate();
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
  const auto calibrated = sensor->storedImage();
  const std::string uuid = dialog.recordKeeping().lastRecord();
  damage(uuid, "as_found_image");
  EXPECT_FALSE(dialog.restoreRecord(uuid, true));
  ASSERT_FALSE(controls.messages.empty());
  EXPECT_EQ(controls.messages.back(),
            "Record 1's as-found datasheet image is damaged (it does not read as a datasheet of a sensor 221); "
            "nothing was written to the sensor");
  EXPECT_EQ(sensor->storedImage(), calibrated);
}

const metrology::StandardEntry kStandard{"TB-1", "SN-4411", "C-2026-118", "Kalibrierlabor-Nord", "2026-01-15",
                                         "2099-01-15", "temperature", "", {0.05, 0.0, 2.0}};

// A write whose record is not kept (the file refuses new records, as a full or
// locked disk would) is no one's last record: a check after it is refused, and
// the record before, of another unit, is left as it was.
TEST_F(KeptRecords, CheckAfterARecordNotKeptJoinsNoOtherRecord) {
  chooseStandard(kStandard);
  controls.type(ids::kUnit, "UNIT-A");
  calibrate();
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
  const std::string first = dialog.recordKeeping().lastRecord();
  ASSERT_FALSE(first.empty());
  execute("CREATE TRIGGER refuse_records BEFORE INSERT ON records BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  controls.type(ids::kUnit, "UNIT-B");
  for (int row = 0; row < 2; ++row) {
    controls.type(ids::kPt2Data + row, "60");
    controls.click(ids::kPoint1 + row);
  }
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
  EXPECT_NE(controls.text(ids::kResult).find("not recorded"), std::string::npos) << controls.text(ids::kResult);
  EXPECT_TRUE(dialog.recordKeeping().lastRecord().empty());
  controls.type(ids::kCheckValue, "20");
  std::string problem;
  EXPECT_FALSE(dialog.labBench().check(0, problem));
  EXPECT_EQ(problem, "The check was not taken: the record of the calibration it checks was not kept");
  CalibrationRecord kept;
  ASSERT_TRUE(dialog.recordKeeping().store()->load(first, kept));
  EXPECT_EQ(kept.unit, "UNIT-A");
  EXPECT_TRUE(std::none_of(kept.results.begin(), kept.results.end(), [](const auto& r) { return r.asLeft; }));
}

// A register entry another program wrote with a U no record can keep is refused
// where it is chosen, and again before a point when it was chosen before it went
// bad: the sensor is never written with a record that would be refused after it.
TEST_F(KeptRecords, RegisterEntryNoRecordCanKeepIsRefusedBeforeTheWrite) {
  chooseStandard(kStandard);
  execute("UPDATE reference_standards SET a = 9e999 WHERE name = 'TB-1'");
  const auto before = sensor->storedImage();
  calibrate();
  ASSERT_FALSE(controls.messages.empty());
  EXPECT_EQ(controls.messages.front(), "Reference standard TB-1: U's a is not a finite number of 0 or more");
  EXPECT_EQ(sensor->storedImage(), before);
  std::string problem;
  EXPECT_FALSE(dialog.labBench().chooseStandard(0, "TB-1", problem));
  EXPECT_EQ(problem, "Reference standard TB-1: U's a is not a finite number of 0 or more");
}

// A station whose lab store is away (nothing listens on its port): the record of a
// write waits on the station, and closing the station, after one round of trying
// to send it, says how many wait and how they go.
class LabStoreAway : public test::SimFixture {
 protected:
  static DialogPaths awayPaths(const test::TempDir& dir) {
    DialogPaths p = test::samplePaths("postgresql://trimwell@127.0.0.1:9/records?connect_timeout=2");
    p.recordsOutbox = dir.file("outbox.sqlite");
    return p;
  }
  LabStoreAway() : controls(dialogControls()), dialog(controls, registry, awayPaths(dir)) {
    dialog.OnInitDialog();
    plugSensor(plugInterface(0), "thermal_probe_221.sds");
    dialog.OnTimer();
  }
  test::TempDir dir;
  MemoryRegistry registry;
  MemoryControls controls;
  CalibrationDialog dialog;
};

TEST_F(LabStoreAway, ClosingSaysHowManyRecordsWait) {
  calibrateBothRows(controls);
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
  std::vector<std::pair<std::size_t, std::size_t>> told;
  dialog.sendingProgress = [&told](std::size_t waiting, std::size_t atStart) {
    told.emplace_back(waiting, atStart);
    return true;
  };
  dialog.OnDestroy();
  EXPECT_EQ(told, (std::vector<std::pair<std::size_t, std::size_t>>{{1, 1}}));
  ASSERT_EQ(controls.messages.size(), 1u);
  EXPECT_EQ(controls.messages.front(),
            "1 record waits on this station for the lab's record store. It is sent when the station next runs and "
            "the store answers, or with trimwell-records send-waiting.");
}

// The installed station warns once, at start, of a clock that is not synchronised;
// every record notes the clock's state and the person as the user database has
// them, whichever station made it.
struct ClockCase {
  const char* name;
  ClockState clock;
  bool warnOfClock;
  const char* warning;  // empty: none
};

class ClockAtStart : public test::SimFixture, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(ClockAtStart, WarnsOnceAndEveryRecordNotesIt) {
  const ClockStateScope clock(GetParam().clock);
  test::TempDir dir;
  MemoryRegistry registry;
  MemoryControls controls(dialogControls());
  DialogPaths paths = test::samplePaths(dir.file("records.sqlite"));
  paths.warnOfClock = GetParam().warnOfClock;
  CalibrationDialog dialog(controls, registry, paths);
  dialog.OnInitDialog();
  EXPECT_EQ(controls.messages, GetParam().warning[0] == '\0' ? std::vector<std::string>{}
                                                               : std::vector<std::string>{GetParam().warning});
  controls.messages.clear();
  plugSensor(plugInterface(0), "thermal_probe_221.sds");
  dialog.OnTimer();
  calibrateBothRows(controls);
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
  CalibrationRecord kept;
  ASSERT_TRUE(dialog.recordKeeping().store()->load(dialog.recordKeeping().lastRecord(), kept));
  EXPECT_EQ(kept.clockSynchronised, GetParam().clock.synchronised ? 1 : 0);
  EXPECT_EQ(kept.clockMaxErrorUs, GetParam().clock.maxErrorUs);
  EXPECT_EQ(kept.operatorUid, static_cast<long long>(geteuid()));
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, ClockAtStart,
    ::testing::Values(ClockCase{"off_installed", {false, 16000000}, true,
                                "Warning!  This computer's clock is not synchronised (its maximum error is 16 s): the "
                                "times of the records this station keeps may be off. Each record notes the clock's "
                                "state."},
                      ClockCase{"synchronised_installed", {true, 120000}, true, ""},
                      ClockCase{"off_simulated", {false, 16000000}, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell
