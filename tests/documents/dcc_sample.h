#pragma once
// A lab's six-row calibration for the DCC writer: a datasheet image that names
// each row's unit, a reference standard per row, the conditions, results as
// found and as left with numbers that six significant digits would spoil, and
// names in long, Cyrillic, CJK and broken text.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "datasheet/datasheet.h"
#include "records/calibration_record.h"
#include "documents/laboratory.h"

namespace trimwell::test {

// The units of the sample library's sensors, one a row.
inline const std::vector<std::string>& sixRowUnits() {
  static const std::vector<std::string> units = {"\xC2\xB0" "C", "\xC2\xB5" "S/cm", "%", "mg/L", "nA", "pH"};
  return units;
}

inline std::vector<std::uint8_t> unitImage(const std::vector<std::string>& units) {
  Datasheet d;
  d.sensorId = 221;
  d.lengthLimit = 4096;
  d.versionText = {'1', '.', '0', '2'};
  for (std::size_t i = 0; i < units.size(); ++i) {
    Measurement& raw = d.addMeasurement();
    raw.id = static_cast<std::uint16_t>(i + 1);
    raw.type.sampleSize = 4;
  }
  for (std::size_t i = 0; i < units.size(); ++i) {
    Measurement& line = d.addMeasurement();
    line.id = static_cast<std::uint16_t>(10 + i);
    line.conversionType = kCalibrated;
    line.type.inputCount = 1;
    line.type.inputIds[0] = static_cast<int>(i + 1);
    line.type.constants = {0, 0, 100, 50};
    fromUtf8(units[i], line.secondaryText.text);
  }
  std::vector<std::uint8_t> image(kMaxImageLength);
  std::size_t length = 0;
  d.encode(image.data(), image.size(), &length);
  image.resize(length);
  return image;
}

inline RecordResult dccResult(int row, bool asLeft, double reference, double reading, metrology::Verdict verdict) {
  RecordResult r{row, asLeft, {}};
  r.result.referenceValue = reference;
  r.result.reading = reading;
  r.result.uncertainty.coverageFactor = row % 2 == 0 ? 2.0 : 2.0000000000000004;
  r.result.uncertainty.contributions = {{"reference standard", 0.02 + row * 1e-9, 2.0, 1.0},
                                        {"repeatability", 0.1 + 0.2, 1.0, -1.0 / 3}};
  r.result.limit = 0.5 + row / 7.0;
  r.result.rule = metrology::DecisionRule::kNonBinary;
  r.result.verdict = verdict;
  return r;
}

inline CalibrationRecord sixRowRecord() {
  CalibrationRecord r;
  r.uuid = "3f2b8c1e-5a4d-4e6f-9a7b-1c2d3e4f5a6b";
  r.id = 42;
  r.utcTime = "2026-03-05T14:07:09Z";
  r.operatorName = "operator";
  r.host = "bench-2";
  r.stationVersion = "Trimwell 1.21";
  r.sensorId = 221;
  r.datasheetName = "Thermal probe \xD0\xA2\xD0\xB5\xD1\x80\xD0\xBC\xD0\xBE \xE6\xB8\xA9\xE5\xBA\xA6\xE8\xAE\xA1";  // Термо 温度计
  r.datasheetVersion = "1.02";
  r.success = true;
  r.result = "written and verified";
  r.unit = "TP-0042 / \xE8\xB5\x84\xE4\xBA\xA7 7";  // 资产
  r.customer = "\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7\xD1\x87\xD0\xB8\xD0\xBA & <Sons> \"North\" " + std::string(300, 'x');
  r.customerAddress = "Werk 2, Tor 4\nIndustriestra\xC3\x9F" "e 12\nD-70173 Stuttgart\nDE";
  r.customerEmail = "qs@kunde.example";
  r.procedureId = "KLN-TP-07";
  r.procedureVersion = "4";
  r.ambientTemperature = 23.1 + 1e-12;
  r.relativeHumidity = 45.0 / 7;
  r.decisionRule = "non-binary";
  r.asLeftImage = unitImage(sixRowUnits());
  for (int i = 0; i < 6; ++i) {
    RecordRow row;
    row.measurementId = 10 + i;
    row.name = "Channel " + std::to_string(i) + " " + std::string(200, 'n') + " \xE6\xB5\x8B\xE9\x87\x8F";  // 测量
    if (i == 3) row.name += " broken \xFF\x01 text";
    row.point1Raw = 1.0 / 3 + i;
    row.point1Data = 0.1 + 0.2;
    row.point2Raw = 1e21 + i;
    row.point2Data = -1e-7 * (i + 1);
    r.rows.push_back(row);
    metrology::StandardEntry e;
    e.name = "Standard " + std::to_string(i) + " \xD0\x9F\xD0\xA0\xD0\xA2";  // ПРТ
    e.identification = "SN-" + std::to_string(100 + i);
    e.certificateNumber = "C-" + std::to_string(i) + "/2026";
    e.issuedBy = "Calibration lab \"Nord\"";
    e.calibratedOn = "2026-01-15";
    e.dueOn = "2027-01-14";
    e.unit = sixRowUnits()[static_cast<std::size_t>(i)];
    e.uncertainty = {0.01, 1.0 / 3 * 1e-4, 2.0};
    r.standards.push_back({i, e});
  }
  using metrology::Verdict;
  for (int i = 0; i < 6; ++i) r.results.push_back(dccResult(i, false, 25.0 + i / 3.0, 25.1 + i / 7.0, Verdict::kFail));
  for (int i = 0; i < 6; ++i) {
    r.results.push_back(dccResult(i, true, 25.0 + i / 3.0, 25.0 + i / 3.0 + 1e-3 / 3,
                                  i == 4 ? Verdict::kConditionalPass : Verdict::kPass));
  }
  return r;
}

inline Laboratory dccLab() {
  Laboratory lab;
  lab.name = "\xD0\x9B\xD0\xB0\xD0\xB1\xD0\xBE\xD1\x80\xD0\xB0\xD1\x82\xD0\xBE\xD1\x80\xD0\xB8\xD1\x8F Nord \xE6\xA0\xA1\xE5\x87\x86";
  lab.address = "Hafenstra\xC3\x9F" "e 3\n20457 Hamburg";
  lab.email = "kalibrierung@nord.example";
  lab.country = "DE";
  lab.accreditationBody = "DAkkS";
  lab.accreditationNumber = "D-K-12345-01-00";
  lab.code = "KLN";
  lab.stationCode = "B2";
  lab.performer = "A. Pr\xC3\xBC" "fer";
  return lab;
}

}  // namespace trimwell::test
