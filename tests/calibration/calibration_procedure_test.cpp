#include "calibration/calibration_procedure.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/session_ui.h"
#include "support/sheet_builder.h"
#include "support/sim_fixture.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A sensor of ID 300 with three raw and three calibrated measurements, accepted by
// hand: the session holds its datasheet, converters and rows.
class Procedure : public test::SimFixture {
 protected:
  void SetUp() override {
    sheet.sensorId = 300;
    sheet.lengthLimit = 8192;
    test::setVersion(sheet, "1.00");
    for (int i = 0; i < 3; ++i) test::addRaw(sheet, i + 1, kRawLong, 4);
    for (int i = 0; i < 3; ++i) test::addDerived(sheet, 11 + i, kCalibrated, {i + 1}, 0, {0, 0, 1, 1});
    interface = &plugInterface(0);
    interface->plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(sheet)));
    Bytes image = test::encodeImage(sheet);
    sheet.decode(image.data(), image.size());  // sorted and linked as a sensor's would be
    ASSERT_TRUE(link.open(0));
    session.currentInterface = &link;
    session.currentDatasheet = &sheet;
    session.converters.Build(&sheet);
    for (int r = 0; r < 3; ++r) session.fillRow(r, sheet.findMeasurement(11 + r), false);
    session.rowCount = 3;
    session.totalSampleSize = 12;
    interface->log.clear();
  }
  CalibrationRow& row(int r) { return session.rows[static_cast<std::size_t>(r)]; }
  std::vector<std::string>& messages() { return ui.messages; }
  std::vector<int> requests() const {
    std::vector<int> codes;
    for (const auto& r : interface->log) codes.push_back(r.block.request);
    return codes;
  }
  void setPoints(int r, double raw1, double data1, double raw2, double data2) {
    row(r).point1Raw = raw1;
    row(r).point1Data = data1;
    row(r).point2Raw = raw2;
    row(r).point2Data = data2;
  }

  Datasheet sheet;
  sim::SimulatedInterface* interface = nullptr;
  DeviceLink link;
  CalibrationSession session;
  test::SessionUi ui;
  CalibrationProcedure procedure{session, ui};
};

TEST(CalibrationBlock, TruncatesAndPlacesByRowIndex) {
  CalibrationSession s;
  s.rowCount = 2;
  s.rows[0] = {};
  s.rows[0].rowIndex = 1;
  s.rows[0].point1Raw = 1.99999;
  s.rows[0].point1Data = -0.5;
  s.rows[1].rowIndex = 0;
  s.rows[1].point2Data = 2.0;
  const Bytes block = CalibrationProcedure::calibrationBlock(s);
  ASSERT_EQ(block.size(), 32u);
  EXPECT_EQ((Bytes{block.begin() + 16, block.begin() + 24}), (Bytes{0xFF, 0xFF, 0x01, 0x00, 0x00, 0x80, 0xFF, 0xFF}));
  EXPECT_EQ(block[14], 0x02);
}

TEST_F(Procedure, WritesDisabledAndExtraRowsAsTheyShould) {
  setPoints(0, 10, 1, 20, 2);
  row(1).disable = 1;
  setPoints(2, 5, 6, 7, 8);
  row(2).extraRow = 1;
  ASSERT_TRUE(procedure.WriteCalibration());
  EXPECT_TRUE(messages().empty());
  const Bytes stored = interface->sensor()->calibration();
  const Bytes block = CalibrationProcedure::calibrationBlock(session);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), stored.begin()));
  EXPECT_EQ((Bytes{stored.begin() + 16, stored.begin() + 32}),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sheet.findMeasurement(12)->type.constants[2], 1.0);
  EXPECT_EQ(sheet.findMeasurement(13)->type.constants[0], 0.0);  // the extra row left it alone
  EXPECT_EQ(interface->sensor()->storedImage(), test::encodeImage(sheet));
  EXPECT_TRUE(procedure.VerifyCalibration());
}

