#include "app/record_keeping.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "app/calibration_dialog.h"
#include "app/control_ids.h"
#include "app/dialog_layout.h"
#include "platform/memory_controls.h"
#include "support/sim_fixture.h"
#include "support/sample_paths.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

// A station keeping its records in a real SQLite file, with a 221 sensor in it.
class KeptRecords : public test::SimFixture {
 protected:
  KeptRecords() : controls(dialogControls()), dialog(controls, registry, paths()) {
    dialog.OnInitDialog();
    sensor = &plugSensor(plugInterface(0), "thermal_probe_221.sds");
    dialog.OnTimer();
  }
  DialogPaths paths() const { return test::samplePaths(dir.file("records.sqlite")); }
  // Both rows by typed points: row 0's Calibrate, then row 1's, which writes.
  void calibrate() {
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
  // Damages one column of the record in the file, as a disk or a hand could; the
  // database itself stays sound.
  void damage(const std::string& uuid, const char* column) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("records.sqlite").c_str(), &db), SQLITE_OK);
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

}  // namespace
}  // namespace trimwell
