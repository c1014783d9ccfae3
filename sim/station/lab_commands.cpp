// The lab's side of a script: the unit and its customer, the conditions, the
// reference standards register and each row's standard, tolerances, the decision
// rule, the lab's required fields, the as-left checks, and what a record keeps of
// them.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "app/control_ids.h"
#include "app/units_due.h"
#include "calibration/typed_value.h"
#include "documents/laboratory.h"
#include "sim/station/station_script.h"

namespace trimwell::sim {
namespace {

bool rowNumber(const std::string& word, int& row) {
  double value = 0.0;
  if (!parseTypedNumber(word, false, value) || value < 1 || value > ids::kRows || value != std::floor(value)) {
    return false;
  }
  row = static_cast<int>(value) - 1;
  return true;
}

// A number as the script writes it matches within half a step of its last digit.
bool matches(const std::string& expected, double actual) {
  double wanted = 0.0;
  if (!parseTypedNumber(expected, false, wanted)) return false;
  const std::size_t point = expected.find_first_of(".,");
  const std::size_t exponent = expected.find_first_of("eE");
  const int decimals = point == std::string::npos ? 0
                                                  : static_cast<int>((exponent == std::string::npos ? expected.size()
                                                                                                     : exponent) -
                                                                     point - 1);
  return std::abs(actual - wanted) <= 0.5 * std::pow(10.0, -decimals) * (exponent == std::string::npos ? 1 : std::abs(wanted));
}

std::string number(double value) {
  std::ostringstream out;
  out.precision(10);
  out << value;
  return out.str();
}

}  // namespace

ScriptResult StationScript::operate(int id, const std::string& text, bool click) {
  if (!window_.type(id, text) || (click && !window_.click(id))) {
    return fail("control " + std::to_string(id) + " to take it",
                window_.openBoxes() > 0 ? "a message box in front" : "hidden or disabled");
  }
  return kScriptPassed;
}

// unit TEXT | customer TEXT | customer-address TEXT (\n between lines) | customer-email TEXT |
// procedure SENSOR ID VERSION | ambient T RH | tolerance ROW none|reading A B|span P |
// rule simple|guarded|non-binary | lab require unit|conditions|approval yes|no | check ROW VALUE |
// standard ... (standardCommand)
ScriptResult StationScript::labCommand(const Words& w) {
  const std::string& verb = w.words[0];
  LabBench& bench = station_.dialog().labBench();
  const std::string rest = w.words.size() > 1 ? w.rests[1] : std::string();
  int row = 0;
  if (verb == "unit") return operate(ids::kUnit, rest, false);
  if (verb == "customer") return operate(ids::kCustomer, rest, false);
  if (verb == "customer-address") return operate(ids::kCustomerAddress, expandText(rest), false);
  if (verb == "customer-email") return operate(ids::kCustomerEmail, rest, false);
  if (verb == "procedure" && w.words.size() >= 4) return procedureCommand(w);
  if (verb == "ambient" && w.words.size() <= 3) {
    const ScriptResult t = operate(ids::kAmbientTemperature, w.words.size() > 1 ? w.words[1] : "", false);
    return t != kScriptPassed ? t : operate(ids::kRelativeHumidity, w.words.size() > 2 ? w.words[2] : "", false);
  }
  if (verb == "standard") return standardCommand(w);
  if (verb == "tolerance" && w.words.size() >= 3 && rowNumber(w.words[1], row)) {
    std::string problem;
    if (!bench.setTolerance(row, w.rests[2], problem)) station_.dialog().ShowMessage(problem);
    return kScriptPassed;
  }
  if (verb == "rule" && w.words.size() == 2 && metrology::parseDecisionRule(w.words[1], bench.settings().rule)) {
    bench.saveSettings();
    return kScriptPassed;
  }
  if (verb == "lab" && w.words.size() >= 3 && w.words[1] == "require" && w.words[2] == "approval") {
    return laboratoryCommand(w);  // the laboratory's, not the bench's
  }
  if (verb == "lab" && w.words.size() >= 2 && w.words[1] == "require") {
    // Every word is one the lab's settings know: another would set what it does not name.
    const bool field = w.words.size() > 2 && (w.words[2] == "unit" || w.words[2] == "conditions");
    const bool answer = w.words.size() > 3 && (w.words[3] == "yes" || w.words[3] == "no");
    if (!field || !answer || w.words.size() != 4) {
      const std::size_t bad = !field ? 2 : 3;
      const std::string word = w.words.size() > bad ? "\"" + w.words[bad] + "\" is none of them" : "a word is missing";
      return malformed("lab require unit|conditions|approval yes|no: " + word);
    }
    bool& flag = w.words[2] == "unit" ? bench.settings().unitRequired : bench.settings().conditionsRequired;
    flag = w.words[3] == "yes";
    bench.saveSettings();
    return kScriptPassed;
  }
  if (verb == "lab" && w.words.size() >= 2) return laboratoryCommand(w);
  if (verb == "units" && w.words.size() == 2 && w.words[1] == "due") {
    std::vector<UnitDue> due;
    std::string problem;
    station_.dialog().ShowMessage(bench.dueUnits(due, problem) ? unitsDueText(due) : problem);
    return kScriptPassed;
  }
  if (verb == "interval" && w.words.size() == 3) {
    double sensor = 0, days = 0;
    if (!parseTypedNumber(w.words[1], false, sensor) || !parseTypedNumber(w.words[2], false, days)) {
      return malformed("interval SENSOR DAYS");
    }
    bench.setInterval(static_cast<int>(sensor), static_cast<int>(days));
    return kScriptPassed;
  }
  // Without a value, the check's reference is the instrument's reading.
  if (verb == "check" && (w.words.size() == 3 || w.words.size() == 2) && rowNumber(w.words[1], row)) {
    const ScriptResult typed = w.words.size() == 3 ? operate(ids::kCheckValue + row, w.words[2], false) : kScriptPassed;
    if (typed != kScriptPassed) return typed;
    return window_.click(ids::kCheck + row) ? kScriptPassed : fail("Check of row " + w.words[1] + " to be clickable",
                                                                   "hidden or disabled");
  }
  return malformed("unit TEXT|customer TEXT|customer-address TEXT|customer-email TEXT|procedure SENSOR ID VERSION|"
                   "ambient T RH|standard ...|tolerance ROW ...|rule RULE|lab require unit|conditions|approval yes|no|check ROW [VALUE]");
}

// row ROW reference instrument|typed: where the row's reference values come from.
ScriptResult StationScript::rowCommand(const Words& w) {
  int row = 0;
  if (w.words.size() != 4 || w.words[2] != "reference" || !rowNumber(w.words[1], row) ||
      (w.words[3] != "instrument" && w.words[3] != "typed")) {
    return malformed("row ROW reference instrument|typed");
  }
  return operate(ids::kReferenceSource + row, w.words[3], true);
}

// procedure SENSOR ID VERSION: the method the lab calibrates the model by, kept
// with the laboratory's settings (its change entered in the audit trail).
ScriptResult StationScript::procedureCommand(const Words& w) {
  Registry& settings = station_.dialog().settingsRegistry();
  Laboratory lab = Laboratory::load(settings);
  double sensor = 0;
  const std::size_t last = w.rests[2].rfind(' ');
  std::string problem;
  if (!parseTypedNumber(w.words[1], false, sensor) || sensor != std::floor(sensor) ||
      !setProcedure(lab, static_cast<int>(sensor), w.rests[2].substr(0, last), w.words.back(), problem)) {
    return malformed("procedure SENSOR ID VERSION" + (problem.empty() ? "" : ": " + problem));
  }
  if (!lab.saveAndNote(settings, station_.dialog().recordKeeping().store(), problem)) {
    return fail("the procedure kept", problem.empty() ? "the settings refused it" : problem);
  }
  if (!problem.empty()) station_.dialog().ShowMessage(problem);
  return kScriptPassed;
}

// standard add NAME ID CERTIFICATE ISSUER CALIBRATED DUE QUANTITY UNIT A B K [NU] |
// standard retire NAME | standard ROW NAME|none (chosen in the row's chooser)
ScriptResult StationScript::standardCommand(const Words& w) {
  int row = 0;
  if (w.words.size() == 3 && rowNumber(w.words[1], row)) return operate(ids::kStandard + row, w.words[2], true);
  std::string problem;
  if (w.words.size() == 3 && w.words[1] == "retire") {
    if (!station_.dialog().labBench().retireStandard(w.words[2], problem)) station_.dialog().ShowMessage(problem);
    return kScriptPassed;
  }
  if ((w.words.size() != 13 && w.words.size() != 14) || w.words[1] != "add") {
    return malformed("standard add NAME ID CERT ISSUER CAL DUE QTY UNIT A B K [NU] | standard retire NAME");
  }
  metrology::StandardEntry e{w.words[2], w.words[3], w.words[4], w.words[5], w.words[6], w.words[7], w.words[8],
                             w.words[9], {}};
  // A field that is no number stays not a number, for the register to refuse.
  double* fields[] = {&e.uncertainty.a, &e.uncertainty.b, &e.uncertainty.coverageFactor};
  for (int i = 0; i < 3; ++i) {
    if (!parseTypedNumber(w.words[static_cast<std::size_t>(10 + i)], false, *fields[i])) *fields[i] = std::nan("");
  }
  // ν of the certificate's U, where it states one.
  if (w.words.size() == 14 && !parseTypedNumber(w.words[13], false, e.uncertainty.degreesOfFreedom)) {
    e.uncertainty.degreesOfFreedom = std::nan("");
  }
  if (!station_.dialog().labBench().addStandard(e, problem)) station_.dialog().ShowMessage(problem);
  return kScriptPassed;
}

// expect record last unit|customer|customer-address|customer-email|place|procedure|rule|confirmation TEXT | ambient T RH |
// standard ROW NAME | verdict as-found|as-left VERDICT | results N
ScriptResult StationScript::expectLabRecord(const Words& w, const CalibrationRecord& r) {
  const std::string& what = w.words[3];
  const std::string wanted = expandText(w.rests[4]);
  auto same = [&](const std::string& actual) {
    return actual == wanted ? kScriptPassed : fail("\"" + wanted + "\"", "\"" + actual + "\"");
  };
  if (what == "unit") return same(r.unit);
  if (what == "customer") return same(r.customer);
  if (what == "customer-address") return same(r.customerAddress);
  if (what == "customer-email") return same(r.customerEmail);
  if (what == "place") return same(r.calibrationPlace);
  if (what == "procedure") return same(r.procedureId + " " + r.procedureVersion);
  if (what == "rule") return same(r.decisionRule);
  if (what == "confirmation") return same(r.restoreConfirmation);
  if (what == "ambient") return same(number(r.ambientTemperature) + " " + number(r.relativeHumidity));
  if (what == "results") return same(std::to_string(r.results.size()));
  int row = 0;
  // The row's results whose reference value was read from the instrument.
  if (what == "reference-readings" && w.words.size() == 6 && rowNumber(w.words[4], row)) {
    const auto read = std::count_if(r.results.begin(), r.results.end(), [row](const RecordResult& x) {
      return x.row == row && !x.referenceInstrument.empty() && !x.referenceTime.empty();
    });
    return w.words[5] == std::to_string(read) ? kScriptPassed : fail(w.words[5], std::to_string(read));
  }
  if (what == "standard" && w.words.size() == 6 && rowNumber(w.words[4], row)) {
    for (const RecordStandard& s : r.standards) {
      if (s.row == row) return w.words[5] == s.standard.name ? kScriptPassed : fail(w.words[5], s.standard.name);
    }
    return fail(w.words[5], "no standard");
  }
  if (what == "verdict" && w.words.size() >= 6) {
    const bool asLeft = w.words[4] == "as-left";
    metrology::Verdict v = metrology::Verdict::kNotStated;
    for (const RecordResult& x : r.results) {
      if (x.asLeft == asLeft) v = metrology::worse(v, x.result.verdict);
    }
    return w.rests[5] == metrology::verdictName(v) ? kScriptPassed : fail(w.rests[5], metrology::verdictName(v));
  }
  return malformed(
      "expect record last unit|customer|customer-address|customer-email|place|procedure|rule|ambient|standard|"
      "verdict|results ...");
}

// expect record last result ROW as-found|as-left N [error E] [uncertainty U] [verdict V]
ScriptResult StationScript::expectResult(const Words& w, const CalibrationRecord& r) {
  int row = 0;
  double n = 0.0;
  if (!rowNumber(w.words[4], row) || !parseTypedNumber(w.words[6], false, n) || n < 1) return malformed("expect record last result ROW as-found|as-left N ...");
  const bool asLeft = w.words[5] == "as-left";
  const RecordResult* found = nullptr;
  double seen = 0;
  for (const RecordResult& x : r.results) {
    if (x.row == row && x.asLeft == asLeft && ++seen == n) found = &x;
  }
  if (found == nullptr) return fail(w.words[5] + " result " + w.words[6] + " of row " + w.words[4], "none");
  const metrology::PointResult& p = found->result;
  for (std::size_t i = 7; i + 1 < w.words.size(); i += 2) {
    const std::string& key = w.words[i];
    const std::string& value = key == "verdict" ? w.rests[i + 1] : w.words[i + 1];
    if (key == "verdict") {
      return value == metrology::verdictName(p.verdict) ? kScriptPassed : fail(value, metrology::verdictName(p.verdict));
    }
    const double actual = key == "error" ? p.error() : key == "uncertainty" ? p.uncertainty.expanded()
                          : key == "reading" ? p.reading : key == "reference" ? p.referenceValue : std::nan("");
    if (std::isnan(actual)) return malformed("error|uncertainty|reading|reference|verdict, not " + key);
    if (!matches(value, actual)) return fail(key + " " + value, number(actual));
  }
  return kScriptPassed;
}

}  // namespace trimwell::sim
