#include "calibration/calibration_procedure.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "calibration/calibration_options.h"
#include "calibration/datasheet_write.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"

namespace trimwell {
namespace {

constexpr int kPort = 0;
constexpr std::uint32_t kPowerOffWaitMs = 500;
constexpr std::uint32_t kPowerSettleMs = 1000;
constexpr std::uint32_t kInitCommandWaitMs = 200;
constexpr int kInitCommandRepeats = 3;
constexpr int kSamplingParameter = 100;
constexpr int kFactorySampleSize = 2;

constexpr const char* kInvalidRows = "Parsed datasheet calibration info is invalid";

void putFixed(std::vector<std::uint8_t>& block, std::size_t at, double value) {
  const auto raw = static_cast<std::uint32_t>(toFixed(value));
  for (int i = 0; i < 4; ++i) block[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(raw >> (8 * i));
}

std::int32_t fixedAt(const std::vector<std::uint8_t>& block, std::size_t at) {
  return static_cast<std::int32_t>(block[at] | block[at + 1] << 8 | block[at + 2] << 16 |
                                   static_cast<std::uint32_t>(block[at + 3]) << 24);
}

}  // namespace

void CalibrationProcedure::FactoryInit() {
  if (!rowsValid()) {
    message(kInvalidRows);
    return;
  }
  if (s_.options.doFactoryInit != 0) {
    DeviceLink* link = s_.currentInterface;
    if (link == nullptr || !link->sendSensorCommand(kPort, kSensorCommandInit)) {
      message("Could not set the sensor's coarse zero");
      return;
    }
    sleeper().sleep(kPowerOffWaitMs);
    bool cycled = link->setSensorPower(false);
    if (cycled) {
      sleeper().sleep(kPowerSettleMs);
      cycled = link->setSensorPower(true);
      sleeper().sleep(kPowerSettleMs);
    }
    if (!cycled) {
      message("Could not power cycle the sensor");
      return;
    }
    if (!link->setSampleConfig(kPort, kSamplingParameter, kFactorySampleSize, 0, 0, 1, 0)) {
      message("Could not set the sensor's sample size");
      return;
    }
    // The points that follow are read from live samples, which need the whole sample
    // size again; with the factory size of 2 every read would come back short.
    if (s_.totalSampleSize > 0 &&
        !link->setSampleConfig(kPort, kSamplingParameter, static_cast<int>(s_.totalSampleSize), 0, 0, 1, 0)) {
      message("Could not set the sensor's sample size");
      return;
    }
  }
  s_.step = kWaitPoint1;
  ui_.RefreshRows(false);
}

void CalibrationProcedure::TakePoint1(int row) {
  ui_.showGainRow(-1);
  if (!rowsValid() || row >= s_.rowCount || row < 0) {
    message(kInvalidRows);
    return;
  }
  const bool alsoPoint2 = s_.effectiveManual1(row) || s_.effectiveManual2(row);
  if (!typedValuesAreNumbers(1) || (alsoPoint2 && !typedValuesAreNumbers(2))) return;
  CapturePoint1();
  if (alsoPoint2) CapturePoint2();
}

void CalibrationProcedure::TakePoint2(int row) {
  if (!rowsValid() || row >= s_.rowCount || row < 0) {
    message(kInvalidRows);
    return;
  }
  if (s_.effectiveManual1(row) || s_.effectiveManual2(row)) return;
  if (!typedValuesAreNumbers(2)) return;
  CapturePoint2();
}

template <typename Capture>
void CalibrationProcedure::captureRows(Capture&& capture) {
  if (s_.options.simultaneousCal != 0) {
    for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) capture(r, s_.rows[static_cast<std::size_t>(r)]);
  } else if (s_.currentRow >= 0 && s_.currentRow < kCalibrationRows) {
    capture(s_.currentRow, s_.rows[static_cast<std::size_t>(s_.currentRow)]);
  }
}

// Every field the point will take from must hold a number as a whole, one that the
// calibration block can keep; the first that does not is marked and named, and the
// point is not taken.
bool CalibrationProcedure::typedValuesAreNumbers(int point) {
  bool allNumbers = true;
  captureRows([&](int r, CalibrationRow& row) {
    if (allNumbers && row.disable == 0 && typedValueRefused(point, r, row)) allNumbers = false;
  });
  return allNumbers;
}

void CalibrationProcedure::CapturePoint1() {
  captureRows([this](int r, CalibrationRow& row) {
    row.point1Data = typedValue(row.typedPoint1DataText, false);
    row.point1Raw = s_.effectiveManual1(r) ? row.typedPoint1Raw : s_.currentReading(row.sourceConverter);
    if (row.extraRow == 0 && row.measurement != nullptr) {
      row.measurement->type.constants[0] = row.point1Raw;
      row.measurement->type.constants[1] = row.point1Data;
    }
    if (row.disable == 0) ui_.pointTaken(r, 1);
  });
  s_.pointsPending = true;
  s_.step = kWaitPoint2;
  ui_.RefreshRows(false);
}

void CalibrationProcedure::CapturePoint2() {
  captureRows([this](int r, CalibrationRow& row) {
    row.point2Data = typedValue(row.typedPoint2DataText, false);
    row.point2Raw = s_.effectiveManual2(r) ? row.typedPoint2Raw : s_.currentReading(row.sourceConverter);
    if (row.extraRow == 0 && row.measurement != nullptr) {
      row.measurement->type.constants[2] = row.point2Raw;
      row.measurement->type.constants[3] = row.point2Data;
    }
    if (row.disable == 0) ui_.pointTaken(r, 2);
  });
  s_.pointsPending = true;
  if (s_.options.simultaneousCal != 0) {
    WriteCalibration();
  } else if (AdvanceRow()) {
    WriteCalibration();
  }
  ui_.RefreshRows(false);
}

bool CalibrationProcedure::AdvanceRow() {
  s_.step = kWaitPoint1;
  bool wrapped = false;
  if (s_.options.simultaneousCal != 0 || s_.rowCount == 0) return false;
  for (int pass = 0; pass < s_.rowCount && pass < kCalibrationRows; ++pass) {
    if (++s_.currentRow >= s_.rowCount) {
      s_.currentRow = 0;
      wrapped = true;
      if (s_.options.doFactoryInit != 0) s_.step = kWaitFactoryInit;
    }
    if (s_.rows[static_cast<std::size_t>(s_.currentRow)].disable != 0) continue;
    if (s_.options.autoGainSet != 0 && !SetGain(s_.currentRow)) {
      const int sensorId = s_.currentDatasheet != nullptr ? s_.currentDatasheet->sensorId : 0;
      ui_.ShowMessage(formatText("Failed to set gain: dsid=%d, index=%d", sensorId, s_.currentRow));
    }
    break;
  }
  return wrapped;
}

std::vector<std::uint8_t> CalibrationProcedure::calibrationBlock(const CalibrationSession& session) {
  const int rows = std::min(session.rowCount, kCalibrationRows);
  std::vector<std::uint8_t> block(static_cast<std::size_t>(std::max(rows, 0)) * kCalibrationRecordSize, 0);
  for (int r = 0; r < rows; ++r) {
    const CalibrationRow& row = session.rows[static_cast<std::size_t>(r)];
    if (row.rowIndex < 0 || row.rowIndex >= rows) continue;  // a record must stay inside the block
    const std::size_t at = static_cast<std::size_t>(row.rowIndex) * kCalibrationRecordSize;
    putFixed(block, at, row.point1Raw);
    putFixed(block, at + 4, row.point1Data);
    putFixed(block, at + 8, row.point2Raw);
    putFixed(block, at + 12, row.point2Data);
  }
  return block;
}

constexpr const char* kSwappedSensor = "The sensor was changed during the calibration; nothing was written to it";
constexpr const char* kAsFoundUnread =
    "Could not read the sensor's datasheet and calibration before writing; nothing was written to it";

// The sensor's state before anything is written, kept in the outcome. It also tells
// whether this is still the sensor whose points were taken: another one, even of
// the same model, holds another image. After this station's own write failed
// part-way the sensor holds something else by right, and the write goes on.
bool CalibrationProcedure::readAsFound(WriteOutcome& outcome, std::size_t calibrationLength) {
  DeviceLink& link = *s_.currentInterface;
  std::size_t length = s_.knownImage.size();
  std::size_t returned = 0;
  if (length == 0) {
    std::uint8_t head[8] = {};
    if (!link.readDatasheet(kPort, head, sizeof head, &returned) || returned != sizeof head) {
      message(kAsFoundUnread);
      return false;
    }
    if (!s_.ownWriteFailed && (head[0] | head[1] << 8) != s_.currentDatasheet->sensorId) {
      outcome.sensorChanged = true;
      message(kSwappedSensor);
      return false;
    }
    // As the scanner reads it, kept to what one transfer can carry.
    length = std::min(static_cast<std::size_t>(announcedImageLength(head)), kMaxControlTransfer);
  }
  outcome.asFound.image.assign(length, 0);
  if (!link.readDatasheet(kPort, outcome.asFound.image.data(), length, &returned) || returned != length) {
    message(kAsFoundUnread);
    return false;
  }
  // A message, a failure or a pause gave the operator time to put another sensor
  // in: it is looked for before every write, after this station's own failed
  // write too.
  const bool same = s_.ownWriteFailed ? s_.mayHoldAfterOwnFailedWrite(outcome.asFound.image)
                                      : outcome.asFound.image == s_.knownImage;
  if (!s_.knownImage.empty() && !same) {
    outcome.sensorChanged = true;
    message(kSwappedSensor);
    return false;
  }
  outcome.asFound.calibration.assign(calibrationLength, 0);
  if (calibrationLength > 0 &&
      (!link.readCalibration(kPort, kCalibrationBlockSelector, outcome.asFound.calibration.data(), calibrationLength,
                             &returned) ||
       returned != calibrationLength)) {
    message(kAsFoundUnread);
    return false;
  }
  return true;
}

// A read-back counts only when every byte came back: a short answer would leave
// zeros in the buffer that could pass for the data.
bool CalibrationProcedure::recheckCalibrationBlock(const std::vector<std::uint8_t>& block, const char* readFailure,
                                                   const char* mismatch) {
  std::vector<std::uint8_t> back(block.size(), 0);
  std::size_t returned = 0;
  if (!s_.currentInterface->readCalibration(kPort, kCalibrationBlockSelector, back.data(), back.size(), &returned) ||
      returned != back.size()) {
    message(readFailure);
    return false;
  }
  if (attempt_ != nullptr) attempt_->asLeft.calibration = back;
  if (back != block) {
    message(mismatch);
    return false;
  }
  return true;
}

bool CalibrationProcedure::writeCalibrationBlock(const std::vector<std::uint8_t>& block) {
  if (!s_.currentInterface->writeCalibration(kPort, kCalibrationBlockSelector, block.data(), block.size())) {
    message("Could not write the calibration data to the EEPROM");
    return false;
  }
  return recheckCalibrationBlock(block, "Could not read the calibration data from the EEPROM for comparison (1)",
                                 "Calibration data did not write properly to the EEPROM");
}

// The image to write, made before anything is written: one the interface cannot
// take in one transfer would fail after the calibration block already went in.
bool CalibrationProcedure::encodeDatasheetImage(std::vector<std::uint8_t>& image) {
  image.assign(kMaxImageLength, 0);
  std::size_t length = 0;
  if (!s_.currentDatasheet->encode(image.data(), image.size(), &length) || length <= 6) {
    message("Could not unparse the datasheet");
    return false;
  }
  image.resize(length);
  if (length > kMaxControlTransfer) {
    ui_.ShowMessage(formatText("The datasheet is %zu bytes long, more than the %zu bytes the interface takes in "
                               "one transfer; nothing was written to the sensor",
                               length, kMaxControlTransfer));
    return false;
  }
  return fitsSensor(length);
}

bool CalibrationProcedure::fitsSensor(std::size_t length) {
  std::string why;
  if (imageFitsSensor(s_, length, why)) return true;
  message(why.c_str());
  return false;
}

bool CalibrationProcedure::writeDatasheetImage(const std::vector<std::uint8_t>& image) {
  const std::size_t length = image.size();
  if (!s_.currentInterface->writeDatasheet(kPort, image.data(), length)) {
    message("Could not write the datasheet to the sensor");
    return false;
  }
  std::vector<std::uint8_t> back(kMaxImageLength, 0);
  std::size_t returned = 0;
  if (!s_.currentInterface->readDatasheet(kPort, back.data(), length, &returned) || returned != length) {
    message("Could not read the sensor's datasheet");
    return false;
  }
  if (attempt_ != nullptr) attempt_->asLeft.image.assign(back.begin(), back.begin() + static_cast<long>(length));
  if (std::memcmp(image.data(), back.data(), length) != 0) {
    message("datasheet did not write properly");
    return false;
  }
  return true;
}

bool CalibrationProcedure::WriteCalibration() {
  if (!pointsDefineLines() || !pointsFitBlock() || !ui_.mayWrite(false)) return false;
  for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) {
    CalibrationRow& row = s_.rows[static_cast<std::size_t>(r)];
    if (row.disable != 0) {
      row.point1Raw = 0.0;
      row.point1Data = 0.0;
      row.point2Raw = 1.0;
      row.point2Data = 0.0;
    } else if (row.extraRow == 0 && (row.point1Data == row.point2Data || row.point1Raw == row.point2Raw)) {
      message("The data portion of each calibration point needs to be different");
    }
    if (row.extraRow == 0 && row.measurement != nullptr) {
      row.measurement->type.constants[0] = row.point1Raw;
      row.measurement->type.constants[1] = row.point1Data;
      row.measurement->type.constants[2] = row.point2Raw;
      row.measurement->type.constants[3] = row.point2Data;
    }
  }
  if (s_.currentInterface == nullptr || s_.currentDatasheet == nullptr) {
    message("Could not write the calibration data to the EEPROM");
    return false;
  }
  std::vector<std::uint8_t> image;
  std::string why;
  if (!encodeDatasheetImage(image)) return false;
  if (!keepsImageAsRead(*s_.currentDatasheet, image, why)) {
    message(why.c_str());
    return false;
  }
  WriteOutcome outcome;
  const bool written = writeImageAndBlock(image, calibrationBlock(s_), s_.options.highEepromCal != 0, outcome);
  if (written) {
    for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) {
      CalibrationRow& row = s_.rows[static_cast<std::size_t>(r)];
      if (row.extraRow == 0 && row.measurement != nullptr) {
        std::copy_n(row.measurement->type.constants.begin(), row.heldLine.size(), row.heldLine.begin());
      }
    }
  }
  const bool initialised = written && (s_.options.postCalInit == 0 || SendInitCommand());
  if (written && !initialised) message("Failed to send post-cal init command to sensor");
  if (written) s_.pointsPending = false;
  finishOutcome(outcome, initialised);
  return initialised;
}

