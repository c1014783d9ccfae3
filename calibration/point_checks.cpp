// The checks before a point is taken and before a calibration is written: typed
// numbers that are numbers as a whole, lines that are lines, values the sensor's
// calibration block can hold.
#include <cmath>
#include <utility>

#include "calibration/calibration_procedure.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"

namespace trimwell {

bool CalibrationProcedure::typedValueRefused(int point, int r, const CalibrationRow& row) {
  const bool manual = point == 1 ? s_.effectiveManual1(r) : s_.effectiveManual2(r);
  const std::string& dataText = point == 1 ? row.typedPoint1DataText : row.typedPoint2DataText;
  const std::string& rawText = point == 1 ? row.typedPoint1RawText : row.typedPoint2RawText;
  double value = 0.0;
  TypedRefusal why = TypedRefusal::kNone;
  bool raw = false;
  if (!parseTypedNumber(dataText, false, value, &why) || !fitsCalibrationBlock(value)) {
    raw = false;
  } else if (manual && (!parseTypedNumber(rawText, row.rawIsFixedPoint(), value, &why) || !fitsCalibrationBlock(value))) {
    raw = true;
  } else {
    return false;
  }
  ui_.markRefusedField(r, point, raw);
  const char* field = raw ? "Raw" : "Data";
  if (why != TypedRefusal::kNone) {
    ui_.ShowMessage(formatText("Pt%d %s of row %d %s", point, field, r + 1, refusalText(why).c_str()));
  } else {
    ui_.ShowMessage(formatText("Pt%d %s of row %d is %g, which the sensor's calibration block cannot hold: it "
                               "takes numbers from -32768 to 32767.99998",
                               point, field, r + 1, value));
  }
  return true;
}

// Two points with the same raw value define no line: the sensor would read NaN for
// good. Such a calibration is refused before anything is written.
bool CalibrationProcedure::pointsDefineLines() {
  for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) {
    const CalibrationRow& row = s_.rows[static_cast<std::size_t>(r)];
    if (row.disable != 0 || row.extraRow != 0 || row.point1Raw != row.point2Raw) continue;
    ui_.ShowMessage(formatText("The data portion of each calibration point needs to be different\n"
                               "Both points of row %d have the raw value %g, so its line is undefined; "
                               "nothing was written to the sensor.",
                               r + 1, row.point1Raw));
    return false;
  }
  return true;
}

bool CalibrationProcedure::fitsCalibrationBlock(double value) {
  return std::isfinite(value) && value >= -32768.0 && value < 32768.0;
}

// A value the block cannot hold would go in as another one (1e39 as 32767.99998)
// and be read back as written: refused before anything is written, and the
// attempt recorded as such.
bool CalibrationProcedure::pointsFitBlock() {
  for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) {
    const CalibrationRow& row = s_.rows[static_cast<std::size_t>(r)];
    if (row.disable != 0) continue;
    const std::pair<const char*, double> values[] = {{"Pt1 Raw", row.point1Raw},
                                                     {"Pt1 Data", row.point1Data},
                                                     {"Pt2 Raw", row.point2Raw},
                                                     {"Pt2 Data", row.point2Data}};
    for (const auto& [field, value] : values) {
      if (fitsCalibrationBlock(value)) continue;
      message(formatText("%s of row %d is %g, which the sensor's calibration block cannot hold (it takes numbers "
                         "from -32768 to 32767.99998); the calibration was refused and nothing was written to "
                         "the sensor",
                         field, r + 1, value)
                  .c_str());
      WriteOutcome refusal;
      finishOutcome(refusal, false);
      return false;
    }
  }
  return true;
}

}  // namespace trimwell
