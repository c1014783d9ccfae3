#include "calibration/settings_store.h"

#include <fstream>

#include <gtest/gtest.h>

#include "platform/qt/qsettings_registry.h"
#include "support/sheet_builder.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

// A sensor 221 with two calibrated measurements (10, 11) and two others (20, 21)
// that Set or the saved "Cal ID"s can add as extra rows.
class Settings : public ::testing::Test {
 protected:
  Settings() : registry(std::make_unique<QSettingsRegistry>(dir.file("Trimwell.ini"))) {
    sheet.sensorId = 221;
    test::addRaw(sheet, 1, kRawLong, 4);
    test::addDerived(sheet, 10, kCalibrated, {1}, 0, {0, 0, 1, 1});
    test::addDerived(sheet, 11, kCalibrated, {1}, 0, {0, 0, 1, 1});
    test::addDerived(sheet, 20, kOperation, {1}, 7, {1, 0});
    test::addDerived(sheet, 21, kOperation, {1}, 7, {2, 0});
    accept();
  }
  // What acceptance does: the two calibrated rows, then the load.
  void accept() {
    session.currentDatasheet = &sheet;
    session.converters.Build(&sheet);
    session.fillRow(0, sheet.findMeasurement(10), false);
    session.fillRow(1, sheet.findMeasurement(11), false);
    session.rowCount = 2;
  }
  SettingsStore store() { return SettingsStore(*registry, session); }
  void reopen() { registry = std::make_unique<QSettingsRegistry>(dir.file("Trimwell.ini")); }

  test::TempDir dir;
  std::unique_ptr<Registry> registry;
  Datasheet sheet;
  CalibrationSession session;
};

