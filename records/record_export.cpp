#include "records/record_export.h"

#include <charconv>

namespace trimwell {
namespace {

std::string field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// Ten significant digits: what a reader of a certificate can use.
std::string shown(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 10);
  return error == std::errc() ? std::string(text, end) : std::string("nan");
}

}  // namespace

std::string recordsCsv(const std::vector<CalibrationRecord>& records) {
  std::string out =
      "record,kind,utc_time,operator,host,station,interface,product,firmware,unit,customer,sensor_id,datasheet,datasheet_version,"
      "success,result,row,measurement_id,measurement,left_out,extra,point1_raw,point1_data,point2_raw,point2_data,"
      "c0,c1,c2,c3\r\n";
  for (const CalibrationRecord& r : records) {
    const std::string head = std::to_string(r.id) + "," + kindName(r.kind) + "," + field(r.utcTime) + "," +
                             field(r.operatorName) + "," + field(r.host) + "," + field(r.stationVersion) + "," +
                             field(r.interfaceKind) + "," + std::to_string(r.interfaceProduct) + "," +
                             field(r.firmwareVersion) + "," + field(r.unit) + "," + field(r.customer) + "," +
                             std::to_string(r.sensorId) + "," +
                             field(r.datasheetName) + "," + field(r.datasheetVersion) + "," +
                             (r.success ? "yes" : "no") + "," + field(r.result);
    if (r.rows.empty()) out += head + ",,,,,,,,,,,,\r\n";
    for (std::size_t i = 0; i < r.rows.size(); ++i) {
      const RecordRow& x = r.rows[i];
      out += head + "," + std::to_string(i + 1) + "," + std::to_string(x.measurementId) + "," + field(x.name) + "," +
             (x.leftOut ? "yes" : "no") + "," + (x.extra ? "yes" : "no");
      for (double v : {x.point1Raw, x.point1Data, x.point2Raw, x.point2Data, x.constants[0], x.constants[1],
                       x.constants[2], x.constants[3]}) {
        out += "," + exactNumber(v);
      }
      out += "\r\n";
    }
  }
  return out;
}

CertificateText certificateText(const CalibrationRecord& r) {
  CertificateText c;
  c.title = r.kind == RecordKind::Restore ? "Restore record" : "Calibration certificate";
  c.facts = {{"Record", std::to_string(r.id) + (r.uuid.empty() ? "" : " (" + r.uuid + ")")},
             {"Date (UTC)", r.utcTime},
             {"Operator", r.operatorName},
             {"Station", r.stationVersion + " on " + r.host},
             {"Interface", r.interfaceKind + (r.interfaceProduct != 0 ? " product " + std::to_string(r.interfaceProduct) : "") +
                               (r.firmwareVersion.empty() ? "" : ", firmware " + r.firmwareVersion)},
             {"Sensor", std::to_string(r.sensorId) + " \"" + r.datasheetName + "\", datasheet " + r.datasheetVersion}};
  if (!r.unit.empty()) c.facts.emplace_back("Unit", r.unit);
  if (!r.customer.empty()) c.facts.emplace_back("Customer", r.customer);
  if (r.restoredFrom != 0 || !r.restoredFromUuid.empty()) {
    c.facts.emplace_back("Restored from record", std::to_string(r.restoredFrom) +
                                                     (r.restoredFromUuid.empty() ? "" : " (" + r.restoredFromUuid + ")"));
  }
  c.rowHeadings = {"Row", "Measurement", "Pt1 Raw", "Pt1 Data", "Pt2 Raw", "Pt2 Data", "Constants"};
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const RecordRow& x = r.rows[i];
    std::string name = std::to_string(x.measurementId) + " " + x.name;
    if (x.leftOut) name += " (left out)";
    if (x.extra) name += " (extra)";
    c.rows.push_back({std::to_string(i + 1), name, shown(x.point1Raw), shown(x.point1Data), shown(x.point2Raw),
                      shown(x.point2Data),
                      shown(x.constants[0]) + " " + shown(x.constants[1]) + " " + shown(x.constants[2]) + " " +
                          shown(x.constants[3])});
  }
  c.result = r.success ? "Result: written and verified" : "Result: FAILED: " + r.result;
  return c;
}

}  // namespace trimwell