// The write sequence after the as-found read: the calibration block (when asked
// for) with its read-back, the datasheet with its read-back, then the block again,
// which a long datasheet could have overwritten.
bool CalibrationProcedure::writeImageAndBlock(const std::vector<std::uint8_t>& image,
                                              const std::vector<std::uint8_t>& block, bool withBlock,
                                              WriteOutcome& outcome, bool asFoundRead) {
  lastMessage_.clear();
  attempt_ = &outcome;
  const bool ok = [&] {
    if (!asFoundRead && !readAsFound(outcome, block.size())) return false;
    s_.ownWriteFailed = true;  // until the sensor is known to hold what was written
    if (withBlock && !writeCalibrationBlock(block)) return false;
    if (!writeDatasheetImage(image)) return false;
    if (withBlock &&
        !recheckCalibrationBlock(block, "Could not read the calibration data from the EEPROM for comparison (2)",
                                 "Calibration data was corrupted by the datasheet")) {
      return false;
    }
    s_.knownImage = image;
    s_.ownWriteFailed = false;
    s_.failedWriteImages.clear();
    return true;
  }();
  attempt_ = nullptr;
  if (!ok && s_.ownWriteFailed) {
    s_.failedWriteImages.push_back(s_.knownImage);
    s_.failedWriteImages.push_back(image);
    s_.failedWriteImages.push_back(outcome.asLeft.image);
  }
  return ok;
}

