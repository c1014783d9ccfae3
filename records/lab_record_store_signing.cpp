// A lab store with an outbox: signatures, the trail and the station's events, each
// taken where the record is.
#include "records/lab_record_store.h"

namespace trimwell {

bool LabRecordStore::waitsHere(const std::string& uuid) {
  const std::lock_guard guard(outboxMutex_);
  CalibrationRecord waiting;
  return outbox_->load(uuid, waiting);
}

bool LabRecordStore::askLab(const std::function<bool(RecordStore&, Lookup&)>& call, std::shared_ptr<Lookup>& answer,
                            bool writes) {
  return ask(
      [call](RecordStore& lab, Lookup& l) {
        const bool ok = call(lab, l);
        l.problem = lab.problem();
        l.fault = lab.fault();
        return ok;
      },
      answer, writes);
}

bool LabRecordStore::addSignature(const signing::Signature& signature) {
  {
    const std::lock_guard guard(outboxMutex_);
    CalibrationRecord waiting;
    if (outbox_->load(signature.recordUuid, waiting)) {
      if (!outbox_->addSignature(signature)) {
        problem_ = outbox_->problem();
        return false;
      }
      const std::lock_guard lock(mutex_);
      woken_ = true;
      wake_.notify_one();
      return true;
    }
  }
  std::shared_ptr<Lookup> answer;
  return askLab([signature](RecordStore& lab, Lookup&) { return lab.addSignature(signature); }, answer, true);
}

bool LabRecordStore::signatures(const std::string& uuid, std::vector<signing::Signature>& out) {
  out.clear();
  if (waitsHere(uuid)) {
    const std::lock_guard guard(outboxMutex_);
    return outbox_->signatures(uuid, out);
  }
  std::shared_ptr<Lookup> answer;
  if (!askLab([uuid](RecordStore& lab, Lookup& l) { return lab.signatures(uuid, l.signatures); }, answer)) return false;
  const std::lock_guard lock(mutex_);
  out = answer->signatures;
  return true;
}

// The lockout counts the lab's entries; one the lab cannot take now is kept here,
// where the station reads it while the lab is away.
bool LabRecordStore::noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                                       const std::string& why) {
  std::shared_ptr<Lookup> answer;
  if (askLab([=](RecordStore& lab, Lookup&) { return lab.noteFailedSigning(login, uid, uuid, why); }, answer, true)) {
    return true;
  }
  const std::lock_guard guard(outboxMutex_);
  if (outbox_->noteFailedSigning(login, uid, uuid, why)) return true;
  problem_ = outbox_->problem();
  return false;
}

bool LabRecordStore::signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) {
  std::shared_ptr<Lookup> answer;
  if (askLab([=](RecordStore& lab, Lookup& l) { return lab.signingFailures(login, uid, l.texts); }, answer)) {
    const std::lock_guard lock(mutex_);
    out = answer->texts;
    return true;
  }
  const std::lock_guard guard(outboxMutex_);
  return outbox_->signingFailures(login, uid, out);
}

bool LabRecordStore::noteStationEvent(const std::string& event, const std::string& uuid, const std::string& details) {
  if (uuid.empty() || !waitsHere(uuid)) {
    std::shared_ptr<Lookup> answer;
    if (askLab([=](RecordStore& lab, Lookup&) { return lab.noteStationEvent(event, uuid, details); }, answer,
               true)) {
      return true;
    }
    if (!uuid.empty()) return false;
  }
  const std::lock_guard guard(outboxMutex_);
  if (outbox_->noteStationEvent(event, uuid, details)) return true;
  problem_ = outbox_->problem();
  return false;
}

// The lab's entry, which every station holds to; while the lab is away, the last
// this station entered itself.
bool LabRecordStore::lastStationEvent(const std::string& event, std::string& details) {
  std::shared_ptr<Lookup> answer;
  if (askLab([event](RecordStore& lab, Lookup& l) { return lab.lastStationEvent(event, l.text); }, answer)) {
    {
      const std::lock_guard lock(mutex_);
      details = answer->text;
    }
    // One this station entered while the lab was away still holds, until the lab has its own.
    if (!details.empty()) return true;
  }
  const std::lock_guard guard(outboxMutex_);
  if (outbox_->lastStationEvent(event, details)) return true;
  problem_ = outbox_->problem();
  return false;
}

// An amendment may wait here while the version it amends is in the lab's store;
// one of a version that waits here waits after it, as records are sent in order.
bool LabRecordStore::amendedBy(const std::string& uuid, std::string& later) {
  const bool waiting = waitsHere(uuid);
  {
    const std::lock_guard guard(outboxMutex_);
    if (!outbox_->amendedBy(uuid, later)) {
      problem_ = outbox_->problem();
      return false;
    }
    if (waiting || !later.empty()) return true;
  }
  std::shared_ptr<Lookup> answer;
  if (!askLab([uuid](RecordStore& lab, Lookup& l) { return lab.amendedBy(uuid, l.text); }, answer)) return false;
  const std::lock_guard lock(mutex_);
  later = answer->text;
  return true;
}

bool LabRecordStore::checkRecord(const std::string& uuid, std::string& problem) {
  if (waitsHere(uuid)) {
    const std::lock_guard guard(outboxMutex_);
    return outbox_->checkRecord(uuid, problem);
  }
  std::shared_ptr<Lookup> answer;
  const bool asked = askLab([uuid](RecordStore& lab, Lookup& l) { return lab.checkRecord(uuid, l.text); }, answer);
  const std::lock_guard lock(mutex_);
  problem = asked ? answer->text : problem_;
  return asked && answer->text.empty();
}

bool LabRecordStore::recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) {
  out.clear();
  if (waitsHere(uuid)) {
    const std::lock_guard guard(outboxMutex_);
    return outbox_->recordTrail(uuid, out);
  }
  std::shared_ptr<Lookup> answer;
  if (!askLab([uuid](RecordStore& lab, Lookup& l) { return lab.recordTrail(uuid, l.entries); }, answer)) return false;
  const std::lock_guard lock(mutex_);
  out = answer->entries;
  return true;
}

std::string LabRecordStore::chainHead() {
  std::shared_ptr<Lookup> answer;
  if (!askLab([](RecordStore& lab, Lookup& l) {
        l.text = lab.chainHead();
        return !l.text.empty();
      }, answer)) {
    return {};
  }
  const std::lock_guard lock(mutex_);
  return answer->text;
}

}  // namespace trimwell
