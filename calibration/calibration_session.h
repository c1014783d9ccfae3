#pragma once
// What the calibration dialog knows about the sensor it works with: the current
// interface and datasheet, the converters, the six calibration rows with what the
// operator typed into them, the step and the operator's options. The dialog owns
// it; the calibration procedure and the settings store work on it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/converter_set.h"
#include "datasheet/datasheet.h"
#include "calibration/write_outcome.h"
#include "link/device_link.h"

namespace trimwell {

constexpr int kCalibrationRows = 6;

struct CalibrationRow {
  Measurement* measurement = nullptr;
  const Measurement* sourceMeasurement = nullptr;
  MeasurementConverter* converter = nullptr;
  MeasurementConverter* sourceConverter = nullptr;
  int rowIndex = 0;
  double point1Data = 0.0;
  double point2Data = 0.0;
  double point1Raw = 0.0;
  double point2Raw = 0.0;
  double typedPoint1Raw = 0.0;
  double typedPoint2Raw = 0.0;
  std::string typedPoint1RawText;
  std::string typedPoint2RawText;
  // The reference values as the operator typed them: a point reads them afresh,
  // and the settings keep them as typed.
  std::string typedPoint1DataText;
  std::string typedPoint2DataText;
  std::uint8_t disable = 0;
  std::uint8_t manualPoint1 = 0;
  std::uint8_t manualPoint2 = 0;
  std::uint8_t extraRow = 0;
  // The line the sensor holds: its constants as taken up, then as each verified
  // write left them. Between the points the measurement's constants are half new.
  std::array<double, 4> heldLine{};
  double runningMinimum = 1e100;
  double runningMaximum = -1e100;

  // A raw value typed in hex is 16.16 fixed point when the row's source is.
  // Whether the row's reading goes through constants the sensor does not hold yet
  // (a point taken since the last verified write).
  bool readsThroughNewPoints() const {
    if (extraRow != 0 || measurement == nullptr || measurement->conversionType != kCalibrated) return false;
    for (std::size_t k = 0; k < heldLine.size(); ++k) {
      if (measurement->type.constants[k] != heldLine[k]) return true;
    }
    return false;
  }
  bool rawIsFixedPoint() const {
    return sourceMeasurement != nullptr && sourceMeasurement->conversionType == kRawLong;
  }
};

// Each option is the 32-bit value its check box gave (or the settings store read).
struct CalibrationOptions {
  std::uint32_t doFactoryInit = 0;
  std::uint32_t highEepromCal = 1;
  std::uint32_t simultaneousCal = 0;
  std::uint32_t multipleManualModes = 0;
  std::uint32_t postCalInit = 0;
  std::uint32_t autoGainSet = 0;
  std::uint32_t dataAveraging = 0;
  std::uint32_t showRaw = 0;
  std::uint32_t showMinMax = 0;
};

enum CalibrationStep : int { kWaitPoint1 = 0, kWaitPoint2 = 1, kWaitFactoryInit = 2 };

struct CalibrationSession {
  DeviceLink* currentInterface = nullptr;
  Datasheet* currentDatasheet = nullptr;
  ConverterSet converters;
  int rowCount = 0;
  int currentRow = 0;
  std::array<CalibrationRow, kCalibrationRows> rows;
  std::size_t totalSampleSize = 0;
  int step = kWaitPoint1;
  CalibrationOptions options;
  bool verifyRequested = false;
  // Other Cal Measurement IDs as typed or as the settings gave them.
  std::string otherIdsText;
  int selectedGainRow = -1;
  bool samplingEnabled = false;
  // The sensor's image as last known to be in it (read at acceptance, or written
  // since); empty when unknown. A write that failed part-way leaves the sensor
  // holding something else, which the check before the next write then expects.
  std::vector<std::uint8_t> knownImage;
  bool ownWriteFailed = false;
  // What the station's own failed writes since may have left in the sensor: the
  // image it had, the image being written, and what was read back.
  std::vector<std::vector<std::uint8_t>> failedWriteImages;
  // Points taken since the last calibration went in: they live only here.
  bool pointsPending = false;
  // The interface as it was when it came: for the records.
  int interfaceProduct = 0;
  std::string firmwareVersion;

  // Whether the sensor may hold `image` (read as long as knownImage) after this
  // station's own failed write into it: every byte is one of the images that
  // write may have left, as a write stopped part-way leaves the new bytes up to
  // where it stopped and the old ones after. Another sensor of the model, put in
  // meanwhile, has calibration bytes of its own.
  bool mayHoldAfterOwnFailedWrite(const std::vector<std::uint8_t>& image) const;
  bool effectiveManual1(int row) const;
  bool effectiveManual2(int row) const;
  // A converter's reading: its value, or its mean over the last tick with Data
  // Averaging; 0 without a converter.
  double currentReading(const MeasurementConverter* converter) const;
  // Fills row `index` with a measurement, its source and their converters.
  void fillRow(int index, Measurement* measurement, bool extra);
  // The rows of the datasheet's calibrated measurements, their points its constants.
  void buildRows();
  // No sensor in use: no rows, no points pending.
  void forgetSensor();
  // Starts the rows' running minimum and maximum afresh.
  void resetMinMax();
  // Other Cal Measurement IDs: the extra rows become those of the IDs, in order;
  // answers why each ID that got no row got none.
  std::vector<std::string> setExtraRows(const std::vector<int>& measurementIds);
};

// What the procedure needs from the dialog.
class CalibrationUi {
 public:
  virtual ~CalibrationUi() = default;
  virtual int RefreshRows(bool allRows) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  // A typed field that stopped a point (point 1 or 2, its Raw or its Data field):
  // marked for the operator to correct.
  virtual void markRefusedField(int row, int point, bool raw) { (void)row, (void)point, (void)raw; }
  // The row whose gain was chosen, or -1 for none.
  virtual void showGainRow(int row) { (void)row; }
  // Each write into a sensor, as it ended, to be kept.
  virtual void keepOutcome(const WriteOutcome& outcome) { (void)outcome; }
  // A point (1 or 2) of the row was taken: its points and raw values are set.
  virtual void pointTaken(int row, int point) { (void)row, (void)point; }
  // Asks the operator a yes-or-no question; true for yes. Without an operator to
  // ask, the answer is no.
  virtual bool confirm(const std::string& question) {
    (void)question;
    return false;
  }
  // Asked before each write into a sensor (a calibration, or a restore); false
  // stops it with nothing written (its record could not be kept, and the write
  // was not confirmed).
  virtual bool mayWrite(bool restore) {
    (void)restore;
    return true;
  }
};

}  // namespace trimwell