TEST_F(Settings, RoundTripThroughTheIniFile) {
  session.options.postCalInit = 1;
  session.options.doFactoryInit = 5;
  session.options.highEepromCal = 0;
  session.rows[1].typedPoint1DataText = "12.5";
  session.rows[1].disable = 1;
  session.rows[1].manualPoint2 = 1;
  session.rows[1].typedPoint2RawText = "0x20000";
  store().SaveSettings();
  reopen();

  session.options = {};
  session.rows[1] = {};
  accept();
  store().LoadSettings();
  EXPECT_EQ(session.options.postCalInit, 1u);
  EXPECT_EQ(session.options.doFactoryInit, 5u);
  EXPECT_EQ(session.step, kWaitFactoryInit);
  EXPECT_EQ(session.options.highEepromCal, 0u);
  EXPECT_EQ(session.rows[1].typedPoint1DataText, "12.5");
  EXPECT_TRUE(session.rows[1].disable);
  EXPECT_TRUE(session.rows[1].manualPoint2);
  EXPECT_EQ(session.rows[1].typedPoint2RawText, "0x20000");
  // A 5 is written back as 5.
  store().SaveSettings();
  std::uint32_t stored = 0;
  ASSERT_TRUE(registry->queryDword("Software\\Korvane\\Trimwell\\sensor221", "Do Factory Init", stored));
  EXPECT_EQ(stored, 5u);
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The value names are what earlier stations wrote and read: a name changed in both
// saving and loading would still pass a round trip, but lose every stored setting.
TEST_F(Settings, ValueNamesAsTheIniFileHasThem) {
  session.options = {1, 0, 1, 1, 1, 1, 1, 0, 0};
  session.rows[0].typedPoint1DataText = "7";
  session.rows[0].typedPoint2DataText = "8";
  session.rows[0].typedPoint1RawText = "0x1";
  session.rows[0].typedPoint2RawText = "0x2";
  session.rows[0].manualPoint1 = 1;
  store().SaveSettings();
  reopen();
  const std::string text = fileText(dir.file("Trimwell.ini"));
  EXPECT_EQ(text.rfind("[Software]\n", 0), 0u);
  for (const char* line : {"Auto%20Gain%201%2010%20100=1", "Cal%20ID%200=10", "Cal%20ID%201=11",
                           "Calibrate%20Simultaneously=1", "Do%20Data%20Averaging=1", "Do%20Factory%20Init=1",
                           "Multiple%20Manual%20Modes=1", "Num%20Cals=2", "Post%20Cal%20Init=1",
                           "Write%20EEPROM%20Cal=0", "meas10\\Enter%20Pt1=1", "meas10\\Enter%20Pt2=0",
                           "meas10\\Extra%20Cal=0", "meas10\\data1=7", "meas10\\data2=8", "meas10\\disable=0",
                           "meas10\\raw1=0x1", "meas10\\raw2=0x2"}) {
    const std::string wanted = std::string("\nKorvane\\Trimwell\\sensor221\\") + line + "\n";
    EXPECT_NE(text.find(wanted), std::string::npos) << line << " in\n" << text;
  }
}

// A value the file lacks reads as 0 (an option off, a row taken part), whatever
// the others say.
TEST_F(Settings, ValuesMissingFromTheIniFileReadAsZero) {
  {
    std::ofstream ini(dir.file("Trimwell.ini"));
    ini << "[Software]\nKorvane\\Trimwell\\sensor221\\Num%20Cals=2\n"
        << "Korvane\\Trimwell\\sensor221\\meas10\\data1=3\n";
  }
  reopen();
  session.options = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  session.rows[0].disable = 1;
  session.rows[0].manualPoint1 = 1;
  store().LoadSettings();
  EXPECT_EQ(session.rows[0].typedPoint1DataText, "3");  // the file was read
  const CalibrationOptions& o = session.options;
  for (std::uint32_t value : {o.doFactoryInit, o.highEepromCal, o.simultaneousCal, o.multipleManualModes,
                              o.postCalInit, o.autoGainSet, o.dataAveraging}) {
    EXPECT_EQ(value, 0u);
  }
  EXPECT_EQ(session.rows[0].disable, 0);
  EXPECT_EQ(session.rows[0].manualPoint1, 0);
  EXPECT_EQ(session.rows[0].manualPoint2, 0);
}

TEST_F(Settings, ExtraRowsComeBackWithTheirIds) {
  session.fillRow(2, sheet.findMeasurement(21), true);
  session.fillRow(3, sheet.findMeasurement(20), true);
  session.rowCount = 4;
  store().SaveSettings();
  reopen();
  accept();
  store().LoadSettings();
  EXPECT_EQ(session.rowCount, 4);
  EXPECT_EQ(session.otherIdsText, "21,20");
  EXPECT_EQ(session.rows[2].measurement->id, 21);
  EXPECT_TRUE(session.rows[3].extraRow);
}

TEST_F(Settings, NumCalsAboveSixAddsNothingAndEmptiesTheList) {
  const std::string key = SettingsStore::sensorKey(221);
  ASSERT_TRUE(registry->createKey(key));
  registry->setDword(key, "Num Cals", 7);
  registry->setDword(key, "Cal ID 2", 20);
  session.otherIdsText = "stale";
  store().LoadSettings();
  EXPECT_EQ(session.rowCount, 2);
  EXPECT_EQ(session.otherIdsText, "");
}

TEST_F(Settings, MissingMeasurementIdIsSkipped) {
  const std::string key = SettingsStore::sensorKey(221);
  ASSERT_TRUE(registry->createKey(key));
  registry->setDword(key, "Num Cals", 4);
  registry->setDword(key, "Cal ID 2", 99);
  registry->setDword(key, "Cal ID 3", 21);
  store().LoadSettings();
  EXPECT_EQ(session.rowCount, 3);
  EXPECT_EQ(session.rows[2].measurement->id, 21);
  EXPECT_EQ(session.otherIdsText, "21");
}

// A model with no saved settings keeps the options, but nothing typed or ticked for
// the rows of the model before.
TEST_F(Settings, NewModelKeepsTheOptionsAndStartsItsRowsClean) {
  session.options.dataAveraging = 1;
  session.rows[0].typedPoint1DataText = "7";
  session.rows[1].typedPoint2DataText = "8";
  session.rows[0].disable = 1;
  session.rows[1].manualPoint1 = 1;
  session.rows[1].typedPoint1RawText = "0x10";
  sheet.sensorId = 999;
  store().LoadSettings();
  EXPECT_EQ(session.options.dataAveraging, 1u);
  EXPECT_EQ(session.rows[0].typedPoint1DataText, "");
  EXPECT_EQ(session.rows[1].typedPoint2DataText, "");
  EXPECT_EQ(session.rows[0].disable, 0);
  EXPECT_EQ(session.rows[1].manualPoint1, 0);
  EXPECT_EQ(session.rows[1].typedPoint1RawText, "");
}

TEST_F(Settings, RowSettingsFollowTheMeasurement) {
  session.rows[0].typedPoint2DataText = "row0";
  session.rows[1].typedPoint2DataText = "row1";
  store().SaveSettings();
  // The same measurements now in the other order.
  session.fillRow(0, sheet.findMeasurement(11), false);
  session.fillRow(1, sheet.findMeasurement(10), false);
  store().LoadSettings();
  EXPECT_EQ(session.rows[0].typedPoint2DataText, "row1");
  EXPECT_EQ(session.rows[1].typedPoint2DataText, "row0");
}

TEST_F(Settings, NoRowsNoSettings) {
  session.rowCount = 0;
  store().SaveSettings();
  EXPECT_FALSE(registry->openKey(SettingsStore::sensorKey(221)));
}

TEST_F(Settings, StoreFailuresAreSilent) {
  MemoryRegistry failing;
  failing.failAll = true;
  SettingsStore s(failing, session);
  s.SaveSettings();
  session.options.showRaw = 1;
  session.options.autoGainSet = 1;
  s.LoadSettings();
  EXPECT_EQ(session.options.autoGainSet, 1u);  // a key that cannot be opened changes nothing
  EXPECT_EQ(session.rowCount, 2);
}

}  // namespace
}  // namespace trimwell