void CalibrationProcedure::finishOutcome(WriteOutcome& outcome, bool success) {
  outcome.success = success;
  // A note made before the write (the operator's confirmation) follows the outcome.
  const std::string note = outcome.result;
  outcome.result = success ? "written and verified" : lastMessage_;
  if (!note.empty()) outcome.result += "; " + note;
  const DeviceLink* link = s_.currentInterface;
  outcome.interfaceKind = link != nullptr && link->interfaceNumber == kWirelessInterface ? "wireless" : "USB";
  outcome.interfaceProduct = s_.interfaceProduct;
  outcome.firmwareVersion = s_.firmwareVersion;
  if (const Datasheet* d = s_.currentDatasheet) {
    outcome.sensorId = d->sensorId;
    outcome.datasheetName = toUtf8(d->name.text);
    outcome.datasheetVersion = d->versionString();
  }
  // A restore has the rows of the image it wrote and the options of its outcome.
  if (!outcome.restore) {
    rowsOfSession(outcome);
    outcome.options = optionsText(s_.options);
  }
  ui_.keepOutcome(outcome);
}

void CalibrationProcedure::rowsOfSession(WriteOutcome& outcome) const {
  outcome.rows.clear();
  for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) {
    const CalibrationRow& row = s_.rows[static_cast<std::size_t>(r)];
    WrittenRow x;
    if (row.measurement != nullptr) {
      x.measurementId = row.measurement->id;
      x.name = toUtf8(row.measurement->primaryText.text);
      for (std::size_t k = 0; k < 4; ++k) x.constants[k] = row.measurement->type.constants[k];
    }
    x.point1Raw = row.point1Raw;
    x.point1Data = row.point1Data;
    x.point2Raw = row.point2Raw;
    x.point2Data = row.point2Data;
    x.leftOut = row.disable != 0;
    x.extra = row.extraRow != 0;
    outcome.rows.push_back(x);
  }
}