TEST_F(Procedure, HighEepromCalOffWritesOnlyTheDatasheet) {
  setPoints(0, 10, 1, 20, 2);
  setPoints(1, 10, 1, 20, 2);
  setPoints(2, 10, 1, 20, 2);
  session.options.highEepromCal = 0;
  ASSERT_TRUE(procedure.WriteCalibration());
  for (const auto& r : interface->log) {
    const bool blockWrite = r.block.request == kRequestCalibration &&
                            r.block.direction == VendorRequestBlock::kHostToDevice;
    EXPECT_FALSE(blockWrite);  // the as-found read of the block is the only 0xC3
  }
}

TEST_F(Procedure, EqualDataValuesAreWarnedAboutAndWritten) {
  setPoints(0, 10, 1, 20, 1);
  setPoints(1, 10, 1, 20, 1);
  setPoints(2, 10, 1, 20, 2);
  EXPECT_TRUE(procedure.WriteCalibration());
  EXPECT_EQ(messages(), std::vector<std::string>(2, "The data portion of each calibration point needs to be different"));
  EXPECT_EQ(interface->sensor()->storedImage(), test::encodeImage(sheet));
}

// Equal raw values leave a row's line undefined, and its readings NaN in the
// sensor: the whole calibration is refused before any request.
TEST_F(Procedure, EqualRawValuesWriteNothing) {
  setPoints(0, 10, 1, 20, 2);
  setPoints(1, 10, 1, 10, 2);
  setPoints(2, 10, 1, 20, 2);
  const Bytes before = interface->sensor()->storedImage();
  EXPECT_FALSE(procedure.WriteCalibration());
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0],
            "The data portion of each calibration point needs to be different\n"
            "Both points of row 2 have the raw value 10, so its line is undefined; nothing was written to the sensor.");
  EXPECT_TRUE(requests().empty());
  EXPECT_EQ(interface->sensor()->storedImage(), before);
  EXPECT_EQ(sheet.findMeasurement(12)->type.constants[2], 1.0);  // the datasheet kept its line too
}

TEST_F(Procedure, EqualRawValuesOfLeftOutRowsDoNotCount) {
  setPoints(0, 10, 1, 20, 2);
  setPoints(1, 10, 1, 10, 2);
  row(1).disable = 1;
  setPoints(2, 3, 1, 3, 2);
  row(2).extraRow = 1;
  EXPECT_TRUE(procedure.WriteCalibration());
  EXPECT_TRUE(messages().empty());
}

TEST_F(Procedure, DatasheetThatCannotBeEncoded) {
  for (int r = 0; r < 3; ++r) setPoints(r, 10, 1, 20, 2);
  sheet.measurementCount = 33;
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(), "Could not unparse the datasheet");
  sheet.measurementCount = 6;
}

TEST_F(Procedure, SwappedSensorGetsNothing) {
  Datasheet other;
  other.sensorId = 301;
  other.lengthLimit = 2048;
  test::setVersion(other, "1.00");
  interface->plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(other)));
  const Bytes before = interface->sensor()->storedImage();
  for (int r = 0; r < 3; ++r) setPoints(r, 10, 1, 20, 2);
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(), "The sensor was changed during the calibration; nothing was written to it");
  EXPECT_EQ(requests(), std::vector<int>{kRequestReadDatasheet});
  EXPECT_EQ(interface->sensor()->storedImage(), before);
}

// Grows the image by long texts until it is at least `atLeast` bytes.
std::size_t growImage(Datasheet& sheet, std::size_t atLeast) {
  std::size_t length = test::encodeImage(sheet).size();
  for (int i = 0; length < atLeast && sheet.measurementCount < kMaxMeasurements; ++i) {
    Measurement& m = sheet.addMeasurement();
    m.id = static_cast<std::uint16_t>(100 + i);
    m.primaryText.text.assign(std::min<std::size_t>(254, atLeast - length), u'x');
    length = test::encodeImage(sheet).size();
  }
  return length;
}

// A sensor of newer production carries parts this station does not know: a write
// puts them back as they came, and changes only the constants of the rows.
struct KeptCase {
  const char* name;
  void (*add)(Datasheet& sheet);
  std::vector<std::uint8_t> section;  // an extended section of its own, when not empty
  Bytes kept;                         // bytes of the part that must still be in the sensor
};

