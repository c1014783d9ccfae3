#include "app/calibration_dialog.h"
#include "app/station_states.h"
#include "app/row_trend.h"

#include <cmath>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "app/dialog_layout.h"
#include "app/control_ids.h"
#include "calibration/typed_value.h"
#include "link/firmware_update.h"
#include "platform/memory_controls.h"
#include "support/sheet_builder.h"
#include "support/sample_paths.h"
#include "sim/station/simulated_station.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

class Dialog : public test::SimFixture {
 protected:
  Dialog() : controls(dialogControls()), dialog(controls, registry, paths()) { dialog.OnInitDialog(); }
  static DialogPaths paths() { return test::samplePaths(); }
  // A 221 sensor accepted: two rows (Temperature over a 16.16 raw, Conductivity).
  sim::SimulatedSensor& accept(const char* image = "thermal_probe_221.sds") {
    auto& interface = plugInterface(0);
    auto& sensor = plugSensor(interface, image);
    dialog.OnTimer();
    return sensor;
  }

  MemoryRegistry registry;
  MemoryControls controls;
  CalibrationDialog dialog;
};

TEST_F(Dialog, StartsWithNoSensorAndHiddenRows) {
  EXPECT_EQ(controls.text(ids::kStatus), "No Sensor Detected...");
  EXPECT_TRUE(controls.isChecked(ids::kHighEepromCal));
  EXPECT_FALSE(controls.isChecked(ids::kDoFactoryInit));
  dialog.RefreshRows(true);
  EXPECT_FALSE(controls.isShown(ids::kMeasurement));
  EXPECT_FALSE(controls.isShown(ids::kVerify));
  EXPECT_EQ(CalibrationDialog::aboutText().rfind("Trimwell Version 1.21\nBuilt ", 0), 0u);
}

// What a click on an option does to what is shown, for a two-row sensor.
struct RefreshCase {
  const char* name;
  std::vector<int> clicks;
  std::vector<std::pair<int, bool>> shown;
  std::vector<std::pair<int, bool>> enabled;
  std::vector<std::pair<int, bool>> readOnly;
};

class Refresh : public Dialog, public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(Refresh, ShowsEnablesAndLocks) {
  accept();
  for (int id : GetParam().clicks) ASSERT_TRUE(controls.click(id)) << id;
  for (auto [id, shown] : GetParam().shown) EXPECT_EQ(controls.isShown(id), shown) << "shown " << id;
  for (auto [id, enabled] : GetParam().enabled) EXPECT_EQ(controls.isEnabled(id), enabled) << "enabled " << id;
  for (auto [id, ro] : GetParam().readOnly) EXPECT_EQ(controls.isReadOnly(id), ro) << "read-only " << id;
}

