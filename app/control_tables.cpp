#include "app/control_tables.h"

#include "app/control_ids.h"

namespace trimwell {

const std::array<WindowControl, 16>& windowControls() {
  static const std::array<WindowControl, 16> table = {{
      {ids::kStatus, ControlKind::ReadOnlyEdit, "",
       "What the station last found: the interface or sensor that came or went, or the verdict of the sensor's "
       "datasheet against the library's file"},
      {ids::kFactoryInit, ControlKind::Button, "Factory Init",
       "Zero and power-cycle the sensor now; the points can be taken afterwards"},
      {ids::kVerify, ControlKind::Button, "Verify",
       "Read the sensor afresh and compare the calibration it holds with the station's"},
      {ids::kResetMinMax, ControlKind::Button, "Reset Min/Max", "Start the lowest and highest readings afresh"},
      {ids::kOtherCalIds, ControlKind::Edit, "",
       "Further measurements to calibrate, by ID, separated by commas (for example 20,21)"},
      {ids::kSet, ControlKind::Button, "Set", "Add rows for the measurements named in Other Cal Measurement IDs"},
      {ids::kResult, ControlKind::Label, "", "What the last write into the sensor came to, and the number of its record"},
      {ids::kInfo, ControlKind::Label, "",
       "The interface and the sensor the station works with, and what the status line means"},
      {ids::kOnlyWhenStable, ControlKind::CheckBox, "Take points only when stable",
       "Hold a Point press until the readings it takes have settled; press again to cancel"},
      {ids::kWirelessPort, ControlKind::Choice, "",
       "The serial port of the wireless interface, used while no USB interface is plugged; none: USB only"},
      {ids::kUnit, ControlKind::Edit, "",
       "The unit being calibrated: its serial number or asset tag (a barcode scanner types here)"},
      {ids::kCustomer, ControlKind::Edit, "",
       "Whose unit it is, as the certificate names them; a customer served before brings their address"},
      {ids::kCustomerAddress, ControlKind::Edit, "", "The customer's address, as the certificate states it"},
      {ids::kCustomerEmail, ControlKind::Edit, "", "The customer's e-mail address, which their DCC needs"},
      {ids::kAmbientTemperature, ControlKind::Edit, "", "The ambient temperature during the calibration, in °C"},
      {ids::kRelativeHumidity, ControlKind::Edit, "", "The relative humidity during the calibration, in %"},
  }};
  return table;
}

const std::array<OptionControl, 9>& optionControls() {
  static const std::array<OptionControl, 9> table = {{
      {ids::kDoFactoryInit, &CalibrationOptions::doFactoryInit},
      {ids::kHighEepromCal, &CalibrationOptions::highEepromCal},
      {ids::kSimultaneousCal, &CalibrationOptions::simultaneousCal},
      {ids::kDoPostCalInit, &CalibrationOptions::postCalInit},
      {ids::kAutoGainSet, &CalibrationOptions::autoGainSet},
      {ids::kDataAveraging, &CalibrationOptions::dataAveraging},
      {ids::kShowRaw, &CalibrationOptions::showRaw},
      {ids::kShowMinMax, &CalibrationOptions::showMinMax},
      {ids::kMultipleManualModes, &CalibrationOptions::multipleManualModes},
  }};
  return table;
}

const OptionInfo& optionOf(const OptionControl& control) { return *findOption(control.member); }

const std::array<RowColumn, 19>& rowColumns() {
  // Edit widths hold a typed value or a reading such as "-12345.6789"; the window
  // widens the reading columns further for the library's own texts.
  static const std::array<RowColumn, 19> table = {{
      {ids::kRowCheck, ControlKind::CheckBox, "Check1", "", 0, "Leave this row out: it is written as a plain line"},
      {ids::kPoint1, ControlKind::Button, "Point 1", "Point 1", 0,
       "Take the first point now, from the reading and Pt1 Data"},
      {ids::kPoint2, ControlKind::Button, "Point 2", "Point 2", 0,
       "Take the second point now, from the reading and Pt2 Data; the last row's writes the calibration"},
      {ids::kPt1Raw, ControlKind::Edit, "", "Pt1 Raw", 70,
       "The raw value of the first point, typed (with Manual point 1) or as taken"},
      {ids::kPt1Data, ControlKind::Edit, "", "Pt1 Data", 70,
       "The true value at the first point, from your reference (12.5, 12,5 or 0x...)"},
      {ids::kPt2Raw, ControlKind::Edit, "", "Pt2 Raw", 70,
       "The raw value of the second point, typed (with Manual point 2) or as taken"},
      {ids::kPt2Data, ControlKind::Edit, "", "Pt2 Data", 70, "The true value at the second point, from your reference"},
      {ids::kMeasurement, ControlKind::ReadOnlyEdit, "", "Measurement", 188,
       "The live reading with the calibration the sensor has now"},
      {ids::kMinimum, ControlKind::ReadOnlyEdit, "", "Min/Max", 74, "The lowest reading since the last reset"},
      {ids::kMaximum, ControlKind::ReadOnlyEdit, "", "", 74, "The highest reading since the last reset"},
      {ids::kRaw, ControlKind::ReadOnlyEdit, "", "Raw", 74, "The raw reading, as the sensor sends it"},
      {ids::kManual1, ControlKind::CheckBox, "Manual point 1", "", 0,
       "Type the first point's raw value instead of reading it"},
      {ids::kManual2, ControlKind::CheckBox, "Manual point 2", "", 0,
       "Type the second point's raw value instead of reading it"},
      {ids::kGain, ControlKind::RadioButton, "Gain", "Gain", 0, "Set this row's gain in the sensor"},
      {ids::kReferenceSource, ControlKind::Choice, "", "Reference", 0,
       "Where the row's reference values come from: typed, or read from the reference instrument when a point or "
       "check is taken"},
      {ids::kStandard, ControlKind::Choice, "", "Standard", 0,
       "The reference standard this row's points are taken against, from the register"},
      {ids::kCheckValue, ControlKind::Edit, "", "Check at", 70,
       "After the write: the reference value of a check point, in the row's unit"},
      {ids::kCheck, ControlKind::Button, "Check", "", 0,
       "Take a check point now: the reading with the new calibration against the value typed"},
      {ids::kRowVerdict, ControlKind::ReadOnlyEdit, "", "Verdict", 150,
       "The row's error at its points as found, and its verdict as found and as left"},
  }};
  return table;
}

const RowColumn& stabilityColumn() {
  static const RowColumn column = {
      ids::kStability, ControlKind::Label, "", "", 0,
      "stable: the last 10 readings lie within 0.2 % of the row's span (Pt2 Data less Pt1 Data)"};
  return column;
}

}  // namespace trimwell