// A record's state goes back only when it is one a sensor can hold: an image that
// decodes as this model's datasheet, and a block of whole rows. A record damaged
// in its file would otherwise leave the sensor without a usable datasheet.
bool CalibrationProcedure::restorable(const RestoreSource& from, bool asFound, Datasheet& decoded) {
  const char* state = asFound ? "as-found" : "as-left";
  if (from.sensorId != s_.currentDatasheet->sensorId) {
    ui_.ShowMessage(formatText("Record %lld is of a sensor %d, the plugged sensor is a %d; nothing was written to it",
                               from.number, from.sensorId, s_.currentDatasheet->sensorId));
    return false;
  }
  const std::vector<std::uint8_t>& image = asFound ? from.asFound.image : from.asLeft.image;
  const std::vector<std::uint8_t>& block = asFound ? from.asFound.calibration : from.asLeft.calibration;
  if (image.size() <= 6 || image.size() > kMaxControlTransfer) {
    ui_.ShowMessage(formatText("Record %lld holds no whole %s datasheet image; nothing was written to the sensor",
                               from.number, state));
    return false;
  }
  if (!fitsSensor(image.size())) return false;
  if (!decoded.decode(image.data(), image.size()) || decoded.status != kDatasheetOk ||
      decoded.sensorId != from.sensorId) {
    ui_.ShowMessage(formatText("Record %lld's %s datasheet image is damaged (it does not read as a datasheet of a "
                               "sensor %d); nothing was written to the sensor",
                               from.number, state, from.sensorId));
    return false;
  }
  if (block.size() % kCalibrationRecordSize != 0 || block.size() > kCalibrationRows * kCalibrationRecordSize) {
    ui_.ShowMessage(formatText("Record %lld's %s calibration block is %zu bytes long, not whole rows of %zu bytes; "
                               "nothing was written to the sensor",
                               from.number, state, block.size(), kCalibrationRecordSize));
    return false;
  }
  return true;
}

