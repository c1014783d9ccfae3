#include "calibration/calibration_session.h"

namespace trimwell {

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

void CalibrationSession::fillRow(int index, Measurement* measurement, bool extra) {
  CalibrationRow& row = rows[static_cast<std::size_t>(index)];
  row.measurement = measurement;
  row.sourceMeasurement = measurement->type.source;
  row.converter = converters.FindConverter(measurement);
  row.sourceConverter = converters.FindConverter(row.sourceMeasurement);
  row.extraRow = extra ? 1 : 0;
  row.rowIndex = index;
}

}  // namespace trimwell
