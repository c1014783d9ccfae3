#pragma once
// A calibration record with every field set, a check that two are the same, and
// what a store of the first schema holds once brought up to date.

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

inline void expectSameRecord(const CalibrationRecord& in, const CalibrationRecord& out) {
  EXPECT_EQ(out.uuid, in.uuid);
  EXPECT_EQ(out.restoredFromUuid, in.restoredFromUuid);
  EXPECT_EQ(out.kind, in.kind);
  EXPECT_EQ(out.utcTime, in.utcTime);
  EXPECT_EQ(out.operatorName, in.operatorName);
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
  }
}

// The two records of a store of the first schema (a calibration with one row at raw
// 4.25, and a restore of it), read after the store brought it up to date: each has
// an identity of its own, and the restore names the calibration's.
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
}

}  // namespace trimwell::test