INSTANTIATE_TEST_SUITE_P(
    Options, Refresh,
    ::testing::Values(
        RefreshCase{"accepted",
                    {},
                    {{ids::kMeasurement, true},
                     {ids::kMeasurement + 1, true},
                     {ids::kMeasurement + 2, false},
                     {ids::kRowCheck, true},
                     {ids::kManual1, true},
                     {ids::kManual1 + 1, false},
                     {ids::kSimultaneousCal, true},
                     {ids::kFactoryInit, false},
                     {ids::kResetMinMax, false},
                     {ids::kRaw, false},
                     {ids::kGain, false}},
                    {{ids::kPoint1, true}, {ids::kPoint1 + 1, false}, {ids::kPoint2, false}},
                    {{ids::kPt1Raw, true}, {ids::kPt2Raw, true}, {ids::kPt1Data, false}}},
        RefreshCase{"simultaneous",
                    {ids::kSimultaneousCal},
                    {{ids::kPoint1, true}, {ids::kPoint2, true}, {ids::kPoint1 + 1, false}, {ids::kPoint2 + 1, false}},
                    {},
                    {}},
        RefreshCase{"manual_shared",
                    {ids::kManual1},
                    {{ids::kPoint2, false}, {ids::kPoint2 + 1, false}, {ids::kManual1 + 1, false}},
                    {},
                    {{ids::kPt1Raw, false}, {ids::kPt1Raw + 1, false}, {ids::kPt2Raw, true}}},
        RefreshCase{
            "manual_per_row",
            {ids::kMultipleManualModes, ids::kManual1 + 1},
            {{ids::kManual1 + 1, true}, {ids::kManual2 + 1, true}, {ids::kPoint2, true}, {ids::kPoint2 + 1, false}},
            {},
            {{ids::kPt1Raw, true}, {ids::kPt1Raw + 1, false}}},
        RefreshCase{"show_raw_and_min_max",
                    {ids::kShowRaw, ids::kShowMinMax},
                    {{ids::kRaw, true}, {ids::kMinimum, true}, {ids::kMaximum, true}, {ids::kResetMinMax, true}},
                    {},
                    {}},
        RefreshCase{"auto_gain", {ids::kAutoGainSet}, {{ids::kGain, true}, {ids::kGain + 1, true}}, {}, {}},
        RefreshCase{"factory_init_step",
                    {ids::kDoFactoryInit},
                    {{ids::kFactoryInit, true}},
                    {{ids::kFactoryInit, true}, {ids::kPoint1, false}},
                    {}},
        RefreshCase{"disabled_row",
                    {ids::kRowCheck},
                    {},
                    {{ids::kPoint1, false}, {ids::kPt1Data, false}, {ids::kPt1Raw, false}, {ids::kPoint1 + 1, true}},
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dialog, LongTextsAreCutToTheBuffer) {
  const std::string longText(3000, 'x');
  dialog.SetStatus("%s", longText.c_str());
  EXPECT_EQ(controls.text(ids::kStatus), std::string(1023, 'x'));
  EXPECT_EQ(dialog.MessageBox("%s and more", longText.c_str()), 1);
  EXPECT_EQ(controls.messages.back().size(), 1023u);
  EXPECT_EQ(dialog.MessageBox(nullptr), -1);
}

TEST_F(Dialog, ManualFlagRenamesEveryPoint1) {
  accept();
  controls.click(ids::kManual1);
  EXPECT_EQ(controls.text(ids::kPoint1), "Calibrate");
  EXPECT_EQ(controls.text(ids::kPoint1 + 1), "Calibrate");
  controls.click(ids::kManual1);
  EXPECT_EQ(controls.text(ids::kPoint1 + 1), "Point 1");
}

struct ParseCase {
  const char* text;
  bool fixed;
  bool number;
  double value;
};

class ParseTyped : public ::testing::TestWithParam<ParseCase> {};

// Whole numbers only, in any locale; a decimal comma is a decimal point.
TEST_P(ParseTyped, Reads) {
  double value = -1.0;
  EXPECT_EQ(parseTypedNumber(GetParam().text, GetParam().fixed, value), GetParam().number);
  EXPECT_DOUBLE_EQ(value, GetParam().value);
  EXPECT_DOUBLE_EQ(typedValue(GetParam().text, GetParam().fixed), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseTyped,
                         ::testing::Values(ParseCase{"0x10000", true, true, 1.0},
                                           ParseCase{"0x10000", false, true, 65536.0},
                                           ParseCase{"0xffffffff", false, true, -1.0},
                                           ParseCase{"0XFFFFFFFF", true, true, -1.0 / 65536},
                                           ParseCase{"0x", false, false, 0.0}, ParseCase{"0x1ffffffff", false, false, 0.0},
                                           ParseCase{"  \t12.5 ", false, true, 12.5}, ParseCase{"12.5", true, true, 12.5},
                                           ParseCase{"12,5", false, true, 12.5}, ParseCase{"-0,25", false, true, -0.25},
                                           ParseCase{"+7", false, true, 7.0}, ParseCase{"-3e2", false, true, -300.0},
                                           ParseCase{"", false, false, 0.0}, ParseCase{"  ", false, false, 0.0},
                                           ParseCase{"abc", false, false, 0.0}, ParseCase{"12abc", false, false, 0.0},
                                           ParseCase{"0xzz", false, false, 0.0}, ParseCase{"7 volts", false, false, 0.0},
                                           ParseCase{"1,234.5", false, false, 0.0}, ParseCase{"nan", false, false, 0.0},
                                           ParseCase{"-inf", false, false, 0.0}, ParseCase{"1e999", false, false, 0.0}));

struct RefusalCase {
  const char* text;
  TypedRefusal refusal;
};

class TypedRefusals : public ::testing::TestWithParam<RefusalCase> {};

// What a person may mean two ways is refused, saying why; a decimal comma before
// other than three digits stays a decimal comma.
TEST_P(TypedRefusals, SayWhy) {
  double value = -1.0;
  TypedRefusal why = TypedRefusal::kNone;
  EXPECT_EQ(parseTypedNumber(GetParam().text, false, value, &why), GetParam().refusal == TypedRefusal::kNone);
  EXPECT_EQ(why, GetParam().refusal);
  if (why != TypedRefusal::kNone) {
    EXPECT_EQ(value, 0.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedRefusals,
                         ::testing::Values(RefusalCase{"+-5", TypedRefusal::kTwoSigns},
                                           RefusalCase{"-+5", TypedRefusal::kTwoSigns},
                                           RefusalCase{"--5", TypedRefusal::kTwoSigns},
                                           RefusalCase{"++5", TypedRefusal::kTwoSigns},
                                           RefusalCase{"1,000", TypedRefusal::kAmbiguousComma},
                                           RefusalCase{" -2,500 ", TypedRefusal::kAmbiguousComma},
                                           RefusalCase{"1,234.5", TypedRefusal::kAmbiguousComma},
                                           RefusalCase{"1,0005", TypedRefusal::kNone},
                                           RefusalCase{"12,50", TypedRefusal::kNone},
                                           RefusalCase{"-5", TypedRefusal::kNone},
                                           RefusalCase{"0x-5", TypedRefusal::kNotANumber},
                                           RefusalCase{"five", TypedRefusal::kNotANumber}));

// A step waits in a message box; a click that reaches the dialog meanwhile is
// dropped, or it would take a point under the step still on the stack.
TEST_F(Dialog, ClickWhileABoxIsOpenIsDropped) {
  accept();
  controls.type(ids::kPt1Data, "abc");
  controls.type(ids::kPt2Data, "100");
  bool inner = false;
  controls.messageObserver = [&](const std::string&) {
    if (inner) return;
    inner = true;
    controls.type(ids::kPt1Data, "0");
    controls.click(ids::kPoint1);
  };
  controls.click(ids::kPoint1);
  EXPECT_TRUE(inner);
  EXPECT_EQ(dialog.session().step, kWaitPoint1);
}

// "Take points only when stable", with the row's readings settling.
class HeldPoint : public Dialog {
 protected:
  void SetUp() override {
    sim::SimulatedSensor& sensor = accept();
    sensor.setInput(1, 500);
    sensor.setNoise(20.0);
    controls.type(ids::kPt1Data, "0");
    controls.type(ids::kPt2Data, "100");
    for (int i = 0; i < 12; ++i) dialog.OnTimer();
    ASSERT_FALSE(dialog.stableHold().rowStable(0));
    controls.click(ids::kOnlyWhenStable);
    sensor_ = &sensor;
  }
  void settle() {
    sensor_->setNoise(0.0);
    for (int i = 0; i < 12; ++i) dialog.OnTimer();
  }
  sim::SimulatedSensor* sensor_ = nullptr;
};

TEST_F(HeldPoint, TypedPointIsTakenAtOnce) {
  controls.click(ids::kManual1);
  controls.click(ids::kManual2);
  controls.type(ids::kPt1Raw, "100");
  controls.type(ids::kPt2Raw, "900");
  controls.click(ids::kPoint1);
  EXPECT_EQ(dialog.stableHold().heldPoint(), 0);
  EXPECT_EQ(dialog.session().rows[0].point2Raw, 900.0);
}

TEST_F(HeldPoint, UntickingTheOptionLetsItGo) {
  controls.click(ids::kPoint1);
  ASSERT_EQ(dialog.stableHold().heldPoint(), ids::kPoint1);
  controls.click(ids::kOnlyWhenStable);
  EXPECT_EQ(dialog.stableHold().heldPoint(), 0);
  settle();
  EXPECT_EQ(dialog.session().step, kWaitPoint1);
}

// Left out while it waited, the row's Point button is gone: the held press is not
// taken for whatever row is current by then.
TEST_F(HeldPoint, IsNotTakenOnceItsButtonIsGone) {
  controls.click(ids::kPoint1);
  ASSERT_EQ(dialog.stableHold().heldPoint(), ids::kPoint1);
  controls.click(ids::kRowCheck);
  ASSERT_FALSE(controls.isEnabled(ids::kPoint1));
  controls.type(ids::kPt1Data + 1, "0");
  controls.type(ids::kPt2Data + 1, "50");
  settle();
  EXPECT_EQ(dialog.stableHold().heldPoint(), 0);
  EXPECT_EQ(dialog.session().step, kWaitPoint1);
}

TEST_F(HeldPoint, IsTakenOnceTheRowSettles) {
  controls.click(ids::kPoint1);
  settle();
  EXPECT_EQ(dialog.stableHold().heldPoint(), 0);
  EXPECT_EQ(dialog.session().step, kWaitPoint2);
}

TEST_F(Dialog, TypedRawFollowsTheSourceType) {
  accept();
  controls.click(ids::kManual1);
  controls.type(ids::kPt1Raw, "0x10000");
  controls.type(ids::kPt1Raw + 1, "0x10000");
  controls.type(ids::kPt1Data, "0x10000");
  const auto& rows = dialog.session().rows;
  EXPECT_DOUBLE_EQ(rows[0].typedPoint1Raw, 1.0);
  EXPECT_DOUBLE_EQ(rows[1].typedPoint1Raw, 65536.0);
  EXPECT_DOUBLE_EQ(rows[0].point1Data, 65536.0);
  EXPECT_EQ(rows[0].typedPoint1RawText, "0x10000");
}

TEST_F(Dialog, TickShowsValuesRawMinAndMax) {
  auto& sensor = accept();
  controls.click(ids::kShowRaw);
  sensor.setInput(1, 1.5);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kMeasurement), "Temperature = -19.7900 °C");
  EXPECT_EQ(controls.text(ids::kRaw), "0x18000");
  // The accepting tick read an input of 0 already.
  EXPECT_EQ(controls.text(ids::kMinimum), "-20.0000");
  EXPECT_EQ(controls.text(ids::kMaximum), "-19.7900");
  sensor.setInput(1, 1000);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kMaximum), "120.0000");
  EXPECT_EQ(controls.text(ids::kMinimum), "-20.0000");
  controls.click(ids::kShowMinMax);
  controls.click(ids::kResetMinMax);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kMinimum), "120.0000");
  driver.at(0)->shortNext(kRequestReadSample);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kMeasurement), "Error reading sample");
}

