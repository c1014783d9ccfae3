#include "records/lab_record_store.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace trimwell {
namespace {

// Gives every text of the record that is not valid UTF-8 its valid form, and notes
// which in the record's options; false when all were valid.
bool makeTextsValid(CalibrationRecord& r) {
  std::string changed;
  const std::pair<const char*, std::string*> texts[] = {
      {"operator", &r.operatorName}, {"host", &r.host},         {"station version", &r.stationVersion},
      {"interface", &r.interfaceKind}, {"firmware", &r.firmwareVersion}, {"datasheet", &r.datasheetName},
      {"datasheet version", &r.datasheetVersion}, {"options", &r.options}, {"result", &r.result}};
  for (const auto& [name, text] : texts) {
    if (makeValidUtf8(*text)) changed += std::string(changed.empty() ? "" : ", ") + name;
  }
  for (RecordRow& row : r.rows) {
    if (makeValidUtf8(row.name)) changed += std::string(changed.empty() ? "" : ", ") + "row " + row.name;
  }
  if (changed.empty()) return false;
  r.options += std::string(r.options.empty() ? "" : "\n") + "Texts made valid UTF-8=" + changed;
  return true;
}

std::string hostName() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

// "host pid random": a claim of a station on this host that is gone.
bool claimantGone(const std::string& claimant) {
  const std::size_t space = claimant.find(' ');
  if (space == std::string::npos || claimant.substr(0, space) != hostName()) return false;
  const long pid = std::strtol(claimant.c_str() + space + 1, nullptr, 10);
  return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

struct LabRecordStore::Lookup {
  std::function<bool(RecordStore&, Lookup&)> call;
  bool done = false;
  bool ok = false;
  std::string problem;
  std::vector<RecordSummary> list;
  CalibrationRecord record;
};

LabRecordStore::LabRecordStore(std::unique_ptr<RecordStore> lab, std::unique_ptr<SqliteRecordStore> outbox)
    : lab_(std::move(lab)),
      outbox_(std::move(outbox)),
      claimant_(hostName() + " " + std::to_string(getpid()) + " " + newRecordUuid()) {
  worker_ = std::thread(&LabRecordStore::work, this);
}

LabRecordStore::~LabRecordStore() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

void LabRecordStore::work() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    woken_ = false;
    busy_ = true;
    busySince_ = std::chrono::steady_clock::now();
    lock.unlock();
    const bool emptied = sendWaiting();
    lock.lock();
    busy_ = false;
    emptied_ = emptied;
    ++rounds_;
    changed_.notify_all();
    runLookups(lock);
    wake_.wait_for(lock, std::chrono::milliseconds(kRetryMs),
                   [this] { return stopping_ || woken_ || !lookups_.empty(); });
    runLookups(lock);
  }
}

void LabRecordStore::runLookups(std::unique_lock<std::mutex>& lock) {
  while (!lookups_.empty() && !stopping_) {
    const std::shared_ptr<Lookup> lookup = lookups_.front();
    lookups_.pop_front();
    lock.unlock();
    const bool ok = lookup->call(*lab_, *lookup);
    lock.lock();
    lookup->ok = ok;
    lookup->done = true;
    changed_.notify_all();
  }
}

// Claims of a station killed mid-flush would hold its batch for kClaimHold.
void LabRecordStore::releaseDeadClaims() {
  const std::lock_guard guard(outboxMutex_);
  std::vector<std::string> claimants;
  outbox_->claimants(claimants);
  for (const std::string& claimant : claimants) {
    if (claimantGone(claimant)) outbox_->release(claimant);
  }
}

