#pragma once
// Identifiers of the calibration dialog's controls.

namespace trimwell::ids {

constexpr int kRows = 6;

// Per row i: base + i.
constexpr int kPoint1 = 2000;
constexpr int kPoint2 = 2010;
constexpr int kPt1Data = 2020;
constexpr int kPt1Raw = 2030;
constexpr int kPt2Raw = 2040;
constexpr int kPt2Data = 2050;
constexpr int kRowCheck = 2070;
constexpr int kManual1 = 2080;
constexpr int kManual2 = 2090;
constexpr int kGain = 2110;
constexpr int kMinimum = 2120;
constexpr int kMeasurement = 2130;
constexpr int kRaw = 2140;
constexpr int kMaximum = 2150;

constexpr int kStatus = 1013;
constexpr int kDoFactoryInit = 1014;
constexpr int kHighEepromCal = 1015;
constexpr int kSimultaneousCal = 1016;
constexpr int kDoPostCalInit = 1017;
constexpr int kFactoryInit = 1018;
constexpr int kAutoGainSet = 1019;
constexpr int kDataAveraging = 1020;
constexpr int kVerify = 1021;
constexpr int kResetMinMax = 1022;
constexpr int kOtherCalIds = 1023;
constexpr int kShowRaw = 1024;
constexpr int kSet = 1025;
constexpr int kShowMinMax = 1026;
constexpr int kMultipleManualModes = 2086;
// What the last write into the sensor came to, and its record.
constexpr int kResult = 3000;
// Which interface and sensor the station works with, in plain words.
constexpr int kInfo = 3001;
// Hold a Point press until the rows it takes have settled.
constexpr int kOnlyWhenStable = 3002;
// The serial port of the wireless interface, chosen from the system's ports.
constexpr int kWirelessPort = 3003;
// Per row: "stable" or "settling".
constexpr int kStability = 3010;
// The unit calibrated (serial number or asset tag), whose it is, and the ambient
// conditions of the calibration.
constexpr int kUnit = 3004;
constexpr int kCustomer = 3005;
constexpr int kAmbientTemperature = 3006;
constexpr int kRelativeHumidity = 3007;
// The customer's address (lines parted by "\n") and e-mail, which the customer's
// window edits.
constexpr int kCustomerAddress = 3008;
constexpr int kCustomerEmail = 3009;
// Per row: the reference standard its points are taken against, and after a write
// a check's reference value, its button and the row's verdicts.
constexpr int kStandard = 3020;
constexpr int kCheckValue = 3030;
constexpr int kCheck = 3040;
constexpr int kRowVerdict = 3050;
// Per row: where its reference values come from, "typed" or "instrument".
constexpr int kReferenceSource = 3060;

// Does id lie in the row block starting at base? Then row is its row.
constexpr bool inRow(int id, int base, int& row) {
  row = id - base;
  return row >= 0 && row < kRows;
}

}  // namespace trimwell::ids
