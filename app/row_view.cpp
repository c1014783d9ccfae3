#include "app/row_view.h"

#include <algorithm>
#include <cmath>

#include "app/control_ids.h"
#include "app/control_tables.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"

namespace trimwell {

void RowView::refreshGlobalControls() {
  for (int id : {ids::kDoFactoryInit, ids::kHighEepromCal, ids::kSimultaneousCal, ids::kDoPostCalInit,
                 ids::kFactoryInit, ids::kDataAveraging, ids::kVerify, ids::kResetMinMax, ids::kShowRaw, ids::kSet,
                 ids::kShowMinMax, ids::kMultipleManualModes, ids::kOtherCalIds}) {
    if (!controls_.exists(id)) return;
  }
  const CalibrationOptions& o = session_.options;
  const bool rows = session_.rowCount > 0;
  controls_.show(ids::kSimultaneousCal, session_.rowCount > 1);
  for (int id : {ids::kDoFactoryInit, ids::kHighEepromCal, ids::kSet, ids::kOtherCalIds, ids::kMultipleManualModes,
                 ids::kDoPostCalInit, ids::kAutoGainSet, ids::kDataAveraging, ids::kShowRaw, ids::kShowMinMax,
                 ids::kVerify}) {
    controls_.show(id, rows);
  }
  controls_.show(ids::kResetMinMax, rows && o.showMinMax != 0);
  if (controls_.exists(ids::kOnlyWhenStable)) controls_.show(ids::kOnlyWhenStable, rows);
  controls_.show(ids::kFactoryInit, o.doFactoryInit != 0 && rows);
  controls_.enable(ids::kFactoryInit, session_.step == kWaitFactoryInit);
  controls_.setFocus(ids::kFactoryInit);
}

void RowView::refreshRow(int i) {
  for (const RowColumn& column : rowColumns()) {
    if (!controls_.exists(column.baseId + i)) return;
  }
  const CalibrationOptions& o = session_.options;
  CalibrationRow& row = session_.rows[static_cast<std::size_t>(i)];
  const bool inUse = i < session_.rowCount;
  const bool m1 = session_.effectiveManual1(i);
  const bool m2 = session_.effectiveManual2(i);

  controls_.show(ids::kRowCheck + i, inUse);
  const bool manualShown = inUse && (o.multipleManualModes != 0 || i == 0);
  controls_.show(ids::kManual1 + i, manualShown);
  controls_.show(ids::kManual2 + i, manualShown);
  controls_.setChecked(ids::kRowCheck + i, row.disable != 0);
  controls_.setChecked(ids::kManual1 + i, row.manualPoint1 != 0);
  controls_.setChecked(ids::kManual2 + i, row.manualPoint2 != 0);

  const bool offered = inUse && (o.simultaneousCal == 0 || i == 0);
  controls_.show(ids::kPoint1 + i, offered);
  controls_.show(ids::kPoint2 + i, offered && !m1 && !m2);
  controls_.setText(ids::kPoint1 + i, m1 || m2 ? "Calibrate" : "Point 1");

  for (int base : {ids::kPt1Data, ids::kPt2Data, ids::kPt1Raw, ids::kPt2Raw, ids::kMeasurement}) {
    controls_.show(base + i, inUse);
  }
  controls_.show(ids::kRaw + i, inUse && o.showRaw != 0);
  if (controls_.exists(ids::kStability + i)) controls_.show(ids::kStability + i, inUse);
  controls_.show(ids::kMinimum + i, inUse && o.showMinMax != 0);
  controls_.show(ids::kMaximum + i, inUse && o.showMinMax != 0);
  controls_.show(ids::kGain + i, inUse && o.autoGainSet != 0);

  controls_.setReadOnly(ids::kPt1Raw + i, !m1);
  controls_.setReadOnly(ids::kPt2Raw + i, !m2);
  controls_.setText(ids::kPt1Raw + i, m1 ? row.typedPoint1RawText : std::string());
  controls_.setText(ids::kPt2Raw + i, m2 ? row.typedPoint2RawText : std::string());

  if (offered) {
    // Simultaneous Cal offers its Point buttons on row 0 for every row, whatever row
    // the sequential order had reached.
    const bool current = o.simultaneousCal != 0 ? i == 0 : i == session_.currentRow;
    controls_.enable(ids::kPoint1 + i, session_.step == kWaitPoint1 && current);
    if (session_.step == kWaitPoint1 && current) controls_.setFocus(ids::kPoint1 + i);
    controls_.enable(ids::kPoint2 + i, session_.step == kWaitPoint2 && current);
    if (session_.step == kWaitPoint2 && current) controls_.setFocus(ids::kPoint2 + i);
  }
  if (row.disable != 0) {
    controls_.enable(ids::kPoint1 + i, false);
    controls_.enable(ids::kPoint2 + i, false);
  }
  for (int base : {ids::kPt1Data, ids::kPt2Data, ids::kPt1Raw, ids::kPt2Raw}) {
    controls_.enable(base + i, row.disable == 0);
  }
}

int RowView::refresh(bool allRows) {
  refreshGlobalControls();
  const int last = allRows ? kCalibrationRows : std::min(session_.rowCount, kCalibrationRows);
  for (int i = 0; i < last; ++i) refreshRow(i);
  applyColours();
  return last;
}

std::int32_t RowView::controlColour(int id) const {
  if (session_.options.autoGainSet == 0 || session_.selectedGainRow < 0) return kDefaultColour;
  int row = -1;
  for (int base : {ids::kMeasurement, ids::kMaximum, ids::kMinimum, ids::kRaw}) {
    if (ids::inRow(id, base, row)) return row == session_.selectedGainRow ? kRed : kDefaultColour;
  }
  return kDefaultColour;
}

void RowView::applyColours() {
  for (int base : {ids::kMeasurement, ids::kMaximum, ids::kMinimum, ids::kRaw}) {
    for (int i = 0; i < kCalibrationRows; ++i) controls_.setTextColour(base + i, controlColour(base + i));
  }
}

// The raw reading in hexadecimal, as the sensor counts; a raw value with a fraction
// (a mean, or a derived source) as the number it is, which hex would cut.
std::string RowView::rawText(const CalibrationRow& row) const {
  if (row.sourceMeasurement == nullptr || row.sourceConverter == nullptr) return "0x0";
  const double reading = session_.currentReading(row.sourceConverter);
  if (!std::isfinite(reading)) return "\u2014";
  const bool fixed = row.sourceMeasurement->conversionType == kRawLong;
  const double scaled = fixed ? reading * 65536.0 : reading;
  if (!fixed && scaled != std::trunc(scaled)) return formatText("%.8g", reading);
  const auto raw = static_cast<long long>(std::trunc(std::clamp(scaled, -9.2e18, 9.2e18)));
  return formatText("0x%x", static_cast<unsigned>(raw));
}

// Why a reading is no number: a calibrated row whose two points share a raw value
// has no line to read through; anything else comes from the conversion itself.
std::string RowView::whyNotFinite(const CalibrationRow& row) const {
  const Measurement* m = row.measurement;
  if (m != nullptr && m->conversionType == kCalibrated && m->type.constants[0] == m->type.constants[2]) {
    return formatText("No reading: both points of this row have the raw value %g, so its calibration line is "
                      "undefined. Take the points again at two different raw values.",
                      m->type.constants[0]);
  }
  return "No reading: the conversion of the sensor's sample gives no finite number (a division by zero, or a value "
         "beyond range).";
}

void RowView::showRow(int i) {
  CalibrationRow& row = session_.rows[static_cast<std::size_t>(i)];
  const Measurement* m = row.measurement;
  const double value = session_.currentReading(row.converter);
  const bool newPoints = row.readsThroughNewPoints();
  const std::string name = m != nullptr ? toUtf8(m->primaryText.text) : "???";
  const std::string units = m != nullptr ? toUtf8(m->secondaryText.text) : "???";
  const int reading = ids::kMeasurement + i;
  if (m != nullptr && m->conversionType == kText) {
    controls_.setText(reading, name + ": " + toUtf8(m->type.text.text));
    controls_.setToolTip(reading, "");
  } else if (!std::isfinite(value)) {
    controls_.setText(reading, formatText("%s = \u2014 %s", name.c_str(), units.c_str()));
    controls_.setToolTip(reading, whyNotFinite(row));
  } else {
    row.runningMaximum = std::max(row.runningMaximum, value);
    row.runningMinimum = std::min(row.runningMinimum, value);
    controls_.setText(reading, formatText("%s = %s %s%s", name.c_str(), fixedNumber(value, 4).c_str(), units.c_str(),
                                          newPoints ? " (through the new points, not yet written)" : ""));
    const std::string hint = m != nullptr ? toUtf8(m->extensionText.text) : std::string();
    controls_.setToolTip(reading, hint.empty() ? std::string() : name + ": " + hint);
  }
  // Settling is judged through the line the sensor holds: between the points the
  // reading's line is half new (Point 1 with the old Point 2), and could stand
  // still, or be no number, while the raw input still moves.
  hold_.addReading(i, newPoints ? calibratedReading(row.heldLine.data(), session_.currentReading(row.sourceConverter))
                                : value);
  controls_.setText(ids::kStability + i, hold_.rowStable(i) ? "stable" : "settling");
  controls_.setText(ids::kRaw + i, rawText(row));
  // Until a finite reading came, there is no least or greatest one to show.
  const bool seen = row.runningMinimum <= row.runningMaximum;
  controls_.setText(ids::kMinimum + i, seen ? fixedNumber(row.runningMinimum, 4) : "\u2014");
  controls_.setText(ids::kMaximum + i, seen ? fixedNumber(row.runningMaximum, 4) : "\u2014");
}

void RowView::onTypedRaw(int row, bool point2) {
  if (row >= session_.rowCount) return;
  if (!(point2 ? session_.effectiveManual2(row) : session_.effectiveManual1(row))) return;
  CalibrationRow& r = session_.rows[static_cast<std::size_t>(row)];
  const std::string text = controls_.text((point2 ? ids::kPt2Raw : ids::kPt1Raw) + row);
  (point2 ? r.typedPoint2RawText : r.typedPoint1RawText) = text;
  (point2 ? r.typedPoint2Raw : r.typedPoint1Raw) = typedValue(text, r.rawIsFixedPoint());
}

void RowView::onTypedData(int row, bool point2) {
  CalibrationRow& r = session_.rows[static_cast<std::size_t>(row)];
  const std::string text = controls_.text((point2 ? ids::kPt2Data : ids::kPt1Data) + row);
  (point2 ? r.typedPoint2DataText : r.typedPoint1DataText) = text;
  (point2 ? r.point2Data : r.point1Data) = typedValue(text, false);
}

void RowView::showOptions() {
  for (const OptionControl& option : optionControls()) {
    controls_.setChecked(option.id, session_.options.*option.member != 0);
  }
}

void RowView::markRefused(int row, int point, bool raw) {
  const int base = raw ? (point == 1 ? ids::kPt1Raw : ids::kPt2Raw) : (point == 1 ? ids::kPt1Data : ids::kPt2Data);
  controls_.setTextColour(base + row, kRed);
}

void RowView::showGain(int row) {
  for (int i = 0; i < kCalibrationRows; ++i) controls_.setChecked(ids::kGain + i, i == row);
}

bool RowView::takeManualToggle(int id) {
  int row = 0;
  const bool first = ids::inRow(id, ids::kManual1, row);
  if (!first && !ids::inRow(id, ids::kManual2, row)) return false;
  CalibrationRow& r = session_.rows[static_cast<std::size_t>(row)];
  (first ? r.manualPoint1 : r.manualPoint2) = controls_.isChecked(id) ? 1 : 0;
  return true;
}

void RowView::takeTypedText(int id) {
  if (id == ids::kOtherCalIds) {
    session_.otherIdsText = controls_.text(id);
    return;
  }
  int row = 0;
  for (int base : {ids::kPt1Data, ids::kPt2Data, ids::kPt1Raw, ids::kPt2Raw}) {
    // A field marked as no number is unmarked as soon as the operator edits it.
    if (ids::inRow(id, base, row)) controls_.setTextColour(id, kDefaultColour);
  }
  if (ids::inRow(id, ids::kPt1Data, row)) {
    onTypedData(row, false);
  } else if (ids::inRow(id, ids::kPt2Data, row)) {
    onTypedData(row, true);
  } else if (ids::inRow(id, ids::kPt1Raw, row)) {
    onTypedRaw(row, false);
  } else if (ids::inRow(id, ids::kPt2Raw, row)) {
    onTypedRaw(row, true);
  }
}

// What the settings brought for a sensor: its options, its rows' typed values and
// its extra rows' IDs, into the controls they belong to.
void RowView::showSettings() {
  for (const OptionControl& option : optionControls()) {
    controls_.setChecked(option.id, session_.options.*option.member != 0);
  }
  controls_.setText(ids::kOtherCalIds, session_.otherIdsText);
  for (int i = 0; i < session_.rowCount && i < kCalibrationRows; ++i) {
    const CalibrationRow& row = session_.rows[static_cast<std::size_t>(i)];
    const std::string data1 = row.typedPoint1DataText, data2 = row.typedPoint2DataText;
    controls_.setText(ids::kPt1Data + i, data1);
    controls_.setText(ids::kPt2Data + i, data2);
  }
}

}  // namespace trimwell