class KeptParts : public Procedure, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(KeptParts, WriteKeepsWhatTheStationDoesNotKnow) {
  const KeptCase& c = GetParam();
  Datasheet made;  // the fixture's sensor, of version 2 with its extended part
  made.sensorId = 300;
  made.lengthLimit = 2048;
  test::setVersion(made, "2.00");
  for (int i = 0; i < 3; ++i) test::addRaw(made, i + 1, kRawLong, 4);
  for (int i = 0; i < 3; ++i) test::addDerived(made, 11 + i, kCalibrated, {i + 1}, 0, {0, 0, 1, 1});
  c.add(made);
  Bytes image = test::encodeImage(made);
  if (!c.section.empty()) image = test::withSection(image, c.section);
  ASSERT_NE(std::search(image.begin(), image.end(), c.kept.begin(), c.kept.end()), image.end());
  ASSERT_TRUE(sheet.decode(image.data(), image.size())) << std::hex << sheet.status;
  interface->plugSensor(std::make_unique<sim::SimulatedSensor>(image));
  session.converters.Build(&sheet);
  for (int r = 0; r < 3; ++r) session.fillRow(r, sheet.findMeasurement(11 + r), false);
  session.knownImage = image;
  for (int r = 0; r < 3; ++r) setPoints(r, 10, 1, 20 + r, 2);
  ASSERT_TRUE(procedure.WriteCalibration()) << (messages().empty() ? "" : messages().back());
  const Bytes stored = interface->sensor()->storedImage();
  ASSERT_EQ(stored.size(), image.size());
  EXPECT_NE(std::search(stored.begin(), stored.end(), c.kept.begin(), c.kept.end()), stored.end());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < image.size(); ++i) differing += stored[i] != image[i] ? 1 : 0;
  EXPECT_LE(differing, 3u * 16 + 4);  // the rows' constants and the checksum
  EXPECT_EQ(stored, sheet.imageWithConstants());
}

INSTANTIATE_TEST_SUITE_P(
    Parts, KeptParts,
    ::testing::Values(
        KeptCase{"unknown_type_block",
                 [](Datasheet& d) { test::addUnknown(d, 20, 9, {0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6}); }, {},
                 {9, 6, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6}},
        KeptCase{"longer_line_block", [](Datasheet& d) { d.findMeasurement(12)->type.keptTail = {0xE1, 0xE2, 0xE3}; },
                 {}, {0xE1, 0xE2, 0xE3}},
        KeptCase{"unknown_section", [](Datasheet&) {}, {9, 4, 0, 0xF1, 0xF2, 0xF3, 0xF4},
                 {9, 4, 0, 0xF1, 0xF2, 0xF3, 0xF4}}),
    [](const auto& info) { return std::string(info.param.name); });

// Anything else of the datasheet changed since it was read would go in unasked: the
// write is refused before anything is written, naming the part.
TEST_F(Procedure, DatasheetChangedBeyondItsConstantsIsRefused) {
  sheet.findMeasurement(12)->primaryText.text = u"Renamed";
  for (int r = 0; r < 3; ++r) setPoints(r, 10, 1, 20, 2);
  const Bytes before = interface->sensor()->storedImage();
  EXPECT_FALSE(procedure.WriteCalibration());
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages().back(), "The sensor's datasheet cannot be written back whole: measurement 12 would change; "
                               "nothing was written to the sensor");
  EXPECT_TRUE(interface->log.empty());
  EXPECT_EQ(interface->sensor()->storedImage(), before);
}

// An image longer than the sensor holds is refused before anything is written:
// longer than the sensor's own limit, than the limit of the datasheet to be written,
// or than the scanner reads of any sensor.
struct LimitCase {
  const char* name;
  std::uint16_t sensorLimit;  // in the image the sensor was accepted with; 0: none known
  std::uint16_t sheetLimit;   // of the datasheet to be written
  std::size_t grownTo;
  std::size_t limit;          // the one the message names
};

