// The records in full as CSV or JSON, and the units due for calibration.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "platform/text_safety.h"

#include "app/units_due.h"
#include "metrology/decision_rule.h"
#include "metrology/verdict.h"
#include "documents/record_export.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {
namespace {

// A number the record may not have (NaN) as null.
nlohmann::json maybe(double value) { return std::isnan(value) ? nlohmann::json() : nlohmann::json(value); }

std::string hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

nlohmann::json resultJson(const RecordResult& r) {
  const metrology::PointResult& p = r.result;
  nlohmann::json budget = nlohmann::json::array();
  for (const metrology::Contribution& x : p.uncertainty.contributions) {
    budget.push_back({{"source", x.source}, {"value", x.value}, {"divisor", x.divisor}, {"sensitivity", x.sensitivity}});
  }
  nlohmann::json correlations = nlohmann::json::array();
  for (const metrology::Correlation& x : p.uncertainty.correlations) {
    correlations.push_back({{"first", x.first}, {"second", x.second}, {"coefficient", x.coefficient}});
  }
  return {{"row", r.row + 1},
          {"as_left", r.asLeft},
          {"reference", p.referenceValue},
          {"reading", p.reading},
          {"error", p.error()},
          {"expanded_uncertainty", p.uncertainty.expanded()},
          {"coverage_factor", p.uncertainty.coverageFactor},
          {"budget", budget},
          {"correlations", correlations},
          {"limit", p.limit ? nlohmann::json(*p.limit) : nlohmann::json()},
          {"rule", metrology::ruleName(p.rule)},
          {"verdict", metrology::verdictName(p.verdict)},
          {"reference_instrument", r.referenceInstrument},
          {"reference_time", r.referenceTime}};
}

nlohmann::json rowJson(const RecordRow& x) {
  return {{"measurement_id", x.measurementId}, {"name", x.name},          {"point1_raw", x.point1Raw},
          {"point1_data", x.point1Data},       {"point2_raw", x.point2Raw}, {"point2_data", x.point2Data},
          {"constants", x.constants},          {"left_out", x.leftOut},     {"extra", x.extra}};
}

nlohmann::json recordJson(const CalibrationRecord& r) {
  nlohmann::json j = {{"record", r.id}, {"uuid", r.uuid}, {"kind", kindName(r.kind)}, {"utc_time", r.utcTime},
                      {"operator", r.operatorName}, {"host", r.host}, {"station", r.stationVersion},
                      {"interface", r.interfaceKind}, {"product", r.interfaceProduct}, {"firmware", r.firmwareVersion},
                      {"model", r.sensorId}, {"datasheet", r.datasheetName}, {"datasheet_version", r.datasheetVersion},
                      {"unit", r.unit}, {"customer", r.customer}, {"customer_address", r.customerAddress},
                      {"customer_email", r.customerEmail}, {"calibration_place", r.calibrationPlace},
                      {"procedure_id", r.procedureId}, {"procedure_version", r.procedureVersion},
                      {"ambient_temperature", maybe(r.ambientTemperature)},
                      {"relative_humidity", maybe(r.relativeHumidity)}, {"decision_rule", r.decisionRule},
                      {"options", r.options}, {"success", r.success}, {"result", r.result},
                      {"restored_from", r.restoredFrom}, {"restored_from_uuid", r.restoredFromUuid},
                      {"restore_confirmation", r.restoreConfirmation}};
  j["rows"] = nlohmann::json::array();
  for (const RecordRow& x : r.rows) j["rows"].push_back(rowJson(x));
  j["standards"] = nlohmann::json::array();
  for (const RecordStandard& s : r.standards) {
    j["standards"].push_back({{"row", s.row + 1}, {"name", s.standard.name},
                              {"identification", s.standard.identification},
                              {"certificate", s.standard.certificateNumber}, {"due_on", s.standard.dueOn}});
  }
  j["results"] = nlohmann::json::array();
  for (const RecordResult& x : r.results) j["results"].push_back(resultJson(x));
  j["as_found_image"] = hex(r.asFoundImage);
  j["as_found_calibration"] = hex(r.asFoundCalibration);
  j["as_left_image"] = hex(r.asLeftImage);
  j["as_left_calibration"] = hex(r.asLeftCalibration);
  return j;
}

std::string today() {
  const auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const std::chrono::year_month_day date{now};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()));
  return text;
}

}  // namespace

int exportCommand(Context& c) {
  Filter filter;
  std::string problem;
  if (!takeFilter(c.args, filter, problem)) return badUse(problem);
  if (c.args.size() != 2 || (c.args[0] != "csv" && c.args[0] != "json")) return badUse("export takes csv|json and a file");
  std::vector<RecordSummary> list;
  if (!filtered(c.store, filter, list)) return refused(c.store.problem());
  for (const std::string& skipped : c.store.takeSkipped()) std::cerr << "trimwell-records: " << skipped << "\n";
  // A record refused for a value out of range is said and left out; the rest go.
  std::vector<CalibrationRecord> records;
  records.reserve(list.size());
  for (const RecordSummary& s : list) {
    if (c.store.load(s.uuid, records.emplace_back())) continue;
    records.pop_back();
    if (c.store.problem().find("is out of range") == std::string::npos) return refused(c.store.problem());
    std::cerr << "trimwell-records: " << terminalText(c.store.problem(), true) << ": left out\n";
  }
  std::string text;
  if (c.args[0] == "csv") {
    text = recordsCsv(records);
  } else {
    nlohmann::json array = nlohmann::json::array();
    for (const CalibrationRecord& r : records) array.push_back(recordJson(r));
    // Every character beyond ASCII as \uXXXX: what reads it gets the same text,
    // and no terminal it is shown on acts on a control character.
    text = array.dump(1, ' ', true, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return writeOut(c.args[1], text, problem) ? kDone : refused(problem);
}

int dueCommand(Context& c) {
  long long days = kDueWithinDays;
  if (c.args.size() == 2 && c.args[0] == "--days") {
    if (!parseCount(c.args[1], days) || days > 36500) return badUse("--days " + c.args[1] + " is no number of days");
  } else if (!c.args.empty()) {
    return badUse("due takes only --days N");
  }
  // The station's list looks kDueWithinDays ahead of the day it is given: asked
  // for the day that horizon lies `days` from today, it reaches as far as asked.
  const std::string now = today();
  std::vector<UnitDue> due;
  std::string problem;
  if (!unitsDue(c.store, c.settings, addDays(now, static_cast<int>(days) - kDueWithinDays), due, problem)) {
    return refused(problem);
  }
  for (const std::string& skipped : c.store.takeSkipped()) {
    std::cerr << "trimwell-records: " << terminalText(skipped, false) << "\n";
  }
  if (due.empty()) std::cerr << "No unit is due within " << days << " days\n";
  for (UnitDue& u : due) {
    u.overdue = u.dueOn < now;
    std::cout << "Sensor " << u.sensorId << " unit " << terminalText(u.unit, false) << ": "
              << (u.overdue ? "overdue since " : "due ") << terminalText(u.dueOn, false) << " (last calibrated "
              << terminalText(u.lastCalibrated, false) << ")\n";
  }
  return kDone;
}

}  // namespace trimwell::tool