TEST_F(Dialog, SetAddsExtraRowsOnceAndStopsAtSix) {
  accept("oxygen_probe_243.sds");  // one calibrated row, measurement 30
  ASSERT_EQ(dialog.session().rowCount, 1);
  controls.type(ids::kOtherCalIds, " 20,21,99,22 ");
  controls.click(ids::kSet);
  EXPECT_EQ(dialog.session().rowCount, 4);
  EXPECT_EQ(controls.messages,
            std::vector<std::string>{"Other Cal Measurement ID 99: the sensor has no measurement with this ID"});
  controls.click(ids::kSet);
  EXPECT_EQ(dialog.session().rowCount, 4);
  EXPECT_EQ(dialog.session().rows[3].measurement->id, 22);
  EXPECT_TRUE(dialog.session().rows[3].extraRow);
  controls.type(ids::kOtherCalIds, "1,2,3,20,21");
  controls.click(ids::kSet);
  EXPECT_EQ(dialog.session().rowCount, 6);
  EXPECT_TRUE(controls.isShown(ids::kMeasurement + 5));
}

// Row settings are kept per measurement ID: a second row for measurement 30 would
// make its own row an extra one after the next plug, never written again.
TEST_F(Dialog, ExtraRowForAMeasurementWithARowIsRefused) {
  accept("oxygen_probe_243.sds");
  controls.type(ids::kOtherCalIds, "30,20,20");
  controls.click(ids::kSet);
  EXPECT_EQ(dialog.session().rowCount, 2);
  EXPECT_EQ(controls.messages, (std::vector<std::string>{
                                   "Other Cal Measurement ID 30: this measurement already has row 1",
                                   "Other Cal Measurement ID 20: this measurement already has row 2"}));
  dialog.OnDestroy();  // saves
  driver.at(0)->unplugSensor();
  dialog.OnTimer();
  plugSensor(*driver.at(0), "oxygen_probe_243.sds");
  dialog.OnTimer();
  ASSERT_EQ(dialog.session().rowCount, 2);
  EXPECT_FALSE(dialog.session().rows[0].extraRow);
  EXPECT_EQ(dialog.session().rows[0].measurement->id, 30);
  EXPECT_TRUE(dialog.session().rows[1].extraRow);
}