namespace {

std::string describeImage(const std::vector<std::uint8_t>& image) {
  Datasheet d;
  if (!d.decode(image.data(), image.size()) || d.status != kDatasheetOk) {
    return formatText("an image of %zu bytes that does not read as a datasheet", image.size());
  }
  return formatText("\"%s\", datasheet %s, %zu bytes", toUtf8(d.name.text).c_str(), d.versionString().c_str(),
                    image.size());
}

std::size_t bytesDiffering(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  std::size_t count = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) count += a[i] != b[i] ? 1 : 0;
  return count;
}

}  // namespace

// A sensor holding neither of the record's states may be another unit of the
// model, or one calibrated since: the operator says whether it is to be written
// over, seeing what differs, and the answer is kept in the restore's outcome.
bool CalibrationProcedure::confirmForeignSensor(const RestoreSource& from, bool asFound,
                                                WriteOutcome& outcome) {
  if (outcome.asFound.image == from.asFound.image || outcome.asFound.image == from.asLeft.image) return true;
  const std::vector<std::uint8_t>& image = asFound ? from.asFound.image : from.asLeft.image;
  const std::string difference =
      formatText("the sensor holds %s, which is neither record %lld's as-found state (%s) nor its as-left state "
                 "(%s); %zu bytes differ from the %s state to be written",
                 describeImage(outcome.asFound.image).c_str(), from.number, describeImage(from.asFound.image).c_str(),
                 describeImage(from.asLeft.image).c_str(), bytesDiffering(outcome.asFound.image, image),
                 asFound ? "as-found" : "as-left");
  std::string question = difference;
  question[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(question[0])));
  if (!ui_.confirm(question + ".\nWrite the record's state into this sensor anyway?")) {
    ui_.ShowMessage("Restore cancelled; nothing was written to the sensor");
    return false;
  }
  outcome.result = "confirmed by the operator: " + difference;
  return true;
}

