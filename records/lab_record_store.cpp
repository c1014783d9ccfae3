#include "records/lab_record_store.h"

namespace trimwell {

LabRecordStore::LabRecordStore(std::unique_ptr<RecordStore> lab, std::unique_ptr<SqliteRecordStore> outbox)
    : lab_(std::move(lab)), outbox_(std::move(outbox)) {}

std::size_t LabRecordStore::waiting() {
  std::vector<RecordSummary> queued;
  return outbox_->list(0, queued) ? queued.size() : 0;
}

bool LabRecordStore::flush() {
  std::vector<RecordSummary> queued;
  if (!outbox_->list(0, queued)) return false;
  for (auto it = queued.rbegin(); it != queued.rend(); ++it) {
    CalibrationRecord record;
    if (!outbox_->load(it->id, record)) return false;
    if (!lab_->add(record)) return false;
    // Sent first, then taken out: a station stopped in between sends it twice
    // rather than never.
    outbox_->remove(it->id);
  }
  return true;
}

bool LabRecordStore::add(CalibrationRecord& record) {
  keptLocally_ = false;
  if (flush() && lab_->add(record)) return true;
  labProblem_ = lab_->problem();
  if (!outbox_->add(record)) {
    problem_ = "the lab's record store cannot be reached (" + labProblem_ + ") and the station's outbox failed (" +
               outbox_->problem() + ")";
    return false;
  }
  keptLocally_ = true;
  return true;
}

std::string LabRecordStore::describe(const CalibrationRecord& record) const {
  if (!keptLocally_) return RecordStore::describe(record);
  return "kept on this station as waiting record " + std::to_string(record.id) +
         " until the lab's record store can be reached again: " + labProblem_;
}

bool LabRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  flush();
  if (lab_->list(sensorId, out)) return true;
  problem_ = lab_->problem();
  return false;
}

bool LabRecordStore::load(long long id, CalibrationRecord& out) {
  if (lab_->load(id, out)) return true;
  problem_ = lab_->problem();
  return false;
}

}  // namespace trimwell
