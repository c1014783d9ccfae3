#pragma once
// Where calibration records are kept. Operations answer false and keep the reason,
// which problem() tells.

#include <string>
#include <vector>

#include "records/calibration_record.h"

namespace trimwell {

class RecordStore {
 public:
  virtual ~RecordStore() = default;
  // Keeps the record whole or not at all, and sets its id.
  virtual bool add(CalibrationRecord& record) = 0;
  // Newest first; sensorId 0 lists every sensor.
  virtual bool list(int sensorId, std::vector<RecordSummary>& out) = 0;
  virtual bool load(long long id, CalibrationRecord& out) = 0;
  // Where the record just added went, for the operator: "record 12".
  virtual std::string describe(const CalibrationRecord& record) const {
    return "record " + std::to_string(record.id);
  }
  const std::string& problem() const { return problem_; }

 protected:
  std::string problem_;
};

}  // namespace trimwell