// The rows a restore wrote: the calibrated measurements of the image that went in.
void CalibrationProcedure::rowsOfImage(const Datasheet& written, WriteOutcome& outcome) {
  outcome.rows.clear();
  for (int i = 0; i < written.measurementCount && i < kMaxMeasurements; ++i) {
    const Measurement* m = written.measurement(i);
    if (m == nullptr || m->conversionType != kCalibrated) continue;
    WrittenRow x;
    x.measurementId = m->id;
    x.name = toUtf8(m->primaryText.text);
    for (std::size_t k = 0; k < 4; ++k) x.constants[k] = m->type.constants[k];
    x.point1Raw = x.constants[0];
    x.point1Data = x.constants[1];
    x.point2Raw = x.constants[2];
    x.point2Data = x.constants[3];
    outcome.rows.push_back(x);
  }
}

bool CalibrationProcedure::restore(const RestoreSource& from, bool asFound) {
  if (s_.currentInterface == nullptr || s_.currentDatasheet == nullptr) {
    message("There is no sensor to restore; nothing was written");
    return false;
  }
  Datasheet decoded;
  if (!restorable(from, asFound, decoded)) return false;
  const std::vector<std::uint8_t>& image = asFound ? from.asFound.image : from.asLeft.image;
  const std::vector<std::uint8_t>& block = asFound ? from.asFound.calibration : from.asLeft.calibration;
  if (!ui_.mayWrite(true)) return false;
  WriteOutcome outcome;
  outcome.restore = true;
  outcome.restoredFrom = from.number;
  outcome.restoredFromUuid = from.uuid;
  outcome.options = from.options;
  rowsOfImage(decoded, outcome);
  lastMessage_.clear();
  if (!readAsFound(outcome, block.size())) {
    finishOutcome(outcome, false);
    return false;
  }
  if (!confirmForeignSensor(from, asFound, outcome)) return false;
  const bool ok = writeImageAndBlock(image, block, !block.empty(), outcome, true);
  finishOutcome(outcome, ok);
  return ok;
}

bool CalibrationProcedure::SendInitCommand() {
  for (int i = 0; i < kInitCommandRepeats; ++i) {
    if (s_.currentInterface == nullptr || !s_.currentInterface->sendSensorCommand(kPort, kSensorCommandInit)) {
      message("Could not send factory init cmd");
      return false;
    }
    sleeper().sleep(kInitCommandWaitMs);
  }
  return true;
}

bool CalibrationProcedure::VerifyCalibration() {
  if (s_.currentInterface == nullptr || s_.currentDatasheet == nullptr || s_.rowCount == 0 ||
      s_.rowCount > kCalibrationRows) {
    return false;
  }
  const std::size_t length = static_cast<std::size_t>(s_.rowCount) * kCalibrationRecordSize;
  std::vector<std::uint8_t> block(length, 0);
  std::size_t returned = 0;
  if (!s_.currentInterface->readCalibration(kPort, kCalibrationBlockSelector, block.data(), length, &returned) ||
      returned != length) {
    message("Could not read the calibration data from the EEPROM for validation");
    return false;
  }
  for (int r = 0; r < s_.rowCount; ++r) {
    const CalibrationRow& row = s_.rows[static_cast<std::size_t>(r)];
    if (row.disable != 0 || row.extraRow != 0 || row.measurement == nullptr) continue;
    if (row.rowIndex < 0 || row.rowIndex >= s_.rowCount) continue;
    const std::size_t at = static_cast<std::size_t>(row.rowIndex) * kCalibrationRecordSize;
    for (int k = 0; k < 4; ++k) {
      if (fixedAt(block, at + 4 * static_cast<std::size_t>(k)) != toFixed(row.measurement->type.constants[static_cast<std::size_t>(k)])) {
        ui_.ShowMessage(formatText("Validation Error: Calibration data mismatch on cal measurement #%d!", r));
        return false;
      }
    }
  }
  return true;
}

bool CalibrationProcedure::SetGain(int gainIndex) {
  if (s_.currentInterface == nullptr || s_.currentDatasheet == nullptr) return false;
  return s_.currentInterface->sendGain(kPort, s_.currentDatasheet->sensorId, gainIndex);
}

void CalibrationProcedure::SelectGain(int row) {
  if (s_.currentInterface == nullptr || s_.currentDatasheet == nullptr) return;
  ui_.showGainRow(row);
  s_.selectedGainRow = row;
  SetGain(row);
}

}  // namespace trimwell
