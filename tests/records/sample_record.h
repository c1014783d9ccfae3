#pragma once
// A calibration record with every field set, a check that two are the same, and
// what a store of the first schema holds once brought up to date.

#include <cmath>
#include <regex>
#include <vector>

#include <gtest/gtest.h>

#include "records/calibration_record.h"
#include "records/record_store.h"

namespace trimwell::test {

inline CalibrationRecord sampleRecord(int sensorId, int serial) {
  CalibrationRecord r;
  stampRecord(r);
  r.interfaceKind = "USB";
  r.interfaceProduct = 2;
  r.firmwareVersion = "1.8";
  r.sensorId = sensorId;
  r.datasheetName = "Thermal probe";
  r.datasheetVersion = "1.02";
  r.options = "High EEPROM Cal=1";
  r.success = serial % 2 == 0;
  r.result = r.success ? "written and verified" : "datasheet did not write properly";
  for (int i = 0; i < 3; ++i) {
    RecordRow row;
    row.measurementId = 10 + i;
    row.name = "Row " + std::to_string(i);
    row.point1Raw = serial + 0.25;
    row.point2Raw = serial + 1000.5;
    row.point1Data = -i;
    row.point2Data = 100.0 / 3;
    row.constants = {1, 2, 3, static_cast<double>(serial)};
    row.leftOut = i == 1;
    row.extra = i == 2;
    r.rows.push_back(row);
  }
  r.asFoundImage.assign(700, static_cast<std::uint8_t>(serial));
  r.asFoundCalibration.assign(48, 0xA5);
  r.asLeftImage.assign(702, static_cast<std::uint8_t>(serial + 1));
  return r;
}

// A lab's calibration: the unit and its customer, the conditions, the rule, two
// standards, results as found and as left, with budgets (one with a correlation)
// whose sources quoting or line breaks could spoil.
inline metrology::StandardEntry sampleStandard(const std::string& name, double a) {
  metrology::StandardEntry e;
  e.name = name;
  e.identification = "SN " + name;
  e.certificateNumber = "C-" + name + "/2026";
  e.issuedBy = "Calibration lab \"Nord\"";
  e.calibratedOn = "2026-01-15";
  e.dueOn = "2027-01-14";
  e.quantity = "temperature";
  e.unit = "\xC2\xB0" "C";
  e.uncertainty = {a, 1.0 / 3 * 1e-4, 2.0};
  return e;
}

inline RecordResult sampleResult(int row, bool asLeft, double reading) {
  RecordResult r{row, asLeft, {}};
  r.result.referenceValue = 25.0 + row;
  r.result.reading = reading;
  r.result.uncertainty.coverageFactor = 2.0000000000000004;
  r.result.uncertainty.contributions = {{"reference standard", 0.02, 2.0, 1.0},
                                        {"repeatability", 0.1 + 0.2, 1.0, -1.0 / 3},
                                        {"resolution \"0.01\"\nline two \\ end", 0.01, std::sqrt(12.0), 1.0}};
  if (asLeft) {
    r.result.uncertainty.correlations = {{0, 2, -0.25}};
    r.result.limit = 0.1;
    r.result.rule = metrology::DecisionRule::kGuarded;
    r.result.verdict = metrology::Verdict::kConditionalFail;
  }
  return r;
}

inline CalibrationRecord labRecord(int sensorId, int serial) {
  CalibrationRecord r = sampleRecord(sensorId, serial);
  r.unit = "TP-" + std::to_string(serial);
  r.customer = "Acme, \"North\" site";
  r.customerAddress = "Hafenstra\u00dfe 4\n20457 Hamburg\nDE";
  r.customerEmail = "lab@acme.example";
  r.calibrationPlace = "Acme North, hall 2";
  r.procedureId = "TP-CAL";
  r.procedureVersion = "3.1";
  r.ambientTemperature = 23.1 + 1e-12;
  r.relativeHumidity = 45.0 / 7;
  r.decisionRule = "guarded";
  r.standards = {{0, sampleStandard("PRT 7", 0.02)}, {2, sampleStandard("Bath 3", 0.005)}};
  r.results = {sampleResult(0, false, 25.03), sampleResult(1, false, 26.1 / 3), sampleResult(0, true, 25.001)};
  // Row 1's reference values were read from the bench's instrument.
  r.results[1].referenceInstrument = "Brook Metrology PRT-9, serial RI-7731, firmware 2.04";
  r.results[1].referenceTime = "2026-03-02T10:15:42.125Z";
  if (!r.rows.empty()) r.rows[0].tolerance = "\u00b1 0.5 % of the span of the calibrated range -20 to 80 \u00b0C";
  return r;
}

inline void expectSameNumber(double in, double out) {
  EXPECT_TRUE((std::isnan(in) && std::isnan(out)) || in == out) << in << " came back as " << out;
}

inline void expectSameResult(const RecordResult& in, const RecordResult& out) {
  EXPECT_EQ(out.row, in.row);
  EXPECT_EQ(out.asLeft, in.asLeft);
  EXPECT_EQ(out.referenceInstrument, in.referenceInstrument);
  EXPECT_EQ(out.referenceTime, in.referenceTime);
  const metrology::PointResult& a = in.result;
  const metrology::PointResult& b = out.result;
  EXPECT_EQ(b.referenceValue, a.referenceValue);
  EXPECT_EQ(b.reading, a.reading);
  EXPECT_EQ(b.limit, a.limit);
  EXPECT_EQ(b.rule, a.rule);
  EXPECT_EQ(b.verdict, a.verdict);
  EXPECT_EQ(b.uncertainty.coverageFactor, a.uncertainty.coverageFactor);
  ASSERT_EQ(b.uncertainty.contributions.size(), a.uncertainty.contributions.size());
  for (std::size_t i = 0; i < a.uncertainty.contributions.size(); ++i) {
    const metrology::Contribution& x = a.uncertainty.contributions[i];
    const metrology::Contribution& y = b.uncertainty.contributions[i];
    EXPECT_EQ(y.source, x.source);
    EXPECT_EQ(y.value, x.value);
    EXPECT_EQ(y.divisor, x.divisor);
    EXPECT_EQ(y.sensitivity, x.sensitivity);
  }
  ASSERT_EQ(b.uncertainty.correlations.size(), a.uncertainty.correlations.size());
  for (std::size_t i = 0; i < a.uncertainty.correlations.size(); ++i) {
    EXPECT_EQ(b.uncertainty.correlations[i].first, a.uncertainty.correlations[i].first);
    EXPECT_EQ(b.uncertainty.correlations[i].second, a.uncertainty.correlations[i].second);
    EXPECT_EQ(b.uncertainty.correlations[i].coefficient, a.uncertainty.correlations[i].coefficient);
  }
}

inline void expectSameStandard(const metrology::StandardEntry& in, const metrology::StandardEntry& out) {
  EXPECT_EQ(out.name, in.name);
  EXPECT_EQ(out.identification, in.identification);
  EXPECT_EQ(out.certificateNumber, in.certificateNumber);
  EXPECT_EQ(out.issuedBy, in.issuedBy);
  EXPECT_EQ(out.calibratedOn, in.calibratedOn);
  EXPECT_EQ(out.dueOn, in.dueOn);
  EXPECT_EQ(out.quantity, in.quantity);
  EXPECT_EQ(out.unit, in.unit);
  EXPECT_EQ(out.uncertainty.a, in.uncertainty.a);
  EXPECT_EQ(out.uncertainty.b, in.uncertainty.b);
  EXPECT_EQ(out.uncertainty.coverageFactor, in.uncertainty.coverageFactor);
  EXPECT_EQ(out.retiredOn, in.retiredOn);
}

inline void expectSameRecord(const CalibrationRecord& in, const CalibrationRecord& out) {
  EXPECT_EQ(out.uuid, in.uuid);
  EXPECT_EQ(out.restoredFromUuid, in.restoredFromUuid);
  EXPECT_EQ(out.kind, in.kind);
  EXPECT_EQ(out.utcTime, in.utcTime);
  EXPECT_EQ(out.operatorName, in.operatorName);
  EXPECT_EQ(out.operatorUid, in.operatorUid);
  EXPECT_EQ(out.operatorFullName, in.operatorFullName);
  EXPECT_EQ(out.clockSynchronised, in.clockSynchronised);
  EXPECT_EQ(out.clockMaxErrorUs, in.clockMaxErrorUs);
  EXPECT_EQ(out.amendsUuid, in.amendsUuid);
  EXPECT_EQ(out.revision, in.revision);
  EXPECT_EQ(out.amendmentReason, in.amendmentReason);
  EXPECT_EQ(out.host, in.host);
  EXPECT_EQ(out.stationVersion, in.stationVersion);
  EXPECT_EQ(out.interfaceKind, in.interfaceKind);
  EXPECT_EQ(out.interfaceProduct, in.interfaceProduct);
  EXPECT_EQ(out.firmwareVersion, in.firmwareVersion);
  EXPECT_EQ(out.sensorId, in.sensorId);
  EXPECT_EQ(out.datasheetName, in.datasheetName);
  EXPECT_EQ(out.datasheetVersion, in.datasheetVersion);
  EXPECT_EQ(out.options, in.options);
  EXPECT_EQ(out.success, in.success);
  EXPECT_EQ(out.result, in.result);
  EXPECT_EQ(out.restoredFrom, in.restoredFrom);
  EXPECT_EQ(out.asFoundImage, in.asFoundImage);
  EXPECT_EQ(out.asFoundCalibration, in.asFoundCalibration);
  EXPECT_EQ(out.asLeftImage, in.asLeftImage);
  EXPECT_EQ(out.asLeftCalibration, in.asLeftCalibration);
  ASSERT_EQ(out.rows.size(), in.rows.size());
  for (std::size_t i = 0; i < in.rows.size(); ++i) {
    EXPECT_EQ(out.rows[i].measurementId, in.rows[i].measurementId);
    EXPECT_EQ(out.rows[i].name, in.rows[i].name);
    EXPECT_EQ(out.rows[i].point1Raw, in.rows[i].point1Raw);  // doubles kept exactly
    EXPECT_EQ(out.rows[i].point1Data, in.rows[i].point1Data);
    EXPECT_EQ(out.rows[i].point2Raw, in.rows[i].point2Raw);
    EXPECT_EQ(out.rows[i].point2Data, in.rows[i].point2Data);
    EXPECT_EQ(out.rows[i].constants, in.rows[i].constants);
    EXPECT_EQ(out.rows[i].leftOut, in.rows[i].leftOut);
    EXPECT_EQ(out.rows[i].extra, in.rows[i].extra);
    EXPECT_EQ(out.rows[i].tolerance, in.rows[i].tolerance);
  }
  EXPECT_EQ(out.unit, in.unit);
  EXPECT_EQ(out.customer, in.customer);
  EXPECT_EQ(out.customerAddress, in.customerAddress);
  EXPECT_EQ(out.customerEmail, in.customerEmail);
  EXPECT_EQ(out.calibrationPlace, in.calibrationPlace);
  EXPECT_EQ(out.procedureId, in.procedureId);
  EXPECT_EQ(out.procedureVersion, in.procedureVersion);
  expectSameNumber(in.ambientTemperature, out.ambientTemperature);
  expectSameNumber(in.relativeHumidity, out.relativeHumidity);
  EXPECT_EQ(out.decisionRule, in.decisionRule);
  EXPECT_EQ(out.restoreConfirmation, in.restoreConfirmation);
  EXPECT_EQ(out.certificateNumber, in.certificateNumber);
  ASSERT_EQ(out.standards.size(), in.standards.size());
  for (std::size_t i = 0; i < in.standards.size(); ++i) {
    EXPECT_EQ(out.standards[i].row, in.standards[i].row);
    expectSameStandard(in.standards[i].standard, out.standards[i].standard);
  }
  ASSERT_EQ(out.results.size(), in.results.size());
  for (std::size_t i = 0; i < in.results.size(); ++i) {
    SCOPED_TRACE("result " + std::to_string(i));
    expectSameResult(in.results[i], out.results[i]);
  }
}

// The two records of a store of the first schema (a calibration with one row at raw
// 4.25, and a restore of it), read after the store brought it up to date: each has
// an identity of its own, and the restore names the calibration's; neither has
// what later versions brought (no unit, conditions, standards nor results).
inline void expectFirstSchemaRecordsBroughtUp(RecordStore& store) {
  std::vector<RecordSummary> list;
  ASSERT_TRUE(store.list(0, list)) << store.problem();
  ASSERT_EQ(list.size(), 2u);
  const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  for (const RecordSummary& s : list) EXPECT_TRUE(std::regex_match(s.uuid, uuid)) << s.uuid;
  EXPECT_NE(list[0].uuid, list[1].uuid);
  CalibrationRecord restore, calibration;
  ASSERT_TRUE(store.load(list[0].uuid, restore));
  ASSERT_TRUE(store.load(list[1].uuid, calibration));
  EXPECT_EQ(restore.restoredFromUuid, calibration.uuid);
  EXPECT_EQ(calibration.restoredFromUuid, "");
  ASSERT_EQ(calibration.rows.size(), 1u);
  EXPECT_EQ(calibration.rows[0].point1Raw, 4.25);
  for (const CalibrationRecord* r : {&restore, &calibration}) {
    EXPECT_EQ(r->unit, "");
    EXPECT_EQ(r->customer, "");
    EXPECT_TRUE(std::isnan(r->ambientTemperature));
    EXPECT_TRUE(std::isnan(r->relativeHumidity));
    EXPECT_EQ(r->decisionRule, "");
    EXPECT_TRUE(r->standards.empty());
    EXPECT_TRUE(r->results.empty());
  }
  std::vector<UnitLastCalibrated> units;
  ASSERT_TRUE(store.lastCalibrations(units)) << store.problem();
  EXPECT_TRUE(units.empty());
  // Results are appended to a record kept before the version that brought them.
  ASSERT_TRUE(store.appendResults(calibration.uuid, {sampleResult(0, true, 4.5)})) << store.problem();
  CalibrationRecord amended;
  ASSERT_TRUE(store.load(calibration.uuid, amended));
  ASSERT_EQ(amended.results.size(), 1u);
  expectSameResult(sampleResult(0, true, 4.5), amended.results[0]);
}

}  // namespace trimwell::test
