// The lab store's reads: each asked of the lab's server on the store's own thread
// and given up after the lookup wait, with what still waits in this station's
// outbox joined to the answer; and the reference standards register, which only
// the lab keeps.
#include "records/lab_record_store.h"

#include <map>

namespace trimwell {

// A call begun is waited for when its outcome matters (it writes): told it failed,
// the operator would try again what may yet be kept.
bool LabRecordStore::ask(const std::function<bool(RecordStore&, Lookup&)>& call, std::shared_ptr<Lookup>& answer,
                         bool mustFinish) {
  answer = std::make_shared<Lookup>();
  answer->call = call;
  std::unique_lock lock(mutex_);
  lookups_.push_back(answer);
  wake_.notify_one();
  if (!changed_.wait_for(lock, std::chrono::milliseconds(kLookupWaitMs), [&] { return answer->done; })) {
    if (!mustFinish || !answer->started) {
      answer->abandoned = true;
      problem_ = "the lab's store does not answer";
      return false;
    }
    changed_.wait(lock, [&] { return answer->done; });
  }
  if (!answer->ok) problem_ = answer->problem;
  return answer->ok;
}

// Those that wait on this station first, then the lab's that are not among them
// (sent, and not yet taken out of the outbox).
bool LabRecordStore::withWaiting(std::vector<RecordSummary> waiting,
                                 const std::function<bool(RecordStore&, Lookup&)>& call,
                                 std::vector<RecordSummary>& out) {
  for (RecordSummary& s : waiting) s.waiting = true;
  std::shared_ptr<Lookup> answer;
  const bool ok = ask(call, answer);
  out = waiting;
  if (!ok) return false;
  const std::lock_guard lock(mutex_);  // the worker is done with the answer
  for (const RecordSummary& s : answer->list) {
    bool stillWaiting = false;
    for (const RecordSummary& w : waiting) stillWaiting = stillWaiting || w.uuid == s.uuid;
    if (!stillWaiting) out.push_back(s);
  }
  return true;
}

bool LabRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  std::vector<RecordSummary> waiting;
  {
    const std::lock_guard guard(outboxMutex_);
    outbox_->list(sensorId, waiting);
  }
  return withWaiting(std::move(waiting),
                     [sensorId](RecordStore& lab, Lookup& l) {
                       const bool listed = lab.list(sensorId, l.list);
                       l.problem = lab.problem();
                       return listed;
                     },
                     out);
}

bool LabRecordStore::listUnit(const std::string& unit, std::vector<RecordSummary>& out) {
  std::vector<RecordSummary> waiting;
  {
    const std::lock_guard guard(outboxMutex_);
    outbox_->listUnit(unit, waiting);
  }
  return withWaiting(std::move(waiting),
                     [unit](RecordStore& lab, Lookup& l) {
                       const bool listed = lab.listUnit(unit, l.list);
                       l.problem = lab.problem();
                       return listed;
                     },
                     out);
}

bool LabRecordStore::load(const std::string& uuid, CalibrationRecord& out) {
  {
    const std::lock_guard guard(outboxMutex_);
    if (outbox_->load(uuid, out)) {
      out.waiting = true;
      return true;
    }
  }
  std::shared_ptr<Lookup> answer;
  const bool ok = ask(
      [uuid](RecordStore& lab, Lookup& l) {
        const bool loaded = lab.load(uuid, l.record);
        l.problem = lab.problem();
        return loaded;
      },
      answer);
  if (!ok) return false;
  const std::lock_guard lock(mutex_);
  out = answer->record;
  return true;
}

template <typename T>
bool LabRecordStore::listBoth(bool (RecordStore::*read)(std::vector<T>&), std::vector<T> Lookup::*field,
                              std::vector<T>& waiting, std::shared_ptr<Lookup>& lab, std::vector<T>& out) {
  {
    const std::lock_guard guard(outboxMutex_);
    (outbox_.get()->*read)(waiting);
  }
  out = waiting;
  return ask(
      [read, field](RecordStore& store, Lookup& l) {
        const bool listed = (store.*read)(l.*field);
        l.problem = store.problem();
        return listed;
      },
      lab);
}

// Each unit's last calibration, here or at the lab, whichever is later.
bool LabRecordStore::lastCalibrations(std::vector<UnitLastCalibrated>& out) {
  std::vector<UnitLastCalibrated> waiting;
  std::shared_ptr<Lookup> answer;
  if (!listBoth(&RecordStore::lastCalibrations, &Lookup::units, waiting, answer, out)) return false;
  std::map<std::pair<int, std::string>, std::string> last;
  const std::lock_guard lock(mutex_);
  for (const auto* part : {&waiting, &answer->units}) {
    for (const UnitLastCalibrated& u : *part) {
      std::string& time = last[{u.sensorId, u.unit}];
      if (u.utcTime > time) time = u.utcTime;
    }
  }
  out.clear();
  for (auto& [unit, time] : last) out.push_back({unit.first, unit.second, time});
  return true;
}

// The lab's customers, and those of records still waiting here, the newer (the
// waiting one) of each name where both have one.
bool LabRecordStore::customers(std::vector<CustomerContact>& out) {
  std::vector<CustomerContact> waiting;
  std::shared_ptr<Lookup> answer;
  if (!listBoth(&RecordStore::customers, &Lookup::customers, waiting, answer, out)) return false;
  std::map<std::string, CustomerContact> byName;
  const std::lock_guard lock(mutex_);
  for (const auto* part : {&answer->customers, &waiting}) {
    for (const CustomerContact& c : *part) byName[c.name] = c;
  }
  out.clear();
  for (auto& [name, contact] : byName) out.push_back(contact);
  return true;
}

bool LabRecordStore::saveStandard(const metrology::StandardEntry& entry) {
  if (!metrology::checkEntry(entry, problem_)) return false;
  std::shared_ptr<Lookup> answer;
  return ask(
      [entry](RecordStore& lab, Lookup& l) {
        const bool saved = lab.saveStandard(entry);
        l.problem = lab.problem();
        return saved;
      },
      answer, true);
}

// The lab's register, a copy of which the outbox keeps: while the lab's store
// cannot be reached, the standards as last read from it still are the rows' (and
// still required of them), not none at all.
bool LabRecordStore::listStandards(std::vector<metrology::StandardEntry>& out) {
  out.clear();
  std::shared_ptr<Lookup> answer;
  const bool ok = ask(
      [](RecordStore& lab, Lookup& l) {
        const bool listed = lab.listStandards(l.standards);
        l.problem = lab.problem();
        return listed;
      },
      answer);
  if (ok) {
    {
      const std::lock_guard lock(mutex_);
      out = answer->standards;
    }
    const std::lock_guard guard(outboxMutex_);
    for (const metrology::StandardEntry& entry : out) outbox_->saveStandard(entry);
    return true;
  }
  std::vector<metrology::StandardEntry> copy;
  const std::lock_guard guard(outboxMutex_);
  if (!outbox_->listStandards(copy) || copy.empty()) return false;
  out = std::move(copy);
  return true;
}

}  // namespace trimwell
