#include "app/units_due.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "app/lab_inputs.h"
#include "metrology/standard_entry.h"
#include "platform/format_text.h"

namespace trimwell {

std::string addDays(const std::string& date, int days) {
  using namespace std::chrono;
  if (!metrology::isCalendarDate(date)) return {};
  const year_month_day from{year{std::stoi(date.substr(0, 4))}, month{static_cast<unsigned>(std::stoi(date.substr(5, 2)))},
                            day{static_cast<unsigned>(std::stoi(date.substr(8, 2)))}};
  const year_month_day to{sys_days{from} + std::chrono::days{days}};
  return formatText("%04d-%02u-%02u", static_cast<int>(to.year()), static_cast<unsigned>(to.month()),
                    static_cast<unsigned>(to.day()));
}

bool unitsDue(RecordStore& store, Registry& settings, const std::string& today, std::vector<UnitDue>& out,
              std::string& problem) {
  std::vector<UnitLastCalibrated> last;
  out.clear();
  if (!store.lastCalibrations(last)) {
    problem = store.problem();
    return false;
  }
  const std::string horizon = addDays(today, kDueWithinDays);
  std::map<int, int> intervals;  // read once per model
  for (const UnitLastCalibrated& u : last) {
    auto known = intervals.find(u.sensorId);
    if (known == intervals.end()) known = intervals.emplace(u.sensorId, calibrationInterval(settings, u.sensorId)).first;
    if (known->second <= 0) continue;
    const std::string calibrated = u.utcTime.substr(0, 10);
    const std::string due = addDays(calibrated, known->second);
    if (due.empty() || due > horizon) continue;
    out.push_back({u.sensorId, u.unit, calibrated, due, due < today});
  }
  std::sort(out.begin(), out.end(), [](const UnitDue& a, const UnitDue& b) {
    return a.dueOn != b.dueOn ? a.dueOn < b.dueOn : a.unit < b.unit;
  });
  return true;
}

std::string unitsDueText(const std::vector<UnitDue>& due) {
  if (due.empty()) return "No unit is due within 30 days";
  std::string text;
  for (const UnitDue& u : due) {
    text += formatText("%sSensor %d unit %s: %s %s (last calibrated %s)", text.empty() ? "" : "\n", u.sensorId,
                       u.unit.c_str(), u.overdue ? "overdue since" : "due", u.dueOn.c_str(), u.lastCalibrated.c_str());
  }
  return text;
}

}  // namespace trimwell