class LengthLimit : public Procedure, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(LengthLimit, LongerImageIsRefusedBeforeAnyWrite) {
  const LimitCase& c = GetParam();
  if (c.sensorLimit != 0) {
    sheet.lengthLimit = c.sensorLimit;
    interface->plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(sheet)));
    session.knownImage = interface->sensor()->storedImage();
  }
  sheet.lengthLimit = c.sheetLimit;
  const std::size_t length = growImage(sheet, c.grownTo);
  ASSERT_GT(length, c.limit);
  ASSERT_LE(length, kMaxControlTransfer);
  for (int r = 0; r < 3; ++r) setPoints(r, 10, 1, 20, 2);
  const Bytes imageBefore = interface->sensor()->storedImage();
  const Bytes blockBefore = interface->sensor()->calibration();
  interface->log.clear();
  EXPECT_FALSE(procedure.WriteCalibration());
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages().back(), "The datasheet is " + std::to_string(length) + " bytes long, more than the " +
                                   std::to_string(c.limit) +
                                   " bytes the sensor holds; nothing was written to the sensor");
  EXPECT_TRUE(interface->log.empty());
  EXPECT_EQ(interface->sensor()->storedImage(), imageBefore);
  EXPECT_EQ(interface->sensor()->calibration(), blockBefore);
}

INSTANTIATE_TEST_SUITE_P(Limits, LengthLimit,
                         ::testing::Values(LimitCase{"scanner", 0, 8192, 2049, 2048},
                                           LimitCase{"file_of_2294_for_a_2048_sensor", 2048, 8192, 2294, 2048},
                                           LimitCase{"datasheet", 0, 1500, 1501, 1500},
                                           LimitCase{"sensor_own", 1024, 8192, 1025, 1024}),
                         [](const auto& info) { return std::string(info.param.name); });

// A datasheet the interface cannot take in one transfer is refused before the first
// write, so the sensor keeps its calibration block and its datasheet.
TEST_F(Procedure, DatasheetLongerThanOneTransferIsRefusedBeforeAnyWrite) {
  const std::size_t length = growImage(sheet, kMaxControlTransfer + 1);
  ASSERT_GT(length, kMaxControlTransfer);
  setPoints(0, 10, 1, 20, 2);
  setPoints(1, 10, 1, 20, 2);
  setPoints(2, 10, 1, 20, 2);
  interface->log.clear();
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(), "The datasheet is " + std::to_string(length) +
                                   " bytes long, more than the 4096 bytes the interface takes in one transfer; "
                                   "nothing was written to the sensor");
  for (const auto& r : interface->log) {
    EXPECT_TRUE(r.block.direction == VendorRequestBlock::kDeviceToHost) << std::hex << int{r.block.request};
  }
}

TEST_F(Procedure, ShortReadBackIsNotASuccess) {
  setPoints(0, 10, 1, 20, 2);
  setPoints(1, 10, 1, 20, 2);
  setPoints(2, 10, 1, 20, 2);
  interface->shortNext(kRequestReadDatasheet, 1, 2);  // after the as-found header and image
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(), "Could not read the sensor's datasheet");
}

// The sensor as it was accepted: its image is known, and checked before a write.
class AcceptedSensor : public Procedure {
 protected:
  void SetUp() override {
    Procedure::SetUp();
    session.knownImage = interface->sensor()->storedImage();
    for (int r = 0; r < 3; ++r) setPoints(r, 10, 1, 20 + r, 2);
  }
};

