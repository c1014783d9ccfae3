#pragma once
// A lab-wide store that a station can lose: records go to the lab's store, and
// while it cannot be reached they are kept in an outbox on the station, which is
// sent, oldest first, with the next record or list once the lab's store is back.

#include <memory>

#include "records/record_store.h"
#include "records/sqlite_record_store.h"

namespace trimwell {

class LabRecordStore final : public RecordStore {
 public:
  LabRecordStore(std::unique_ptr<RecordStore> lab, std::unique_ptr<SqliteRecordStore> outbox);

  // True also when the record went into the outbox; keptLocally() then says so.
  bool add(CalibrationRecord& record) override;
  bool list(int sensorId, std::vector<RecordSummary>& out) override;
  bool load(long long id, CalibrationRecord& out) override;
  std::string describe(const CalibrationRecord& record) const override;

  bool keptLocally() const { return keptLocally_; }
  std::size_t waiting();

 private:
  // Sends what waits in the outbox; false when the lab's store is still away.
  bool flush();

  std::unique_ptr<RecordStore> lab_;
  std::unique_ptr<SqliteRecordStore> outbox_;
  bool keptLocally_ = false;
  std::string labProblem_;
};

}  // namespace trimwell