bool LabRecordStore::sendWaiting() {
  releaseDeadClaims();
  for (;;) {
    std::vector<CalibrationRecord> batch;
    {
      const std::lock_guard guard(outboxMutex_);
      // An outbox that cannot be opened has nothing to send; the lab's store is
      // asked how it is all the same.
      if (!outbox_->claim(claimant_, kBatch, kClaimHold, batch)) {
        std::vector<RecordSummary> none;
        const bool answered = lab_->list(-1, none);
        const std::lock_guard lock(mutex_);
        labAnswered_ = answered;
        labFault_ = lab_->fault();
        labProblem_ = lab_->problem();
        return false;
      }
    }
    if (batch.empty()) {
      const std::lock_guard lock(mutex_);
      labAnswered_ = true;
      labFault_ = StoreFault::None;
      labProblem_.clear();
      return true;
    }
    std::vector<std::string> sent;
    bool stopped = false;
    for (CalibrationRecord& record : batch) {
      const long long number = record.id;
      const bool kept = sendOne(record);
      std::unique_lock lock(mutex_);
      if (kept) {
        sent.push_back(record.uuid);
        if (record.uuid == awaited_) sent_[record.uuid] = record.id;
        changed_.notify_all();
      } else if (lab_->fault() == StoreFault::RefusesRecord) {
        notes_.push_back("waiting record " + std::to_string(number) + " (" + record.uuid +
                         ") is set aside: " + lab_->problem());
        lock.unlock();
        const std::lock_guard guard(outboxMutex_);
        outbox_->setAside(record.uuid, lab_->problem());
        continue;
      } else {
        labFault_ = lab_->fault();
        labProblem_ = lab_->problem();
        stopped = true;
        break;
      }
      runLookups(lock);
      if (stopping_) {
        stopped = true;
        break;
      }
    }
    const std::lock_guard guard(outboxMutex_);
    // Sent, then taken out: a station stopped in between sends them again, and the
    // lab keeps each once by its identity.
    if (!sent.empty()) outbox_->remove(sent);
    if (stopped) {
      outbox_->release(claimant_);
      return false;
    }
  }
}

bool LabRecordStore::sendOne(CalibrationRecord& record) {
  if (lab_->add(record)) return true;
  if (lab_->fault() != StoreFault::RefusesRecord || !makeTextsValid(record)) return false;
  return lab_->add(record);
}

bool LabRecordStore::add(CalibrationRecord& record) {
  if (record.uuid.empty()) record.uuid = newRecordUuid();
  {
    const std::lock_guard guard(outboxMutex_);
    if (!outbox_->add(record)) {
      problem_ = "the station's outbox cannot keep the record: " + outbox_->problem();
      return sendDirectly(record);
    }
  }
  keptLocally_ = true;
  std::unique_lock lock(mutex_);
  // The lab's store that answered last and is not busy gets a moment to take it.
  const bool answering = labFault_ == StoreFault::None && !busy_;
  awaited_ = record.uuid;
  woken_ = true;
  wake_.notify_one();
  if (answering) {
    changed_.wait_for(lock, std::chrono::milliseconds(kSentWaitMs), [&] { return sent_.count(record.uuid) > 0; });
  }
  awaited_.clear();
  if (const auto it = sent_.find(record.uuid); it != sent_.end()) {
    record.id = it->second;
    keptLocally_ = false;
  }
  sent_.clear();
  keptBecause_ = labFault_;
  keptProblem_ = labProblem_;
  if (keptBecause_ == StoreFault::None && busy_ &&
      std::chrono::steady_clock::now() - busySince_ > std::chrono::milliseconds(kLookupWaitMs)) {
    keptBecause_ = StoreFault::NoAnswer;
  }
  return true;
}

// Without an outbox the lab's store, when it answers, still takes the record.
bool LabRecordStore::sendDirectly(CalibrationRecord& record) {
  const std::string outboxProblem = problem_;
  std::shared_ptr<Lookup> answer;
  const CalibrationRecord copy = record;
  const bool ok = ask(
      [copy](RecordStore& lab, Lookup& l) {
        l.record = copy;
        const bool added = lab.add(l.record);
        l.problem = lab.problem();
        return added;
      },
      answer);
  if (!ok) {
    problem_ = outboxProblem + ", and " + answer->problem;
    return false;
  }
  const std::lock_guard lock(mutex_);
  record.id = answer->record.id;
  keptLocally_ = false;
  return true;
}