TEST_F(AcceptedSensor, AsFoundReadComesFirstAndIsRecorded) {
  const Bytes before = interface->sensor()->storedImage();
  const Bytes stored = interface->sensor()->calibration();
  const Bytes blockBefore(stored.begin(), stored.begin() + 48);
  ASSERT_TRUE(procedure.WriteCalibration());
  EXPECT_EQ(requests(), (std::vector<int>{0x01, 0xC3, 0xC3, 0xC3, 0x02, 0x01, 0xC3}));
  ASSERT_EQ(ui.records.size(), 1u);
  const WriteOutcome& r = ui.records[0];
  EXPECT_TRUE(r.success);
  EXPECT_EQ(r.result, "written and verified");
  EXPECT_EQ(r.asFound.image, before);
  EXPECT_EQ(r.asFound.calibration, blockBefore);
  EXPECT_EQ(r.asLeft.image, interface->sensor()->storedImage());
  EXPECT_EQ(r.asLeft.calibration, CalibrationProcedure::calibrationBlock(session));
  EXPECT_EQ(r.sensorId, 300);
  EXPECT_EQ(r.datasheetVersion, "1.00");
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(r.rows[2].measurementId, 13);
  EXPECT_EQ(r.rows[2].point2Raw, 22);
  EXPECT_EQ(r.rows[2].constants[2], 22);
  EXPECT_NE(r.options.find("High EEPROM Cal=1"), std::string::npos);
  EXPECT_EQ(session.knownImage, interface->sensor()->storedImage());  // the next write checks against this
}

// Another sensor of the same model has the same ID but not the same image.
TEST_F(AcceptedSensor, SameModelSwapGetsNothing) {
  Datasheet other;
  const Bytes same = test::encodeImage(sheet);
  ASSERT_TRUE(other.decode(same.data(), same.size()));
  other.name.text = u"another one";
  interface->plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(other)));
  const Bytes before = interface->sensor()->storedImage();
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(), "The sensor was changed during the calibration; nothing was written to it");
  EXPECT_EQ(requests(), std::vector<int>{kRequestReadDatasheet});
  EXPECT_EQ(interface->sensor()->storedImage(), before);
  ASSERT_EQ(ui.records.size(), 1u);
  EXPECT_FALSE(ui.records[0].success);
  EXPECT_EQ(ui.records[0].result, messages().back());
  // The image of the length the first sensor's had: enough to tell them apart.
  EXPECT_EQ(ui.records[0].asFound.image.size(), session.knownImage.size());
  EXPECT_TRUE(std::equal(ui.records[0].asFound.image.begin(), ui.records[0].asFound.image.end(), before.begin()));
}

// After a datasheet write of its own failed, the next write (the operator's next
// Point 2) writes everything again into the sensor it was writing to, whatever
// part of the new image that sensor took; another unit put in while the failure's
// message was open is caught as any swap.
struct AfterFailedWrite {
  const char* name;
  // What the sensor holds at the next write, from what it held before the failed
  // write and what that write was writing; empty: another unit of the model.
  Bytes (*holds)(const Bytes& before, const Bytes& written);
  bool goesOn;
};
void PrintTo(const AfterFailedWrite& c, std::ostream* os) { *os << c.name; }

class FailedWrite : public AcceptedSensor, public ::testing::WithParamInterface<AfterFailedWrite> {};

