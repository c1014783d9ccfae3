#include "calibration/calibration_session.h"

#include <algorithm>

#include "platform/format_text.h"

namespace trimwell {

bool CalibrationSession::mayHoldAfterOwnFailedWrite(const std::vector<std::uint8_t>& image) const {
  for (std::size_t i = 0; i < image.size(); ++i) {
    const bool left = std::any_of(failedWriteImages.begin(), failedWriteImages.end(),
                                  [&](const auto& candidate) { return i < candidate.size() && candidate[i] == image[i]; });
    if (!left) return false;
  }
  return true;
}

bool CalibrationSession::effectiveManual1(int row) const {
  if (row < 0 || row >= kCalibrationRows) return false;
  return (options.multipleManualModes != 0 ? rows[static_cast<std::size_t>(row)] : rows[0]).manualPoint1 != 0;
}

bool CalibrationSession::effectiveManual2(int row) const {
  if (row < 0 || row >= kCalibrationRows) return false;
  return (options.multipleManualModes != 0 ? rows[static_cast<std::size_t>(row)] : rows[0]).manualPoint2 != 0;
}

double CalibrationSession::currentReading(const MeasurementConverter* converter) const {
  if (converter == nullptr) return 0.0;
  if (options.dataAveraging != 0) {
    return static_cast<double>(converter->valueSum) / static_cast<double>(converter->sampleCount);
  }
  return converter->value;
}

void CalibrationSession::buildRows() {
  rowCount = 0;
  Datasheet& d = *currentDatasheet;
  for (int i = 0; i < d.measurementCount && i < kMaxMeasurements && rowCount < kCalibrationRows; ++i) {
    Measurement* m = d.measurement(i);
    if (m == nullptr || m->conversionType != kCalibrated) continue;
    fillRow(rowCount, m, false);
    CalibrationRow& row = rows[static_cast<std::size_t>(rowCount)];
    row.point1Raw = m->type.constants[0];
    row.point1Data = m->type.constants[1];
    row.point2Raw = m->type.constants[2];
    row.point2Data = m->type.constants[3];
    for (std::size_t k = 0; k < row.heldLine.size(); ++k) row.heldLine[k] = m->type.constants[k];
    ++rowCount;
  }
}

void CalibrationSession::forgetSensor() {
  currentInterface = nullptr;
  currentDatasheet = nullptr;
  samplingEnabled = false;
  rowCount = 0;
  currentRow = 0;
  step = kWaitPoint1;
  pointsPending = false;
}

void CalibrationSession::resetMinMax() {
  for (int i = 0; i < rowCount && i < kCalibrationRows; ++i) {
    rows[static_cast<std::size_t>(i)].runningMinimum = 1e100;
    rows[static_cast<std::size_t>(i)].runningMaximum = -1e100;
  }
}

void CalibrationSession::fillRow(int index, Measurement* measurement, bool extra) {
  CalibrationRow& row = rows[static_cast<std::size_t>(index)];
  row.measurement = measurement;
  row.sourceMeasurement = measurement->type.source;
  row.converter = converters.FindConverter(measurement);
  row.sourceConverter = converters.FindConverter(row.sourceMeasurement);
  row.extraRow = extra ? 1 : 0;
  row.rowIndex = index;
}

namespace {

// Row settings are kept per measurement ID, so a second row for a measurement
// that has one would take over the first one's settings at the next plug.
std::string extraRowRefusal(const CalibrationSession& s, int measurementId) {
  if (s.currentDatasheet->findMeasurement(measurementId) == nullptr) {
    return formatText("Other Cal Measurement ID %d: the sensor has no measurement with this ID", measurementId);
  }
  for (int i = 0; i < s.rowCount; ++i) {
    const Measurement* m = s.rows[static_cast<std::size_t>(i)].measurement;
    if (m != nullptr && m->id == measurementId) {
      return formatText("Other Cal Measurement ID %d: this measurement already has row %d", measurementId, i + 1);
    }
  }
  return {};
}

}  // namespace

std::vector<std::string> CalibrationSession::setExtraRows(const std::vector<int>& measurementIds) {
  std::vector<std::string> refusals;
  for (int i = 0; i < rowCount; ++i) {
    if (rows[static_cast<std::size_t>(i)].extraRow != 0) {
      rowCount = i;
      break;
    }
  }
  for (const int id : measurementIds) {
    if (currentDatasheet == nullptr) break;
    if (rowCount >= kCalibrationRows) {
      refusals.push_back(formatText("Other Cal Measurement ID %d: all %d rows are in use", id, kCalibrationRows));
      break;
    }
    std::string refusal = extraRowRefusal(*this, id);
    if (!refusal.empty()) {
      refusals.push_back(std::move(refusal));
      continue;
    }
    fillRow(rowCount, currentDatasheet->findMeasurement(id), true);
    ++rowCount;
  }
  return refusals;
}

}  // namespace trimwell