std::string LabRecordStore::describe(const CalibrationRecord& record) const {
  if (!keptLocally_) return RecordStore::describe(record);
  const std::string waiting = "waiting record " + std::to_string(record.id);
  switch (keptBecause_) {
    case StoreFault::Unreachable:
      return "kept on this station as " + waiting + " until the lab's record store can be reached again: " +
             keptProblem_;
    case StoreFault::NoAnswer:
      return waiting + ": the lab's store does not answer; the record waits on this station";
    case StoreFault::RefusesStation:
      return "kept on this station as " + waiting + ": " + keptProblem_;
    default:
      return "kept on this station as " + waiting + ", on its way to the lab's record store";
  }
}

// The outbox, or else a lab's store that answered its last call.
std::string LabRecordStore::keepingProblem() {
  std::string problem;
  {
    const std::lock_guard guard(outboxMutex_);
    problem = outbox_->keepingProblem();
  }
  const std::lock_guard lock(mutex_);
  return problem.empty() || (labAnswered_ && labFault_ == StoreFault::None) ? std::string() : problem;
}

std::size_t LabRecordStore::waiting() {
  const std::lock_guard guard(outboxMutex_);
  return static_cast<std::size_t>(outbox_->waitingCount());
}

bool LabRecordStore::sendNow(std::chrono::milliseconds deadline) {
  std::unique_lock lock(mutex_);
  // A round under way may have claimed its batch before this call.
  const long long done = rounds_ + (busy_ ? 2 : 1);
  woken_ = true;
  wake_.notify_one();
  return changed_.wait_for(lock, deadline, [&] { return rounds_ >= done; }) && emptied_;
}

StoreFault LabRecordStore::labFault() const {
  const std::lock_guard lock(mutex_);
  return labFault_;
}

std::string LabRecordStore::labProblem() const {
  const std::lock_guard lock(mutex_);
  return labProblem_;
}

std::vector<std::string> LabRecordStore::takeNotes() {
  const std::lock_guard lock(mutex_);
  return std::exchange(notes_, {});
}

// Has the worker run the call on the lab's store; false when it did not answer in
// kLookupWaitMs.
bool LabRecordStore::ask(const std::function<bool(RecordStore&, Lookup&)>& call, std::shared_ptr<Lookup>& answer) {
  answer = std::make_shared<Lookup>();
  answer->call = call;
  std::unique_lock lock(mutex_);
  lookups_.push_back(answer);
  wake_.notify_one();
  if (!changed_.wait_for(lock, std::chrono::milliseconds(kLookupWaitMs), [&] { return answer->done; })) {
    answer->problem = "the lab's store does not answer";
    return false;
  }
  return answer->ok;
}

bool LabRecordStore::list(int sensorId, std::vector<RecordSummary>& out) {
  std::vector<RecordSummary> waiting;
  {
    const std::lock_guard guard(outboxMutex_);
    outbox_->list(sensorId, waiting);
  }
  std::shared_ptr<Lookup> answer;
  const bool ok = ask(
      [sensorId](RecordStore& lab, Lookup& l) {
        const bool listed = lab.list(sensorId, l.list);
        l.problem = lab.problem();
        return listed;
      },
      answer);
  out = waiting;
  for (RecordSummary& s : out) s.waiting = true;
  if (!ok) {
    problem_ = answer->problem;
    return false;
  }
  const std::lock_guard lock(mutex_);  // the worker is done with the answer
  for (const RecordSummary& s : answer->list) {
    bool stillWaiting = false;  // sent, and not yet taken out of the outbox
    for (const RecordSummary& w : waiting) stillWaiting = stillWaiting || w.uuid == s.uuid;
    if (!stillWaiting) out.push_back(s);
  }
  return true;
}

bool LabRecordStore::load(const std::string& uuid, CalibrationRecord& out) {
  {
    const std::lock_guard guard(outboxMutex_);
    if (outbox_->load(uuid, out)) return true;
  }
  std::shared_ptr<Lookup> answer;
  const bool ok = ask(
      [uuid](RecordStore& lab, Lookup& l) {
        const bool loaded = lab.load(uuid, l.record);
        l.problem = lab.problem();
        return loaded;
      },
      answer);
  if (!ok) {
    problem_ = answer->problem;
    return false;
  }
  const std::lock_guard lock(mutex_);
  out = answer->record;
  return true;
}

}  // namespace trimwell