TEST_P(FailedWrite, NextWriteGoesOnOnlyIntoTheSameSensor) {
  const Bytes before = interface->sensor()->storedImage();
  interface->corruptNext(kRequestWriteDatasheet);
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(), "datasheet did not write properly");
  EXPECT_TRUE(session.ownWriteFailed);
  const Bytes written = test::encodeImage(sheet);
  const Bytes holds = GetParam().holds(before, written);
  if (holds.empty()) {
    Datasheet other;
    ASSERT_TRUE(other.decode(before.data(), before.size()));
    other.name.text = u"another one";
    interface->plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(other)));
  } else {
    interface->sensor()->writeDatasheet(holds.data(), holds.size());
  }
  const Bytes atNextWrite = interface->sensor()->storedImage();
  EXPECT_EQ(procedure.WriteCalibration(), GetParam().goesOn);
  ASSERT_EQ(ui.records.size(), 2u);
  EXPECT_EQ(ui.records[0].result, "datasheet did not write properly");
  if (GetParam().goesOn) {
    EXPECT_EQ(interface->sensor()->storedImage(), written);
    EXPECT_TRUE(ui.records[1].success);
  } else {
    EXPECT_EQ(messages().back(), "The sensor was changed during the calibration; nothing was written to it");
    EXPECT_EQ(interface->sensor()->storedImage(), atNextWrite);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sensors, FailedWrite,
    ::testing::Values(AfterFailedWrite{"stopped_half_way",
                                       [](const Bytes& before, const Bytes& written) {
                                         Bytes mix = before;
                                         std::copy(written.begin(), written.begin() + static_cast<long>(written.size() / 2),
                                                   mix.begin());
                                         return mix;
                                       },
                                       true},
                      AfterFailedWrite{"holding_what_it_had", [](const Bytes& before, const Bytes&) { return before; },
                                       true},
                      AfterFailedWrite{"another_unit_put_in", [](const Bytes&, const Bytes&) { return Bytes{}; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A record of the sensor as it came (as-found) and as calibrated (as-left).
class Restoring : public AcceptedSensor {
 protected:
  void SetUp() override {
    AcceptedSensor::SetUp();
    original = interface->sensor()->storedImage();
    const Bytes block = interface->sensor()->calibration();
    originalBlock.assign(block.begin(), block.begin() + 48);
    ASSERT_TRUE(procedure.WriteCalibration());
    from = test::sourceOf(ui.records.back(), 7);
    interface->log.clear();
    messages().clear();
  }
  // Whether anything went to the sensor's EEPROM (a request carrying data to it).
  bool wrote() const {
    for (const auto& r : interface->log) {
      const int code = r.block.request;
      if (r.block.direction == VendorRequestBlock::kHostToDevice &&
          (code == kRequestWriteDatasheet || code == kRequestCalibration)) {
        return true;
      }
    }
    return false;
  }
  Bytes original;
  Bytes originalBlock;
  RestoreSource from;
};

TEST_F(Restoring, AsFoundPutsBackImageAndBlockAndRecordsTheRowsWritten) {
  ASSERT_TRUE(procedure.restore(from, true));
  EXPECT_EQ(interface->sensor()->storedImage(), original);
  const Bytes block = interface->sensor()->calibration();
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 48), originalBlock);
  const WriteOutcome& r = ui.records.back();
  EXPECT_TRUE(r.restore);
  EXPECT_EQ(r.restoredFrom, 7);
  EXPECT_EQ(r.result, "written and verified");
  // The rows are those of the image that went in (its points 0,0 and 1,1), not the
  // calibration's the record kept.
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(r.rows[1].measurementId, 12);
  EXPECT_EQ(r.rows[1].point2Raw, 1.0);
  EXPECT_EQ(r.rows[1].constants[3], 1.0);
}

struct BadRecord {
  const char* name;
  void (*spoil)(RestoreSource&);
  const char* message;
};

class RestoreRefuses : public Restoring, public ::testing::WithParamInterface<BadRecord> {};

TEST_P(RestoreRefuses, WritesNothingAndSaysWhy) {
  GetParam().spoil(from);
  const Bytes before = interface->sensor()->storedImage();
  const std::size_t kept = ui.records.size();
  EXPECT_FALSE(procedure.restore(from, true));
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages().back(), GetParam().message);
  EXPECT_FALSE(wrote());
  EXPECT_EQ(interface->sensor()->storedImage(), before);
  EXPECT_EQ(ui.records.size(), kept);
}

INSTANTIATE_TEST_SUITE_P(
    Records, RestoreRefuses,
    ::testing::Values(
        BadRecord{"another_model", [](RestoreSource& r) { r.sensorId = 301; },
                  "Record 7 is of a sensor 301, the plugged sensor is a 300; nothing was written to it"},
        BadRecord{"no_image", [](RestoreSource& r) { r.asFound.image.clear(); },
                  "Record 7 holds no whole as-found datasheet image; nothing was written to the sensor"},
        BadRecord{"image_cut_in_half", [](RestoreSource& r) { r.asFound.image.resize(r.asFound.image.size() / 2); },
                  "Record 7's as-found datasheet image is damaged (it does not read as a datasheet of a sensor 300); "
                  "nothing was written to the sensor"},
        BadRecord{"image_longer_than_the_sensor_holds",
                  [](RestoreSource& r) {
                    Datasheet grown;
                    ASSERT_TRUE(grown.decode(r.asFound.image.data(), r.asFound.image.size()));
                    growImage(grown, kLongestSensorImage + 1);
                    r.asFound.image = test::encodeImage(grown);
                  },
                  "The datasheet is 2078 bytes long, more than the 2048 bytes the sensor holds; nothing was written "
                  "to the sensor"},
        BadRecord{"block_of_part_rows", [](RestoreSource& r) { r.asFound.calibration.resize(17); },
                  "Record 7's as-found calibration block is 17 bytes long, not whole rows of 16 bytes; nothing was "
                  "written to the sensor"}),
    [](const auto& info) { return std::string(info.param.name); });

// Another unit of the model (same ID, another image) holds neither of the
// record's states: written only when the operator says so, and the record says so.
class RestoringIntoAnotherUnit : public Restoring {
 protected:
  void SetUp() override {
    Restoring::SetUp();
    Datasheet other;
    const Bytes same = test::encodeImage(sheet);
    ASSERT_TRUE(other.decode(same.data(), same.size()));
    other.name.text = u"another one";
    interface->plugSensor(std::make_unique<sim::SimulatedSensor>(test::encodeImage(other)));
    session.knownImage = interface->sensor()->storedImage();
    interface->log.clear();
  }
};

TEST_F(RestoringIntoAnotherUnit, NoKeepsTheSensorAsItIs) {
  const Bytes before = interface->sensor()->storedImage();
  ui.answers = {false};
  EXPECT_FALSE(procedure.restore(from, false));
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0].rfind("The sensor holds \"another one\", datasheet 1.00", 0), 0u) << messages()[0];
  EXPECT_NE(messages()[0].find("neither record 7's as-found state"), std::string::npos);
  EXPECT_EQ(messages()[1], "Restore cancelled; nothing was written to the sensor");
  EXPECT_FALSE(wrote());
  EXPECT_EQ(interface->sensor()->storedImage(), before);
}

