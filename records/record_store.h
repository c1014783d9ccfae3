#pragma once
// Where calibration records are kept. Operations answer false and keep the reason,
// which problem() tells.

#include <string>
#include <vector>

#include "records/calibration_record.h"

namespace trimwell {

// Why the last operation of a store reached over a network failed: the store
// cannot be reached, or does not answer in time (the record may wait and go
// later); it refuses this station (login, rights, database, schema: the record
// may wait, but someone has to act); or it refuses this record for its content.
enum class StoreFault { None, Unreachable, NoAnswer, RefusesStation, RefusesRecord };

class RecordStore {
 public:
  virtual ~RecordStore() = default;
  // Keeps the record whole or not at all, and sets its number. A record without an
  // identity gets one; a record whose identity the store holds already is kept once.
  virtual bool add(CalibrationRecord& record) = 0;
  // Newest first; sensorId 0 lists every sensor.
  virtual bool list(int sensorId, std::vector<RecordSummary>& out) = 0;
  virtual bool load(const std::string& uuid, CalibrationRecord& out) = 0;
  // Where the record just added went, for the operator: "record 12".
  virtual std::string describe(const CalibrationRecord& record) const {
    return "record " + std::to_string(record.id);
  }
  // Empty when a record can be kept now; else why not ("the disk ... is full").
  // Asked before each write into a sensor, so it may try again what failed before.
  virtual std::string keepingProblem() { return {}; }
  const std::string& problem() const { return problem_; }
  StoreFault fault() const { return fault_; }

 protected:
  std::string problem_;
  StoreFault fault_ = StoreFault::None;
};

}  // namespace trimwell