// Settings saved before the list was checked may name a measurement twice.
TEST_F(Dialog, StoredDuplicateExtraRowKeepsTheOwnRowPrimary) {
  const std::string key = "Software\\Korvane\\Trimwell\\sensor243";
  registry.createKey(key);
  registry.setDword(key, "Num Cals", 2);
  registry.setDword(key, "Cal ID 0", 30);
  registry.setDword(key, "Cal ID 1", 30);
  registry.createKey(key + "\\meas30");
  registry.setDword(key + "\\meas30", "Extra Cal", 1);
  accept("oxygen_probe_243.sds");
  ASSERT_EQ(dialog.session().rowCount, 1);
  EXPECT_FALSE(dialog.session().rows[0].extraRow);
}

// A one-row model's first plug takes the options of the model before; Simultaneous
// is switched off for it before its first row is made current.
TEST_F(Dialog, OneRowSensorAfterSimultaneousCanTakePoint1) {
  accept();
  controls.click(ids::kSimultaneousCal);
  ASSERT_EQ(dialog.session().options.simultaneousCal, 1u);
  driver.at(0)->unplugSensor();
  dialog.OnTimer();
  plugSensor(*driver.at(0), "oxygen_probe_243.sds");
  dialog.OnTimer();
  ASSERT_EQ(dialog.session().rowCount, 1);
  EXPECT_EQ(dialog.session().options.simultaneousCal, 0u);
  EXPECT_TRUE(controls.isShown(ids::kPoint1));
  EXPECT_TRUE(controls.isEnabled(ids::kPoint1));
}