TEST_F(RestoringIntoAnotherUnit, YesWritesAndTheRecordKeepsTheConfirmation) {
  ui.answers = {true};
  ASSERT_TRUE(procedure.restore(from, false));
  EXPECT_EQ(interface->sensor()->storedImage(), from.asLeft.image);
  const std::string& result = ui.records.back().result;
  EXPECT_EQ(result.rfind("written and verified; confirmed by the operator: the sensor holds \"another one\"", 0), 0u)
      << result;
}

struct AsFoundFault {
  const char* name;
  int request;
  bool shorten;
};

class AsFoundReadFails : public AcceptedSensor, public ::testing::WithParamInterface<AsFoundFault> {};

TEST_P(AsFoundReadFails, SaysNothingWasWritten) {
  if (GetParam().shorten) {
    interface->shortNext(GetParam().request);
  } else {
    interface->failNext(GetParam().request);
  }
  const Bytes before = interface->sensor()->storedImage();
  EXPECT_FALSE(procedure.WriteCalibration());
  EXPECT_EQ(messages().back(),
            "Could not read the sensor's datasheet and calibration before writing; nothing was written to it");
  EXPECT_EQ(interface->sensor()->storedImage(), before);
  EXPECT_FALSE(session.ownWriteFailed);
}

INSTANTIATE_TEST_SUITE_P(Reads, AsFoundReadFails,
                         ::testing::Values(AsFoundFault{"image_fails", kRequestReadDatasheet, false},
                                           AsFoundFault{"image_short", kRequestReadDatasheet, true},
                                           AsFoundFault{"block_fails", kRequestCalibration, false},
                                           AsFoundFault{"block_short", kRequestCalibration, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Procedure, FactoryInitSequenceAndWaits) {
  session.options.doFactoryInit = 1;
  session.step = kWaitFactoryInit;
  procedure.FactoryInit();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(session.step, kWaitPoint1);
  EXPECT_EQ(sleeps.waits, (std::vector<std::uint32_t>{500, 1000, 1000}));
  EXPECT_EQ(requests(), (std::vector<int>{0xC6, 0xFA, 0xFA, 0x81, 0x81}));
  EXPECT_EQ(interface->log[1].block.value, 0);
  EXPECT_EQ(interface->log[2].block.value, 1);
  EXPECT_EQ(interface->log[3].data[2], 2);   // the factory sample size
  EXPECT_EQ(interface->log[4].data[2], 12);  // and the sensor's own again
}

struct FactoryFault {
  int request;
  int after;
  const char* message;
};

class FactoryInitFailure : public Procedure, public ::testing::WithParamInterface<FactoryFault> {};

TEST_P(FactoryInitFailure, StopsWithItsMessage) {
  session.options.doFactoryInit = 1;
  session.step = kWaitFactoryInit;
  interface->failNext(GetParam().request, 1, GetParam().after);
  procedure.FactoryInit();
  EXPECT_EQ(messages(), std::vector<std::string>{GetParam().message});
  EXPECT_EQ(session.step, kWaitFactoryInit);
}

INSTANTIATE_TEST_SUITE_P(Steps, FactoryInitFailure,
                         ::testing::Values(FactoryFault{0xC6, 0, "Could not set the sensor's coarse zero"},
                                           FactoryFault{0xFA, 0, "Could not power cycle the sensor"},
                                           FactoryFault{0xFA, 1, "Could not power cycle the sensor"},
                                           FactoryFault{0x81, 0, "Could not set the sensor's sample size"}));

TEST_F(Procedure, PointButtonBeyondTheRowsIsRefused) {
  procedure.TakePoint1(3);
  EXPECT_EQ(messages().back(), "Parsed datasheet calibration info is invalid");
  EXPECT_EQ(ui.gainRow, -1);  // a Point press clears the chosen gain row
  procedure.TakePoint2(5);
  EXPECT_EQ(messages().size(), 2u);
}

TEST_F(Procedure, AdvanceSkipsDisabledRowsAndWraps) {
  row(1).disable = 1;
  session.options.doFactoryInit = 1;
  session.currentRow = 0;
  EXPECT_FALSE(procedure.AdvanceRow());
  EXPECT_EQ(session.currentRow, 2);
  EXPECT_TRUE(procedure.AdvanceRow());
  EXPECT_EQ(session.currentRow, 0);
  EXPECT_EQ(session.step, kWaitFactoryInit);
  row(0).disable = row(2).disable = 1;
  EXPECT_TRUE(procedure.AdvanceRow());
  EXPECT_EQ(session.currentRow, 0);
}

TEST_F(Procedure, GainForAnUnknownSensorIsReported) {
  session.options.autoGainSet = 1;
  procedure.AdvanceRow();
  EXPECT_EQ(messages().back(), "Failed to set gain: dsid=300, index=1");
}

TEST_F(Procedure, VerifySkipsDisabledRowsAndFindsMismatches) {
  setPoints(0, 10, 1, 20, 2);
  setPoints(1, 10, 1, 20, 2);
  setPoints(2, 10, 1, 20, 2);
  ASSERT_TRUE(procedure.WriteCalibration());
  ASSERT_TRUE(procedure.VerifyCalibration());
  sheet.findMeasurement(13)->type.constants[3] = 2.5;
  EXPECT_FALSE(procedure.VerifyCalibration());
  EXPECT_EQ(messages().back(), "Validation Error: Calibration data mismatch on cal measurement #2!");
  row(2).disable = 1;
  EXPECT_TRUE(procedure.VerifyCalibration());
  interface->failNext(kRequestCalibration);
  EXPECT_FALSE(procedure.VerifyCalibration());
  EXPECT_EQ(messages().back(), "Could not read the calibration data from the EEPROM for validation");
}

TEST_F(Procedure, PostCalInitSendsThreeCommands) {
  EXPECT_TRUE(procedure.SendInitCommand());
  EXPECT_EQ(sleeps.waits, (std::vector<std::uint32_t>{200, 200, 200}));
  EXPECT_EQ(interface->sensor()->initCommandCount, 3);
}

}  // namespace
}  // namespace trimwell
