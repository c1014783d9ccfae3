#include "documents/record_export.h"

#include "platform/format_text.h"
#include "records/record_hash.h"

namespace trimwell {

// A spreadsheet runs a cell beginning with =, +, - or @ as a formula, and some
// take a leading tab or CR as the start of one too: such a text gets an
// apostrophe in front, which spreadsheets show as plain text. The station's own
// numbers are written bare (a negative one is a number, not a formula) and never
// pass through here.
std::string csvText(const std::string& text) {
  const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
  const std::string safe = formula ? "'" + text : text;
  if (safe.find_first_of(",\"\r\n") == std::string::npos) return safe;
  std::string quoted = "\"";
  for (char c : safe) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string recordsCsv(const std::vector<CalibrationRecord>& records) {
  std::string out =
      "record,kind,utc_time,operator,host,station,interface,product,firmware,unit,customer,sensor_id,datasheet,datasheet_version,"
      "success,result,row,measurement_id,measurement,left_out,extra,point1_raw,point1_data,point2_raw,point2_data,"
      "c0,c1,c2,c3\r\n";
  for (const CalibrationRecord& r : records) {
    const std::string head = std::to_string(r.id) + "," + kindName(r.kind) + "," + csvText(r.utcTime) + "," +
                             csvText(r.operatorName) + "," + csvText(r.host) + "," + csvText(r.stationVersion) + "," +
                             csvText(r.interfaceKind) + "," + std::to_string(r.interfaceProduct) + "," +
                             csvText(r.firmwareVersion) + "," + csvText(r.unit) + "," + csvText(r.customer) + "," +
                             std::to_string(r.sensorId) + "," + csvText(r.datasheetName) + "," +
                             csvText(r.datasheetVersion) + "," + (r.success ? "yes" : "no") + "," + csvText(r.result);
    if (r.rows.empty()) out += head + ",,,,,,,,,,,,,\r\n";
    for (std::size_t i = 0; i < r.rows.size(); ++i) {
      const RecordRow& x = r.rows[i];
      out += head + "," + std::to_string(i + 1) + "," + std::to_string(x.measurementId) + "," + csvText(x.name) + "," +
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

namespace {

// "jdoe (UID 1001, Jane Doe)": the login, and the person as the user database had
// them when the record was made.
std::string operatorText(const CalibrationRecord& r) {
  if (r.operatorUid < 0) return r.operatorName;
  return r.operatorName + " (UID " + std::to_string(r.operatorUid) +
         (r.operatorFullName.empty() ? "" : ", " + r.operatorFullName) + ")";
}

std::string clockText(const CalibrationRecord& r) {
  if (r.clockSynchronised < 0) return "not known";
  const std::string error =
      r.clockMaxErrorUs < 0 ? "" : formatText(" (maximum error %.3f s)", static_cast<double>(r.clockMaxErrorUs) / 1e6);
  return (r.clockSynchronised == 1 ? "synchronised" : "not synchronised") + error;
}

}  // namespace

std::string signatureText(const signing::Signature& s) {
  return s.printedName + (s.printedName == s.login ? "" : " (" + s.login + ")") + ", " +
         signing::meaningName(s.meaning) + " " + s.utcTime + (s.reason.empty() ? "" : "; reason: " + s.reason);
}

std::string auditLine(const signing::AuditEntry& e) {
  std::string details = e.details;
  for (char& ch : details) ch = ch == '\n' ? ';' : ch;
  return "#" + std::to_string(e.sequence) + " " + e.benchTime + (e.actor.empty() ? "" : " by " + e.actor) + " " +
         e.event + (details.empty() ? "" : ": " + details);
}

std::string rowUnitOf(const CalibrationRecord& record, int row) {
  for (const RecordStandard& s : record.standards) {
    if (s.row == row) return s.standard.unit;
  }
  return {};
}

RecordText recordText(const CalibrationRecord& r) {
  RecordText c;
  c.title = r.kind == RecordKind::Restore ? "Restore record" : "Calibration record";
  c.facts = {{"Record", std::to_string(r.id) + (r.uuid.empty() ? "" : " (" + r.uuid + ")")},
             {"Date (UTC)", r.utcTime},
             {"Operator", operatorText(r)},
             {"Clock", clockText(r)},
             {"Station", r.stationVersion + " on " + r.host},
             {"Interface", r.interfaceKind + (r.interfaceProduct != 0 ? " product " + std::to_string(r.interfaceProduct) : "") +
                               (r.firmwareVersion.empty() ? "" : ", firmware " + r.firmwareVersion)},
             {"Sensor", std::to_string(r.sensorId) + " \"" + r.datasheetName + "\", datasheet " + r.datasheetVersion}};
  // Its number is the outbox's own until the lab's store takes it.
  if (r.waiting) c.facts.emplace_back("Waiting", "on this station, for the lab's record store, which numbers it");
  if (!r.amendsUuid.empty()) {
    c.facts.emplace_back("Amends record", r.amendsUuid + " (revision " + std::to_string(r.revision) + "): " +
                                              r.amendmentReason);
  }
  if (!r.unit.empty()) c.facts.emplace_back("Unit", r.unit);
  if (!r.customer.empty()) c.facts.emplace_back("Customer", r.customer);
  if (!r.customerAddress.empty()) c.facts.emplace_back("Customer's address", r.customerAddress);
  if (!r.customerEmail.empty()) c.facts.emplace_back("Customer's e-mail", r.customerEmail);
  if (!r.calibrationPlace.empty()) c.facts.emplace_back("Place", "on site: " + r.calibrationPlace);
  if (!r.procedureId.empty()) c.facts.emplace_back("Procedure", r.procedureId + ", version " + r.procedureVersion);
  if (r.restoredFrom != 0 || !r.restoredFromUuid.empty()) {
    c.facts.emplace_back("Restored from record", std::to_string(r.restoredFrom) +
                                                     (r.restoredFromUuid.empty() ? "" : " (" + r.restoredFromUuid + ")"));
  }
  // What a signer signs: the content as it is now, by its hash.
  c.facts.emplace_back("Content hash", recordHash(r));
  std::string signatures;
  for (const signing::Signature& s : r.signatures) signatures += (signatures.empty() ? "" : "\n") + signatureText(s);
  c.facts.emplace_back("Signatures", signatures.empty() ? "none" : signatures);
  if (!r.signatures.empty()) {
    const std::string unapproved = approvalProblem(r);
    c.facts.emplace_back("Approval", unapproved.empty() ? "approved as it stands" : unapproved);
  }
  c.rowHeadings = {"Row", "Measurement", "Pt1 Raw", "Pt1 Data", "Pt2 Raw", "Pt2 Data", "Constants"};
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const RecordRow& x = r.rows[i];
    std::string name = std::to_string(x.measurementId) + " " + x.name;
    if (x.leftOut) name += " (left out)";
    if (x.extra) name += " (extra)";
    c.rows.push_back({std::to_string(i + 1), name, exactNumber(x.point1Raw), exactNumber(x.point1Data),
                      exactNumber(x.point2Raw), exactNumber(x.point2Data),
                      exactNumber(x.constants[0]) + " " + exactNumber(x.constants[1]) + " " +
                          exactNumber(x.constants[2]) + " " + exactNumber(x.constants[3])});
  }
  c.result = r.success ? "Result: written and verified" : "Result: FAILED: " + r.result;
  return c;
}

}  // namespace trimwell
