#include "records/record_check.h"

#include <algorithm>
#include <cmath>

#include "platform/text_safety.h"

namespace trimwell {
namespace {

// "result 3 (row 2, as left)"
std::string resultName(const RecordResult& r, std::size_t place) {
  return "result " + std::to_string(place + 1) + " (row " + std::to_string(r.row + 1) + ", " +
         (r.asLeft ? "as left" : "as found") + ")";
}

bool refuse(std::string& problem, const std::string& owner, const std::string& field, double value) {
  problem = "The record's " + owner + " has " + field + " that is not a finite number (" + exactNumber(value) + ")";
  return false;
}

bool checkBudget(const metrology::UncertaintyBudget& budget, const std::string& owner, std::string& problem) {
  for (const metrology::Contribution& c : budget.contributions) {
    const std::string of = " of contribution \"" + c.source + "\"";
    if (!std::isfinite(c.value)) return refuse(problem, owner, "a value" + of, c.value);
    if (!std::isfinite(c.divisor)) return refuse(problem, owner, "a divisor" + of, c.divisor);
    if (!std::isfinite(c.sensitivity)) return refuse(problem, owner, "a sensitivity" + of, c.sensitivity);
  }
  for (std::size_t i = 0; i < budget.correlations.size(); ++i) {
    const metrology::Correlation& r = budget.correlations[i];
    const std::string which = "correlation " + std::to_string(i + 1);
    if (!std::isfinite(r.coefficient)) return refuse(problem, owner, "a coefficient of " + which, r.coefficient);
    if (r.first >= budget.contributions.size() || r.second >= budget.contributions.size()) {
      problem = "The record's " + owner + " has " + which + " naming a contribution its budget does not have";
      return false;
    }
  }
  return true;
}

}  // namespace

bool checkResultNumbers(const std::vector<RecordResult>& results, std::size_t firstPlace, std::string& problem) {
  for (std::size_t i = 0; i < results.size(); ++i) {
    const metrology::PointResult& p = results[i].result;
    const std::string owner = resultName(results[i], firstPlace + i);
    if (!std::isfinite(p.referenceValue)) return refuse(problem, owner, "a reference value", p.referenceValue);
    if (!std::isfinite(p.reading)) return refuse(problem, owner, "a reading", p.reading);
    if (p.limit && !std::isfinite(*p.limit)) return refuse(problem, owner, "a limit", *p.limit);
    if (!std::isfinite(p.uncertainty.coverageFactor)) {
      return refuse(problem, owner, "a coverage factor", p.uncertainty.coverageFactor);
    }
    if (!checkBudget(p.uncertainty, owner, problem)) return false;
    // What a certificate states: U as the budget gives it.
    if (!std::isfinite(p.uncertainty.expanded())) {
      return refuse(problem, owner, "an expanded uncertainty", p.uncertainty.expanded());
    }
  }
  return true;
}

bool checkRecordNumbers(const CalibrationRecord& r, std::string& problem) {
  // Not given is NaN; only infinity is no condition at all.
  for (const auto& [name, value] : {std::pair{"ambient temperature", r.ambientTemperature},
                                    std::pair{"relative humidity", r.relativeHumidity}}) {
    if (std::isinf(value)) {
      problem = std::string("The record's ") + name + " is not a finite number (" + exactNumber(value) + ")";
      return false;
    }
  }
  for (const RecordStandard& s : r.standards) {
    const std::string owner = "standard \"" + s.standard.name + "\"";
    const metrology::ReferenceStandard& u = s.standard.uncertainty;
    if (!std::isfinite(u.a)) return refuse(problem, owner, "an a", u.a);
    if (!std::isfinite(u.b)) return refuse(problem, owner, "a b", u.b);
    if (!std::isfinite(u.coverageFactor)) return refuse(problem, owner, "a k", u.coverageFactor);
  }
  return checkResultNumbers(r.results, 0, problem);
}

namespace {

// Characters, not bytes, so that a name in another script is not cut short.
std::size_t characters(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool checkText(const std::string& text, const char* what, std::size_t longest, std::size_t lines, bool identifier,
               std::string& problem) {
  std::size_t line = 0, from = 0;
  while (from <= text.size()) {
    const std::size_t end = std::min(text.find('\n', from), text.size());
    const std::string one = text.substr(from, end - from);
    ++line;
    if (line > lines) {
      problem = std::string(what) + " has more than " + std::to_string(lines) + (lines == 1 ? " line" : " lines");
      return false;
    }
    if (characters(one) > longest) {
      problem = std::string(what) + " is longer than " + std::to_string(longest) + " characters" +
                (lines > 1 ? " in a line" : "");
      return false;
    }
    const std::string odd = identifier ? formatOrControlCharacter(one) : controlCharacter(one);
    if (!odd.empty()) {
      problem = std::string(what) + " holds " + odd +
                ", a character that is not shown or changes how the text reads: type it again without it";
      return false;
    }
    from = end + 1;
  }
  return true;
}

}  // namespace

bool checkIdentifier(const std::string& text, const char* what, std::string& problem) {
  return checkText(text, what, kLongestIdentifier, 1, true, problem);
}

bool checkRecordTexts(const CalibrationRecord& r, std::string& problem) {
  return checkIdentifier(r.unit, "The unit's identification", problem) &&
         checkText(r.customer, "The customer", kLongestName, 1, false, problem) &&
         checkText(r.customerAddress, "The customer's address", kLongestAddressLine, kMostAddressLines, false,
                   problem) &&
         checkText(r.customerEmail, "The customer's e-mail", kLongestName, 1, true, problem);
}

bool checkStandardTexts(const metrology::StandardEntry& e, std::string& problem) {
  return checkIdentifier(e.name, "The standard's name", problem) &&
         checkIdentifier(e.identification, "The standard's identification", problem) &&
         checkIdentifier(e.certificateNumber, "The standard's certificate number", problem) &&
         checkText(e.issuedBy, "The standard's issuer", kLongestName, 1, false, problem);
}

std::string rowOutOfRange(const CalibrationRecord& record) {
  // A row the record does not have (one of rows beyond them) is none a station wrote.
  const int rows = record.rows.empty() ? kMostRows : static_cast<int>(std::min<std::size_t>(record.rows.size(), kMostRows));
  const auto bad = [rows](int row) { return row < 0 || row >= rows; };
  for (const RecordStandard& s : record.standards) {
    if (bad(s.row)) return "record_standards.row_position " + std::to_string(s.row);
  }
  for (const RecordResult& r : record.results) {
    if (bad(r.row)) return "record_results.row_position " + std::to_string(r.row);
  }
  return {};
}

std::string outOfRange(long long recordId, const std::string& unfit) {
  return "record " + std::to_string(recordId) + " is refused: its " + unfit + " is out of range";
}

}  // namespace trimwell
