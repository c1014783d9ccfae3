// The records as lines and JSON for list, and in full for show.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "metrology/standard_entry.h"
#include "platform/format_text.h"
#include "platform/text_safety.h"
#include "documents/record_export.h"
#include "documents/record_report.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {
namespace {

// The value of an option that takes one, removed with it from args; false, saying
// so, when it has none.
bool takeValue(std::vector<std::string>& args, const std::string& name, std::string& value, bool& found,
               std::string& problem) {
  const auto at = std::find(args.begin(), args.end(), name);
  found = at != args.end();
  if (!found) return true;
  if (at + 1 == args.end()) {
    problem = name + " needs a value";
    return false;
  }
  value = *(at + 1);
  args.erase(at, at + 2);
  return true;
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
  const auto at = std::find(args.begin(), args.end(), name);
  if (at == args.end()) return false;
  args.erase(at);
  return true;
}

// A text as one field of a list line: its tabs and line breaks would split it,
// and its control characters would work on the terminal.
std::string field(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return terminalText(text, false);
}

nlohmann::json summaryJson(const RecordSummary& s) {
  return {{"record", s.id},       {"uuid", s.uuid},       {"utc_time", s.utcTime},
          {"model", s.sensorId},  {"unit", s.unit},       {"datasheet", s.datasheetName},
          {"success", s.success}, {"result", s.result},   {"waiting", s.waiting}};
}

// A number with its unit, when the record knows one.
std::string withUnit(double value, const std::string& unit) {
  return exactFixedNumber(value) + (unit.empty() ? "" : " " + unit);
}

std::string resultLine(const CalibrationRecord& record, const RecordResult& r) {
  const metrology::PointResult& p = r.result;
  const std::string unit = rowUnitOf(record, r.row);
  std::string line = "Row " + std::to_string(r.row + 1) + (r.asLeft ? " as left" : " as found") +
                     ": reference " + withUnit(p.referenceValue, unit) + ", reading " + withUnit(p.reading, unit) +
                     ", error " + withUnit(p.error(), unit) + ", U " + withUnit(p.uncertainty.expanded(), unit) +
                     " (k=" + exactNumber(p.uncertainty.coverageFactor) + ")";
  if (p.limit) line += ", limit " + withUnit(*p.limit, unit);
  line += std::string(", verdict ") + metrology::verdictName(p.verdict);
  if (!r.referenceInstrument.empty()) line += "; reference read from " + r.referenceInstrument + " at " + r.referenceTime;
  return line;
}

// A stored value as show writes it: its further lines indented under it and its
// tabs written out, so that no text a record holds reads as a line or a column of
// show's own (such as "Matches its audit trail: yes").
std::string shown(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\n') {
      out += "\n    ";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::string fullText(const CalibrationRecord& r) {
  const RecordText text = recordText(r);
  std::string out = text.title + "\n";
  for (const auto& [label, value] : text.facts) out += label + ": " + shown(value) + "\n";
  if (!std::isnan(r.ambientTemperature)) out += "Ambient temperature: " + withUnit(r.ambientTemperature, "\u00b0C") + "\n";
  if (!std::isnan(r.relativeHumidity)) out += "Relative humidity: " + withUnit(r.relativeHumidity, "% RH") + "\n";
  if (!r.decisionRule.empty()) out += "Decision rule: " + r.decisionRule + "\n";
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    if (!r.rows[i].tolerance.empty()) out += "Row " + std::to_string(i + 1) + " tolerance: " + shown(r.rows[i].tolerance) + "\n";
  }
  for (const RecordStandard& s : r.standards) {
    out += "Row " + std::to_string(s.row + 1) + " standard: " + s.standard.name + " (" + s.standard.identification +
           ", certificate " + s.standard.certificateNumber + ")\n";
  }
  std::string heading;
  for (const std::string& h : text.rowHeadings) heading += (heading.empty() ? "" : "\t") + field(h);
  out += heading + "\n";
  for (const auto& row : text.rows) {
    std::string line;
    for (const std::string& cell : row) line += (line.empty() ? "" : "\t") + field(cell);
    out += line + "\n";
  }
  out += text.result + "\n";
  for (const RecordResult& result : r.results) out += resultLine(r, result) + "\n";
  return out;
}

}  // namespace

