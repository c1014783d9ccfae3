#include "records/record_check.h"

#include <cmath>

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

std::string rowOutOfRange(const CalibrationRecord& record) {
  const auto bad = [](int row) { return row < 0 || row >= kMostRows; };
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