// With Data Averaging a point is the mean of the tick's 16 sample reads, worked out
// here from the samples the sensor returned (row 0's source: a 16.16 raw long).
TEST_F(Dialog, AveragedPointIsTheMeanOfSixteenNoisyReads) {
  sim::SimulatedSensor& sensor = accept();
  sensor.setInput(1, 400);
  sensor.setNoise(5.0);
  controls.click(ids::kDataAveraging);
  controls.type(ids::kPt1Data, "0");
  auto& log = driver.at(0)->log;
  log.clear();
  dialog.OnTimer();
  std::vector<double> reads;
  for (const auto& request : log) {
    if (request.block.request != kRequestReadSample || request.data.size() < 4) continue;
    const auto raw = static_cast<std::int32_t>(request.data[0] | request.data[1] << 8 | request.data[2] << 16 |
                                               static_cast<std::uint32_t>(request.data[3]) << 24);
    reads.push_back(raw / 65536.0);
  }
  ASSERT_EQ(reads.size(), 16u);
  double mean = 0;
  for (double r : reads) mean += r / 16;
  controls.click(ids::kPoint1);
  const double taken = dialog.session().rows[0].point1Raw;
  EXPECT_NEAR(taken, mean, 2.0 / 65536);  // the station averages in 16.16 steps
  EXPECT_GT(std::abs(taken - reads.back()), 1e-3);  // not just the last read
}

TEST_F(Dialog, InformationStripSaysWhichInterfaceAndSensorInPlainWords) {
  EXPECT_EQ(controls.text(ids::kInfo), "Interface: none\nSensor: none - Waiting for an interface and a sensor.");
  accept();
  EXPECT_EQ(controls.text(ids::kInfo),
            "Interface: USB, product 0x0002 (Dockmon), firmware 1.8, interface number 0"
            "\nSensor: ID 221, \"Thermal conductivity probe TP-221\", datasheet 1.02 - The sensor's datasheet was "
                "read and agrees with the library's file.");
  driver.at(0)->unplugSensor();
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kInfo).substr(controls.text(ids::kInfo).find('\n')),
            "\nSensor: none - The sensor was unplugged.");
  driver.unplug(0);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kInfo), "Interface: none\nSensor: none - The interface was unplugged.");
}

// Every status the station shows has its meaning in plain words, and each state
// its own status text.
TEST(StationStates, EachHasItsOwnStatusAndAMeaning) {
  std::set<std::string> statuses;
  for (const StateText& entry : stationStates()) {
    EXPECT_EQ(&stateText(entry.state), &entry);
    EXPECT_TRUE(statuses.insert(entry.status).second) << entry.status;
    if (entry.state != StationState::kUnknownEvent) {
      EXPECT_STRNE(entry.meaning, "") << entry.status;
    }
  }
  EXPECT_STREQ(stateText(stateOfEvent(SensorAdded)).status, "BrimsenSensorAdded:");
  EXPECT_EQ(stateOfEvent(99), StationState::kUnknownEvent);
}

struct TrendCase {
  const char* name;
  std::vector<double> readings;
  double span;
  bool stable;
};

