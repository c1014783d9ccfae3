#pragma once
// The units due for calibration: those whose last successful calibration plus
// their model's calibration interval falls within the next 30 days, or has passed.

#include <string>
#include <vector>

#include "platform/registry.h"
#include "records/record_store.h"

namespace trimwell {

struct UnitDue {
  int sensorId = 0;
  std::string unit;
  std::string lastCalibrated;  // YYYY-MM-DD
  std::string dueOn;  // YYYY-MM-DD
  bool overdue = false;
};

inline constexpr int kDueWithinDays = 30;

// Soonest due first. Models without an interval are left out. False, with the
// store's reason, when the records cannot be read.
bool unitsDue(RecordStore& store, Registry& settings, const std::string& today, std::vector<UnitDue>& out,
              std::string& problem);

// The date `days` after `date` (both YYYY-MM-DD); empty for a date that is none.
std::string addDays(const std::string& date, int days);

// One line per unit: "Sensor 221 unit SN-1: due 2027-01-05 (last calibrated 2026-01-05)",
// "... overdue since ...".
std::string unitsDueText(const std::vector<UnitDue>& due);

}  // namespace trimwell