bool parseCount(const std::string& text, long long& out) {
  if (text.empty() || text.size() > 12 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  out = std::stoll(text);
  return true;
}

bool takeFilter(std::vector<std::string>& args, Filter& filter, std::string& problem) {
  bool found = false;
  std::string model;
  if (!takeValue(args, "--unit", filter.unit, found, problem)) return false;
  if (!takeValue(args, "--model", model, found, problem)) return false;
  long long number = 0;
  if (found && (!parseCount(model, number) || number == 0 || number > 0x7FFFFFFF)) {
    problem = "--model " + model + " is no model number";
    return false;
  }
  filter.model = static_cast<int>(number);
  if (!takeValue(args, "--since", filter.since, found, problem)) return false;
  if (found && !metrology::isCalendarDate(filter.since)) {
    problem = "--since " + filter.since + " is no date (YYYY-MM-DD)";
    return false;
  }
  return true;
}

bool filtered(RecordStore& store, const Filter& filter, std::vector<RecordSummary>& out) {
  if (!(filter.unit.empty() ? store.list(filter.model, out) : store.listUnit(filter.unit, out))) return false;
  std::erase_if(out, [&filter](const RecordSummary& s) {
    return (filter.model != 0 && s.sensorId != filter.model) || (!filter.since.empty() && s.utcTime < filter.since);
  });
  return true;
}

bool findRecord(RecordStore& store, const std::string& idOrUuid, CalibrationRecord& out, std::string& problem) {
  long long number = 0;
  std::string uuid = idOrUuid;
  if (parseCount(idOrUuid, number)) {
    std::vector<RecordSummary> all;
    if (!store.list(0, all)) {
      problem = store.problem();
      return false;
    }
    const auto at = std::find_if(all.begin(), all.end(), [number](const RecordSummary& s) { return s.id == number; });
    if (at == all.end()) {
      problem = "there is no record " + idOrUuid;
      return false;
    }
    uuid = at->uuid;
  }
  if (!store.load(uuid, out)) {
    problem = store.problem();
    return false;
  }
  return true;
}

bool writeOut(const std::string& path, const std::string& text, std::string& problem) {
  if (path == "-") {
    // A terminal would act on the control characters a file from elsewhere holds.
    const std::string out = isatty(STDOUT_FILENO) != 0 ? terminalText(text, true) : text;
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (!file) problem = "cannot write " + path;
  return static_cast<bool>(file);
}

int listCommand(Context& c) {
  Filter filter;
  std::string problem;
  if (!takeFilter(c.args, filter, problem)) return badUse(problem);
  const bool json = takeFlag(c.args, "--json");
  if (!c.args.empty()) return badUse("list does not take " + c.args.front());
  std::vector<RecordSummary> list;
  if (!filtered(c.store, filter, list)) return refused(c.store.problem());
  for (const std::string& skipped : c.store.takeSkipped()) std::cerr << "trimwell-records: " << skipped << "\n";
  std::string out;
  if (json) {
    nlohmann::json array = nlohmann::json::array();
    for (const RecordSummary& s : list) array.push_back(summaryJson(s));
    out = array.dump(1, ' ', true, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    out.reserve(list.size() * 120);
    for (const RecordSummary& s : list) {
      out += std::to_string(s.id) + '\t' + field(s.uuid) + '\t' + field(s.utcTime) + '\t' + std::to_string(s.sensorId) + '\t' +
             field(s.unit) + '\t' + field(s.datasheetName) + '\t' + field(s.result) + '\n';
    }
  }
  return writeOut("-", out, problem) ? kDone : refused("cannot write the list");
}

namespace {

// Everything kept of a record as text: each version in full, its content hash,
// its audit entries, and whether it still matches them.
bool everythingText(RecordStore& store, const CalibrationRecord& record, std::string& out, std::string& problem,
                    bool& matches) {
  std::vector<VersionKept> versions;
  if (!everythingKept(store, record, versions, problem)) return false;
  out.clear();
  matches = true;
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const VersionKept& v = versions[i];
    out += "=== Version " + std::to_string(i + 1) + " of " + std::to_string(versions.size()) + " ===\n" +
           fullText(v.record) + "Audit trail:\n";
    for (const signing::AuditEntry& e : v.trail) out += "  " + auditLine(e) + "\n";
    out += std::string("Matches its audit trail: ") + (v.broken.empty() ? "yes" : "NO (" + v.broken + ")") + "\n";
    matches = matches && v.broken.empty();
  }
  return true;
}

}  // namespace

int showCommand(Context& c) {
  const bool everything = !c.args.empty() && c.args.front() == "--all";
  if (c.args.size() != (everything ? 2u : 1u)) return badUse("show takes one record number or identity (--all first)");
  CalibrationRecord record;
  std::string problem, text;
  if (!findRecord(c.store, c.args.back(), record, problem)) return refused(problem);
  bool matches = true;
  if (!everything) {
    // A record shown is held to its trail: a signature put in by hand shows here,
    // first, so that its values and signatures are not read as vouched for.
    std::string broken;
    matches = c.store.checkRecord(record.uuid, broken);
    const std::string why = broken.empty() ? c.store.problem() : broken;
    text = (matches ? std::string() : "NOT VOUCHED FOR: the record does not match its audit trail (" + why +
                                          "); what follows, signatures included, is as the store holds it now\n") +
           fullText(record) + "Matches its audit trail: " + (matches ? std::string("yes") : "NO (" + why + ")") + "\n";
  } else if (!everythingText(c.store, record, text, problem, matches)) {
    return refused(problem);
  } else if (!matches) {
    text = "NOT VOUCHED FOR: a version of the record does not match its audit trail; what follows is as the store "
           "holds it now\n" + text;
  }
  if (!writeOut("-", terminalText(text, true), problem)) return refused("cannot write the record");
  return matches ? kDone : refused("record " + std::to_string(record.id) + " does not match its audit trail");
}

}  // namespace trimwell::tool