class Trend : public ::testing::TestWithParam<TrendCase> {};

TEST_P(Trend, StableWhenTheLastTenLieWithinAFractionOfTheSpan) {
  RowTrend trend;
  for (double r : GetParam().readings) trend.add(r);
  EXPECT_EQ(trend.stable(GetParam().span), GetParam().stable);
}

std::vector<double> tenAround(double centre, double spread) {
  std::vector<double> v(10, centre);
  v[3] = centre + spread;
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Readings, Trend,
    ::testing::Values(TrendCase{"nine_are_too_few", std::vector<double>(9, 5.0), 100, false},
                      TrendCase{"ten_alike", std::vector<double>(10, 5.0), 100, true},
                      TrendCase{"within_the_fraction", tenAround(5, 0.19), 100, true},
                      TrendCase{"beyond_the_fraction", tenAround(5, 0.21), 100, false},
                      TrendCase{"exactly_at_the_fraction", tenAround(5, 2.0), 1000, true},
                      TrendCase{"negative_span_counts_by_size", tenAround(5, 0.19), -100, true},
                      TrendCase{"older_noise_is_forgotten", [] {
                                  std::vector<double> v = {90, -40, 70};
                                  v.insert(v.end(), 10, 5.0);
                                  return v;
                                }(), 100, true},
                      TrendCase{"a_nan_among_them", [] {
                                  std::vector<double> v(10, 5.0);
                                  v[9] = NAN;
                                  return v;
                                }(), 100, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrendHistory, KeepsTheLastMinute) {
  RowTrend trend;
  for (int i = 0; i < 500; ++i) trend.add(i);
  ASSERT_EQ(trend.history().size(), RowTrend::kHistory);
  EXPECT_EQ(trend.history().front(), 500.0 - RowTrend::kHistory);
  EXPECT_EQ(trend.history().back(), 499.0);
}

// Both control kits start as the window does: nothing of a sensor offered. The
// unit, its customer and the conditions belong to the bench, and may be typed (a
// barcode scanned) before the sensor comes.
TEST_F(Dialog, NothingOfASensorIsOfferedBeforeTheFirstTick) {
  const std::set<int> bench = {ids::kUnit,          ids::kCustomer, ids::kCustomerAddress, ids::kCustomerEmail,
                               ids::kAmbientTemperature, ids::kRelativeHumidity};
  for (const ControlSpec& entry : dialogControls()) {
    if (entry.id == ids::kStatus || entry.kind == ControlKind::Label || bench.count(entry.id) != 0) continue;
    EXPECT_FALSE(controls.isShown(entry.id) && controls.isEnabled(entry.id)) << entry.id;
  }
  for (int i = 0; i < ids::kRows; ++i) EXPECT_FALSE(controls.click(ids::kPoint1 + i)) << i;
}

TEST_F(Dialog, SelectedGainRowIsRed) {
  accept();
  controls.click(ids::kAutoGainSet);
  controls.click(ids::kGain + 1);
  for (int base : {ids::kMeasurement, ids::kMinimum, ids::kMaximum, ids::kRaw}) {
    EXPECT_EQ(controls.state(base + 1).colour, kRed) << base;
    EXPECT_EQ(controls.state(base).colour, kDefaultColour) << base;
  }
  EXPECT_EQ(dialog.controlColour(ids::kPt1Data + 1), kDefaultColour);
  EXPECT_TRUE(controls.isChecked(ids::kGain + 1));
  EXPECT_EQ(driver.at(0)->sensor()->lastGainCode, 10);
  controls.click(ids::kAutoGainSet);
  EXPECT_EQ(controls.state(ids::kMeasurement + 1).colour, kDefaultColour);
}

TEST_F(Dialog, SensorWithTooLargeSamplesIsRefused) {
  Datasheet d;
  d.sensorId = 301;
  d.lengthLimit = 2048;
  test::setVersion(d, "1.02");
  for (int i = 0; i < 9; ++i) test::addRaw(d, i + 1, kRawLong, 4);
  test::addDerived(d, 20, kCalibrated, {1}, 0, {0, 0, 1, 1});
  auto& interface = plugInterface(0);
  interface.plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(d)));
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kStatus),
            "Sensor refused: its 36-byte samples exceed the station's 32-byte sample buffer");
  EXPECT_EQ(dialog.session().rowCount, 0);
  EXPECT_FALSE(dialog.session().samplingEnabled);
}

