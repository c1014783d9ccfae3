#pragma once
// A lab-wide store that a station can lose. Every record is kept first in an
// outbox on the station (one local transaction), so a station killed at any
// moment loses nothing it wrote into a sensor; a worker thread of its own then
// sends what waits, oldest first and in batches, whenever the lab's store answers.
// The caller's thread never talks to the lab's server: it waits at most
// kSentWaitMs for a record to go through, and kLookupWaitMs for a list or a load.
//
// A record the lab refuses for its content is sent once more with its texts made
// valid UTF-8 (noted in its options), then set aside, named, so that it never
// holds up the others. Stations sharing one home share the outbox: each claims
// the batch it sends.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "records/record_store.h"
#include "records/sqlite_record_store.h"

namespace trimwell {

class LabRecordStore final : public RecordStore {
 public:
  static constexpr int kBatch = 50;
  static constexpr int kSentWaitMs = 50;
  static constexpr int kLookupWaitMs = 1500;
  static constexpr int kRetryMs = 5000;
  static constexpr std::chrono::seconds kClaimHold{60};
  static constexpr std::chrono::seconds kClosingFlush{10};

  LabRecordStore(std::unique_ptr<RecordStore> lab, std::unique_ptr<SqliteRecordStore> outbox);
  // Waits for the worker's call in progress, which the lab store's own time limits
  // bound.
  ~LabRecordStore() override;
  LabRecordStore(const LabRecordStore&) = delete;
  LabRecordStore& operator=(const LabRecordStore&) = delete;

  // True once the record is in the outbox; keptLocally() says whether it still waits there.
  bool add(CalibrationRecord& record) override;
  // The lab's records, and before them those that wait on this station.
  bool list(int sensorId, std::vector<RecordSummary>& out) override;
  bool load(const std::string& uuid, CalibrationRecord& out) override;
  // As list(), for one unit.
  bool listUnit(const std::string& unit, std::vector<RecordSummary>& out) override;
  // Into the outbox while the record waits there (it goes on with them), else into
  // the lab's store. While that cannot be reached, a record this station added in
  // this run waits again in the outbox with the results, and goes when the lab's
  // store answers; for any other record, false, saying so. Waits for a call the
  // worker has begun, whose outcome the caller must know.
  bool appendResults(const std::string& uuid, const std::vector<RecordResult>& results) override;
  // Only a record the lab's store holds: one that waits here has no number yet.
  bool keepCertificateNumber(const std::string& uuid, std::string& number) override;
  // The lab's, with those of the records that wait; on failure the latter only.
  bool lastCalibrations(std::vector<UnitLastCalibrated>& out) override;
  bool customers(std::vector<CustomerContact>& out) override;
  // The register lives in the lab's store alone: without it, neither works.
  bool saveStandard(const metrology::StandardEntry& entry) override;
  bool listStandards(std::vector<metrology::StandardEntry>& out) override;
  std::string describe(const CalibrationRecord& record) const override;

