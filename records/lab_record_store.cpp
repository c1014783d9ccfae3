#include "records/lab_record_store.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "records/record_check.h"

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
  const std::pair<const char*, std::string*> lab[] = {{"unit", &r.unit},
                                                      {"customer", &r.customer},
                                                      {"customer address", &r.customerAddress},
                                                      {"customer e-mail", &r.customerEmail},
                                                      {"place", &r.calibrationPlace},
                                                      {"procedure", &r.procedureId},
                                                      {"procedure version", &r.procedureVersion},
                                                      {"decision rule", &r.decisionRule},
                                                      {"restore confirmation", &r.restoreConfirmation}};
  for (const auto& [name, text] : lab) {
    if (makeValidUtf8(*text)) changed += std::string(changed.empty() ? "" : ", ") + name;
  }
  for (RecordRow& row : r.rows) {
    if (makeValidUtf8(row.name)) changed += std::string(changed.empty() ? "" : ", ") + "row " + row.name;
  }
  for (RecordStandard& s : r.standards) {
    metrology::StandardEntry& e = s.standard;
    bool any = false;
    for (std::string* text : {&e.name, &e.identification, &e.certificateNumber, &e.issuedBy, &e.quantity, &e.unit}) {
      any = makeValidUtf8(*text) || any;
    }
    if (any) changed += std::string(changed.empty() ? "" : ", ") + "standard " + e.name;
  }
  for (RecordResult& result : r.results) {
    for (metrology::Contribution& c : result.result.uncertainty.contributions) {
      if (makeValidUtf8(c.source)) changed += std::string(changed.empty() ? "" : ", ") + "source " + c.source;
    }
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

// Filled by the worker; read by the caller once done, both under mutex_.
LabRecordStore::LabRecordStore(std::unique_ptr<RecordStore> lab, std::unique_ptr<SqliteRecordStore> outbox)
    : lab_(std::move(lab)),
      outbox_(std::move(outbox)),
      claimant_(hostName() + " " + std::to_string(getpid()) + " " + newRecordUuid()) {
  // Marked, the file refuses numbers, and the tool reading it shows its records as waiting.
  outbox_->keepAsOutbox();
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
    if (lookup->abandoned) continue;
    lookup->started = true;
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
    bool claimed = false;
    {
      const std::lock_guard guard(outboxMutex_);
      claimed = outbox_->claim(claimant_, kBatch, kClaimHold, batch);
    }
    // An outbox that cannot be opened has nothing to send; the lab's store is
    // asked how it is all the same, with the outbox let go: the window's thread
    // takes the outbox too, and must never wait on the lab's server.
    if (!claimed) {
      std::vector<RecordSummary> none;
      const bool answered = lab_->list(-1, none);
      const std::lock_guard lock(mutex_);
      labAnswered_ = answered;
      labFault_ = lab_->fault();
      labProblem_ = lab_->problem();
      return false;
    }
    if (batch.empty()) {
      const std::lock_guard lock(mutex_);
      labAnswered_ = true;
      labFault_ = StoreFault::None;
      labProblem_.clear();
      return true;
    }
    std::vector<std::string> sent;
    const bool stopped = !sendBatch(batch, sent);
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

// Sends the batch in order; false when the lab stopped taking records or the
// station is stopping. `sent` names the records the lab now has.
bool LabRecordStore::sendBatch(std::vector<CalibrationRecord>& batch, std::vector<std::string>& sent) {
  for (CalibrationRecord& record : batch) {
    const long long number = record.id;
    const bool kept = sendOne(record);
    std::unique_lock lock(mutex_);
    if (kept) {
      sent.push_back(record.uuid);
      if (record.uuid == awaited_) sent_[record.uuid] = record.id;
      changed_.notify_all();
    } else if (lab_->fault() == StoreFault::RefusesRecord) {
      notes_.push_back("waiting record " + std::to_string(number) + " (" + record.uuid + ") is set aside: " +
                       lab_->problem());
      lock.unlock();
      const std::lock_guard guard(outboxMutex_);
      outbox_->setAside(record.uuid, lab_->problem());
      continue;
    } else {
      labFault_ = lab_->fault();
      labProblem_ = lab_->problem();
      return false;
    }
    runLookups(lock);
    if (stopping_) return false;
  }
  return true;
}

bool LabRecordStore::sendOne(CalibrationRecord& record) {
  if (lab_->add(record)) return true;
  if (lab_->fault() != StoreFault::RefusesRecord || !makeTextsValid(record)) return false;
  return lab_->add(record);
}

bool LabRecordStore::add(CalibrationRecord& record) {
  if (!checkRecordNumbers(record, problem_)) return false;
  if (record.uuid.empty()) record.uuid = newRecordUuid();
  {
    const std::lock_guard guard(outboxMutex_);
    if (!outbox_->add(record)) {
      problem_ = "the station's outbox cannot keep the record: " + outbox_->problem();
      return sendDirectly(record);
    }
  }
  keptLocally_ = true;
  remember(record);
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

// Without an outbox the lab's store, when it answers, still takes the record. A
// call the worker has begun is waited for: reported "not recorded" while it
// goes on, the record could be kept all the same. One whose reply never came may
// have been kept before it was lost, and is said so: nothing sends it again.
bool LabRecordStore::sendDirectly(CalibrationRecord& record) {
  const std::string outboxProblem = problem_;
  std::shared_ptr<Lookup> answer;
  const CalibrationRecord copy = record;
  const bool ok = ask(
      [copy](RecordStore& lab, Lookup& l) {
        l.record = copy;
        const bool added = lab.add(l.record);
        l.problem = lab.problem();
        l.fault = lab.fault();
        return added;
      },
      answer, true);
  if (!ok) {
    const std::lock_guard lock(mutex_);
    const bool unanswered = answer->done && answer->fault == StoreFault::NoAnswer;
    problem_ = outboxProblem + ", and " + problem_ +
               (unanswered ? " (its reply was lost: the lab's store may hold record " + record.uuid + " all the same)"
                           : std::string());
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
  bool finished = false;
  return sendRound(deadline, finished);
}

bool LabRecordStore::sendRound(std::chrono::milliseconds deadline, bool& finished) {
  std::unique_lock lock(mutex_);
  // A round under way may have claimed its batch before this call.
  const long long done = rounds_ + (busy_ ? 2 : 1);
  woken_ = true;
  wake_.notify_one();
  finished = changed_.wait_for(lock, deadline, [&] { return rounds_ >= done; });
  return finished && emptied_;
}

std::size_t LabRecordStore::finishSending(std::chrono::milliseconds limit,
                                          const std::function<bool(std::size_t)>& goOn) {
  constexpr std::chrono::milliseconds kRound{250};
  const auto until = std::chrono::steady_clock::now() + limit;
  std::size_t left = waiting();
  // One round is always tried: the store heard away some seconds ago may be back.
  while (left > 0) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until || (goOn && !goOn(left))) break;
    bool finished = false;
    const bool emptied =
        sendRound(std::min(kRound, std::chrono::duration_cast<std::chrono::milliseconds>(until - now)), finished);
    left = waiting();
    // The fault of a round that ended: one still sending holds the fault an
    // earlier round heard, which may be long gone.
    if (emptied || (finished && labFault() != StoreFault::None)) break;
  }
  return left;
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

void LabRecordStore::remember(const CalibrationRecord& record) {
  const std::lock_guard guard(recentMutex_);
  std::erase_if(recent_, [&](const CalibrationRecord& r) { return r.uuid == record.uuid; });
  recent_.push_back(record);
  recent_.back().waiting = false;
  if (recent_.size() > kRecentRecords) recent_.pop_front();
}

void LabRecordStore::rememberResults(const std::string& uuid, const std::vector<RecordResult>& results) {
  const std::lock_guard guard(recentMutex_);
  for (CalibrationRecord& r : recent_) {
    if (r.uuid == uuid) r.results.insert(r.results.end(), results.begin(), results.end());
  }
}

// The record is in the lab's store, which cannot be reached: a copy of it as this
// station sent it, with the new results, waits in the outbox. Sent, the lab's copy
// takes the results it lacks.
bool LabRecordStore::keepResultsWaiting(const std::string& uuid, const std::vector<RecordResult>& results) {
  CalibrationRecord copy;
  {
    const std::lock_guard guard(recentMutex_);
    const auto it = std::find_if(recent_.begin(), recent_.end(), [&](const CalibrationRecord& r) { return r.uuid == uuid; });
    if (it == recent_.end()) return false;
    copy = *it;
  }
  copy.results.insert(copy.results.end(), results.begin(), results.end());
  {
    const std::lock_guard guard(outboxMutex_);
    if (!outbox_->add(copy)) return false;
  }
  resultsWaiting(uuid, results);
  return true;
}

// Results now in the outbox: the copy kept of their record takes them, and the
// worker is woken to send them, not left for the next record.
void LabRecordStore::resultsWaiting(const std::string& uuid, const std::vector<RecordResult>& results) {
  rememberResults(uuid, results);
  const std::lock_guard lock(mutex_);
  woken_ = true;
  wake_.notify_one();
}

bool LabRecordStore::appendResults(const std::string& uuid, const std::vector<RecordResult>& results) {
  {
    const std::lock_guard guard(outboxMutex_);
    if (outbox_->appendResults(uuid, results)) {
      resultsWaiting(uuid, results);
      return true;
    }
    if (!outbox_->missedRecord()) {
      problem_ = outbox_->problem();
      return false;
    }
  }
  std::shared_ptr<Lookup> answer;
  const bool ok = ask(
      [uuid, results](RecordStore& lab, Lookup& l) {
        const bool added = lab.appendResults(uuid, results);
        l.problem = lab.problem();
        l.fault = lab.fault();
        return added;
      },
      answer, true);
  if (ok) {
    rememberResults(uuid, results);
    return true;
  }
  bool away = false;
  {
    const std::lock_guard lock(mutex_);
    away = !answer->done || answer->fault == StoreFault::Unreachable || answer->fault == StoreFault::NoAnswer;
  }
  // A call begun and never answered may have added them: sent again with the
  // record, the lab's store takes only the results it lacks.
  if (away && keepResultsWaiting(uuid, results)) return true;
  if (away) {
    problem_ = "the results cannot be added to record " + uuid +
               ", which is in the lab's record store, while that store cannot be reached: " + problem_;
  }
  return false;
}

bool LabRecordStore::keepCertificateNumber(const std::string& uuid, std::string& number) {
  {
    const std::lock_guard guard(outboxMutex_);
    CalibrationRecord waiting;
    if (outbox_->load(uuid, waiting)) {
      problem_ = kNotYetNumbered;
      return false;
    }
  }
  std::shared_ptr<Lookup> answer;
  const std::string given = number;
  const bool ok = ask(
      [uuid, given](RecordStore& lab, Lookup& l) {
        l.number = given;
        const bool kept = lab.keepCertificateNumber(uuid, l.number);
        l.problem = lab.problem();
        return kept;
      },
      answer, true);
  if (!ok) return false;
  const std::lock_guard lock(mutex_);
  number = answer->number;
  return true;
}

}  // namespace trimwell