TEST_F(Dialog, EightCalibratedMeasurementsGiveSixRows) {
  auto& interface = plugInterface(0);
  interface.plugSensor(std::make_unique<sim::SimulatedSensor>(test::calibratedLinesImage(8)));
  dialog.OnTimer();
  EXPECT_EQ(dialog.session().rowCount, 6);
  EXPECT_EQ(controls.messages.size(), 1u);  // no file for sensor 300
}

// The first file with the sensor's ID is the one used, even when a valid one follows;
// the warning names it, so the operator can find and remove it.
TEST_F(Dialog, DamagedFirstFileIsNamedInTheWarning) {
  test::TempDir dir;
  std::vector<std::uint8_t> junk(64, 0x5A);
  junk[0] = 221 & 0xFF;
  junk[1] = 221 >> 8;
  dir.write("a_junk.sds", junk);
  std::filesystem::copy_file(test::sampleImagePath("thermal_probe_221.sds"), dir.file("thermal_probe_221.sds"));
  DialogPaths p = paths();
  p.datasheetFolder = dir.path().string();
  MemoryControls junkControls(dialogControls());
  CalibrationDialog junkDialog(junkControls, registry, p);
  junkDialog.OnInitDialog();
  plugSensor(plugInterface(0));
  junkDialog.OnTimer();
  ASSERT_EQ(junkControls.messages.size(), 1u);
  const std::string& message = junkControls.messages[0];
  EXPECT_EQ(message.rfind("Warning!  No valid datasheet file was found for this sensor; Please add a datasheet file "
                          "for this sensor!\n", 0), 0u) << message;
  EXPECT_NE(message.find(dir.file("a_junk.sds") + " has this sensor's ID but holds no valid datasheet (status 0x81"),
            std::string::npos) << message;
}

TEST(DialogStart, SaysOnceThatSettingsWillNotBeKept) {
  MemoryRegistry refusing;
  refusing.failAll = true;
  MemoryControls controls(dialogControls());
  CalibrationDialog dialog(controls, refusing);
  dialog.OnInitDialog();
  EXPECT_EQ(controls.messages,
            std::vector<std::string>{"Warning!  Settings will not be kept: the settings store refuses access."});
  EXPECT_EQ(controls.text(ids::kStatus), "No Sensor Detected...");
  dialog.OnTimer();
  dialog.OnDestroy();
  EXPECT_EQ(controls.messages.size(), 1u);
}

struct UnrecordedCase {
  const char* name;
  bool forbidden;  // the lab's RecordsRequired
  bool yes;        // the operator's answer
  bool written;
  const char* result;  // how the result line starts
};

class UnrecordedWrite : public test::SimFixture, public ::testing::WithParamInterface<UnrecordedCase> {};

// A records file that cannot be opened (a file stands where its folder should be):
// said at start, asked before the write, and the write goes in only when the
// operator says so and the lab allows it; either way it is counted.
TEST_P(UnrecordedWrite, IsAskedAndCounted) {
  const UnrecordedCase& c = GetParam();
  test::TempDir dir;
  dir.write("blocked", "a file in the folder's place");
  MemoryRegistry registry;
  if (c.forbidden) {
    ASSERT_TRUE(registry.createKey(kSettingsBasePath));
    ASSERT_TRUE(registry.setDword(kSettingsBasePath, "RecordsRequired", 1));
  }
  MemoryControls controls(dialogControls());
  controls.answers = {c.yes};
  DialogPaths paths;
  paths.datasheetFolder = TRIMWELL_SAMPLE_DIR;
  paths.recordsFile = dir.file("blocked") + "/records.sqlite";
  CalibrationDialog dialog(controls, registry, paths);
  dialog.OnInitDialog();
  ASSERT_EQ(controls.messages.size(), 1u);
  EXPECT_EQ(controls.messages[0].rfind("Warning!  Records of writes into sensors cannot be kept: cannot open ", 0), 0u)
      << controls.messages[0];
  auto& sensor = plugSensor(plugInterface(0));
  dialog.OnTimer();
  const std::vector<std::uint8_t> before = sensor.storedImage();
  ASSERT_TRUE(controls.click(ids::kSimultaneousCal));
  for (auto [id, text] : {std::pair{ids::kPt1Data, "0"}, {ids::kPt2Data, "100"}, {ids::kPt1Data + 1, "0"},
                          {ids::kPt2Data + 1, "10"}}) {
    ASSERT_TRUE(controls.type(id, text)) << id;
  }
  sensor.setInput(1, 400);
  sensor.setInput(2, 3);
  dialog.OnTimer();
  ASSERT_TRUE(controls.click(ids::kPoint1));
  sensor.setInput(1, 800);
  sensor.setInput(2, 6);
  dialog.OnTimer();
  ASSERT_TRUE(controls.click(ids::kPoint2));
  EXPECT_EQ(sensor.storedImage() != before, c.written);
  EXPECT_EQ(dialog.recordKeeping().unrecordedWrites(), c.written ? 1 : 0);
  EXPECT_EQ(dialog.recordKeeping().unrecordedRefused(), c.written ? 0 : 1);
  const std::string& asked = controls.messages.back();
  EXPECT_NE(asked.find(c.forbidden ? "may not write a sensor without its record"
                                   : "Write into the sensor without its record?"),
            std::string::npos)
      << asked;
  EXPECT_EQ(controls.text(ids::kResult).rfind(c.result, 0), 0u) << controls.text(ids::kResult);
  EXPECT_NE(controls.text(ids::kResult).find(c.written ? "writes without a record: 1, refused for want of a record: 0"
                                                       : "writes without a record: 0, refused for want of a record: 1"),
            std::string::npos)
      << controls.text(ids::kResult);
}