  // Signatures, checks and trails follow the record wherever it is: a record
  // that waits here is signed here, and its signatures go with it; one the lab's
  // store holds is signed there. A failed signing, or an event the lab's store
  // cannot take now, is kept here rather than lost.
  bool addSignature(const signing::Signature& signature) override;
  bool signatures(const std::string& uuid, std::vector<signing::Signature>& out) override;
  bool noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                         const std::string& why) override;
  bool signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) override;
  bool noteStationEvent(const std::string& event, const std::string& uuid, const std::string& details) override;
  bool lastStationEvent(const std::string& event, std::string& details) override;
  bool amendedBy(const std::string& uuid, std::string& later) override;
  bool checkRecord(const std::string& uuid, std::string& problem) override;
  bool recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) override;
  // The lab's chain: a certificate is issued only of a record the lab holds.
  std::string chainHead() override;
  // Whether the outbox can take a record; the lab's store need not be there.
  std::string keepingProblem() override;

  bool keptLocally() const { return keptLocally_; }
  std::size_t waiting();
  // Wakes the worker and waits, at most until the deadline, for one whole round of
  // sending begun after this call; true when it left nothing waiting.
  bool sendNow(std::chrono::milliseconds deadline);
  // At a normal close: sends what waits while the lab's store answers (one round is
  // always tried), for at most `limit`. goOn is told how many wait before each
  // round; false stops. Answers how many still wait.
  std::size_t finishSending(std::chrono::milliseconds limit, const std::function<bool(std::size_t)>& goOn);
  // What the lab's store said last, as the worker heard it.
  StoreFault labFault() const;
  std::string labProblem() const;
  // The records set aside since the last call, each named with its reason.
  std::vector<std::string> takeNotes();

 private:
  // A call on the lab's store the worker runs for the caller's thread, and its answer.
  struct Lookup {
    std::function<bool(RecordStore&, Lookup&)> call;
    bool started = false;
    bool abandoned = false;  // the caller gave up before it began: it never runs
    bool done = false;
    bool ok = false;
    std::string problem;
    StoreFault fault = StoreFault::None;
    std::vector<RecordSummary> list;
    CalibrationRecord record;
    std::vector<UnitLastCalibrated> units;
    std::vector<CustomerContact> customers;
    std::vector<metrology::StandardEntry> standards;
    std::string number;
    std::string text;
    std::vector<std::string> texts;
    std::vector<signing::Signature> signatures;
    std::vector<signing::AuditEntry> entries;
  };
  void work();
  // As sendNow; `finished` says whether the round ended within the deadline.
  bool sendRound(std::chrono::milliseconds deadline, bool& finished);
  // Sends batches until the outbox is empty (true) or the lab's store fails.
  bool sendWaiting();
  bool sendBatch(std::vector<CalibrationRecord>& batch, std::vector<std::string>& sent);
  bool sendOne(CalibrationRecord& record);
  void releaseDeadClaims();
  bool sendDirectly(CalibrationRecord& record);
  void runLookups(std::unique_lock<std::mutex>& lock);
  // Has the worker run the call on the lab's store; false, with the reason in
  // problem(), when it fails or is not begun within kLookupWaitMs.
  bool ask(const std::function<bool(RecordStore&, Lookup&)>& call, std::shared_ptr<Lookup>& answer,
           bool mustFinish = false);
  // A list read from the outbox (`waiting`) and from the lab (`lab`, under mutex_
  // once it answered); false, with `out` the outbox's alone, when the lab does not.
  template <typename T>
  bool listBoth(bool (RecordStore::*read)(std::vector<T>&), std::vector<T> Lookup::*field, std::vector<T>& waiting,
                std::shared_ptr<Lookup>& lab, std::vector<T>& out);
  // The last records added, as sent, with the results appended since: what a check
  // needs to wait in the outbox for a record the lab's store holds.
  void remember(const CalibrationRecord& record);
  void rememberResults(const std::string& uuid, const std::vector<RecordResult>& results);
  bool keepResultsWaiting(const std::string& uuid, const std::vector<RecordResult>& results);
  void resultsWaiting(const std::string& uuid, const std::vector<RecordResult>& results);
  bool waitsHere(const std::string& uuid);
  // Runs the call on the lab's store; false, with its words. A read is given up
  // after kLookupWaitMs, as lists are; a write begun is waited for, since the
  // caller must know whether it was kept.
  bool askLab(const std::function<bool(RecordStore&, Lookup&)>& call, std::shared_ptr<Lookup>& answer,
              bool writes = false);
  bool withWaiting(std::vector<RecordSummary> waiting, const std::function<bool(RecordStore&, Lookup&)>& call,
                   std::vector<RecordSummary>& out);

  std::unique_ptr<RecordStore> lab_;  // the worker's only
  std::unique_ptr<SqliteRecordStore> outbox_;
  std::mutex outboxMutex_;
  static constexpr std::size_t kRecentRecords = 8;
  std::mutex recentMutex_;
  std::deque<CalibrationRecord> recent_;
  const std::string claimant_;

  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool woken_ = false;
  bool busy_ = false;
  std::chrono::steady_clock::time_point busySince_;
  long long rounds_ = 0;
  bool emptied_ = false;
  bool labAnswered_ = false;  // the last round reached the lab's store
  StoreFault labFault_ = StoreFault::None;
  std::string labProblem_;
  std::string awaited_;  // the record add() waits for
  std::map<std::string, long long> sent_;  // its uuid -> the lab's number
  std::deque<std::shared_ptr<Lookup>> lookups_;
  std::vector<std::string> notes_;

  bool keptLocally_ = false;
  StoreFault keptBecause_ = StoreFault::None;
  std::string keptProblem_;
  std::thread worker_;
};

}  // namespace trimwell