INSTANTIATE_TEST_SUITE_P(
    Records, UnrecordedWrite,
    ::testing::Values(UnrecordedCase{"Confirmed", false, true, true, "Calibration written and verified (not recorded: "},
                      UnrecordedCase{"Declined", false, false, false, "Nothing written: its record cannot be kept"},
                      UnrecordedCase{"Forbidden", true, true, false, "Nothing written: its record cannot be kept"}),
    [](const ::testing::TestParamInfo<UnrecordedCase>& info) { return std::string(info.param.name); });

// An old Dockmon is updated once; it comes back on its new firmware as a new device,
// and the station goes on to its sensor without a second download.
TEST_F(Dialog, UpdatedDockmonComesBackAndIsNotUpdatedAgain) {
  auto& interface = plugInterface(0, kDockmonProduct, 1, 7);
  plugSensor(interface);
  for (int i = 0; i < 3; ++i) dialog.OnTimer();
  int holds = 0;
  for (const auto& r : interface.log) {
    holds += r.block.request == kRequestInterfaceMemory && r.block.value == kProcessorResetAddress &&
             !r.data.empty() && r.data[0] == 1;
  }
  EXPECT_EQ(holds, 1);
  EXPECT_EQ(interface.firmwareMinor, 8);
  EXPECT_TRUE(controls.messages.empty());
  EXPECT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  EXPECT_NE(dialog.session().currentDatasheet, nullptr);
}

TEST_F(Dialog, CantReadThreeTimesResets) {
  auto& interface = plugInterface(0);
  plugSensor(interface);
  interface.failNext(kRequestReadDatasheet, 3, 1);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kStatus), "BrimsenSensorCantReadDataSheet");
  EXPECT_EQ(dialog.session().currentDatasheet, nullptr);
}

TEST_F(Dialog, DestroySavesTheCurrentSensor) {
  accept();
  controls.type(ids::kPt1Data, "42");
  dialog.OnDestroy();
  std::u16string data;
  EXPECT_TRUE(registry.queryString("Software\\Korvane\\Trimwell\\sensor221\\meas10", "data1", data));
  EXPECT_EQ(data, u"42");
}

}  // namespace
}  // namespace trimwell

namespace trimwell {
namespace {

// From plugging a sensor to the accepting status line the station waits only the
// pause before its sensor ID read: nothing else costs time on the virtual clock.
TEST(StationClock, PlugToAcceptanceCostsOnlyTheFixedWaits) {
  MemoryControls controls(dialogControls());
  MemoryRegistry settings;
  DialogPaths paths;
  paths.datasheetFolder = TRIMWELL_SAMPLE_DIR;
  sim::SimulatedStation station(controls, settings, paths);
  station.plugInterface(0x0002, 1, 8);
  station.tick();
  const std::uint64_t before = station.clock().now;
  ASSERT_TRUE(station.plugSensor(test::sampleImagePath("thermal_probe_221.sds")));
  station.tick();
  EXPECT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  EXPECT_EQ(station.clock().now - before, 100u + CalibrationDialog::kTimerPeriodMs);
}

}  // namespace
}  // namespace trimwell
