#pragma once
// Calibration records in an SQLite file. Each record goes in with its rows in one
// transaction, so a station killed mid-write loses at most that record. The file
// carries its schema version; opening an older one brings it up to date. The
// write-ahead log is folded into the file after each record and kept small, so a
// full disk stops the store no sooner than the records themselves fill it.
//
// As a lab store's outbox, several stations sharing one home may take records from
// the same file: each claims a batch under the file's write lock, so one sends it.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "records/record_schema.h"
#include "records/record_store.h"
#include "signing/audit_chain.h"

struct sqlite3;

namespace trimwell {

class SqliteRecordStore final : public RecordStore {
 public:
  static constexpr int kSchemaVersion = kRecordSchemaVersion;
  static constexpr int kBusyTimeoutMs = 5000;
  // Below this many free bytes on the file's disk a record is not promised.
  static constexpr unsigned long long kLeastFreeBytes = 64 * 1024;
  // A file read as it stands may ask this much work of SQLite (virtual machine
  // steps) for each of its bytes, beside kLeastWork: far more than reading every
  // record of it a few times, far less than no end.
  static constexpr long long kWorkPerByte = 2000;
  static constexpr long long kLeastWork = 200'000'000;

  // ":memory:" keeps the records for this run only. A file that cannot be opened
  // now (locked by another program, say) is tried again by keepingProblem() and add().
  explicit SqliteRecordStore(const std::string& path, int busyTimeoutMs = kBusyTimeoutMs);
  // A file that is there, read (never written: the tool's list and show) or
  // appended to (its sign, its certificates), whatever its owner's rights on it.
  // Its schema is never brought up to date; its tables must be the shape of its
  // version, no query may ask more than kWorkPerByte of it, and its own triggers,
  // views and generated columns run no function that is not harmless.
  SqliteRecordStore(const std::string& path, StoreAccess access);
  ~SqliteRecordStore() override;
  SqliteRecordStore(const SqliteRecordStore&) = delete;
  SqliteRecordStore& operator=(const SqliteRecordStore&) = delete;

  // The schema version whose step began the audit trail.
  static constexpr int kAuditTrailSince = 5;

  bool isOpen() const { return db_ != nullptr; }
  bool add(CalibrationRecord& record) override;
  bool list(int sensorId, std::vector<RecordSummary>& out) override;
  bool load(const std::string& uuid, CalibrationRecord& out) override;
  bool listUnit(const std::string& unit, std::vector<RecordSummary>& out) override;
  // Marks a record that waits as an outbox's amended: see remove().
  bool appendResults(const std::string& uuid, const std::vector<RecordResult>& results) override;
  bool keepCertificateNumber(const std::string& uuid, std::string& number) override;
  bool lastCalibrations(std::vector<UnitLastCalibrated>& out) override;
  bool customers(std::vector<CustomerContact>& out) override;
  bool saveStandard(const metrology::StandardEntry& entry) override;
  bool listStandards(std::vector<metrology::StandardEntry>& out) override;
  std::string chainHead() override;
  // Every audit entry, oldest first.
  bool auditTrail(std::vector<signing::AuditEntry>& out);
  bool addSignature(const signing::Signature& signature) override;
  bool signatures(const std::string& uuid, std::vector<signing::Signature>& out) override;
  bool noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                         const std::string& why) override;
  bool signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) override;
  bool recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) override;
  bool checkRecord(const std::string& uuid, std::string& problem) override;
  bool amendedBy(const std::string& uuid, std::string& later) override;
  bool noteStationEvent(const std::string& event, const std::string& uuid, const std::string& details) override;
  bool lastStationEvent(const std::string& event, std::string& details) override;
  // Walks the audit trail's chain and every record's content hash against it, and
  // finds keptHead in it when one is given.
  signing::ChainCheck verify(const std::string& keptHead = {});
  // Whether the last appendResults() failed for want of the record.
  bool missedRecord() const { return missedRecord_; }
  std::string keepingProblem() override;
  // Why records may not be kept as this person: their login was kept before under
  // another UID. Empty when they may.
  std::string loginProblem(const Person& person);
  int schemaVersion();
  // What the reader should know of how the file is read ("its folder cannot be
  // written: read as it stands"), or empty.
  const std::string& notice() const { return notice_; }
  // A PRAGMA's value as the database reports it, e.g. "synchronous" -> "2".
  std::string setting(const char* pragma);
  const std::string& path() const { return path_; }
  // Marks the file as a station's outbox: its records wait for the lab's store,
  // which numbers them, and only from it are records taken out once sent.
  bool keepAsOutbox();
  bool isOutbox() const { return outbox_; }

  // Outbox work. claim() takes up to `count` records, oldest first, that are not set
  // aside nor claimed by another station in the last `hold`, for `claimant`.
  bool claim(const std::string& claimant, int count, std::chrono::seconds hold, std::vector<CalibrationRecord>& out);
  bool release(const std::string& claimant);
  // Who holds claims now.
  bool claimants(std::vector<std::string>& out);
  // Takes the records out, in one transaction; one amended since it was claimed
  // stays, to be claimed and sent again whole.
  bool remove(const std::vector<std::string>& uuids);
  // Keeps the record, with the reason, out of every later claim.
  bool setAside(const std::string& uuid, const std::string& reason);
  // Records not set aside, and those set aside with their reasons.
  long long waitingCount();
  bool setAsideList(std::vector<std::pair<RecordSummary, std::string>>& out);

 private:
  int number(const std::string& sql);
  bool open();
  // StoreAccess::Read and Append (sqlite_store_reading.cpp).
  bool openExisting();
  bool readable();
  // Closes the file, and answers false with the problem as "WHAT PATH: problem".
  bool closeRefusing(const char* what);
  bool checkShape(int version);
  bool onlyStationTriggers();
  std::string kindOf(const std::string& name);
  long long wholeNumber(const char* sql);
  void boundWork();
  bool execute(const char* sql);
  bool migrate();
  bool insertRecord(CalibrationRecord& record);
  bool appendTo(const std::string& uuid, const std::vector<RecordResult>& results);
  bool loadChildren(CalibrationRecord& r);
  // Every record with its rows, standards and results (not its signatures), by number.
  bool loadEvery(std::vector<CalibrationRecord>& out);
  // Appends the event about the record, with its content hash as it is now.
  bool noteEvent(const std::string& event, const std::string& uuid, const std::string& details);
  bool enterRecordsKeptBefore();
  // Every record's identity, in the order they were kept.
  std::vector<std::string> recordUuids();
  // Appends the entry stamped now, by this station on this machine.
  bool noteChange(signing::AuditEntry& change);
  // Whether the record still matches its trail, so that an event may be entered
  // over it: one changed past its trail is refused, not sealed anew as it is.
  bool matchesTrail(const std::string& uuid);
  // Whether the record has a signature, which seals it: nothing more is appended.
  bool sealed(const std::string& uuid, bool& out);
  bool listWhere(const std::string& where, const FieldValue& value, std::vector<RecordSummary>& out);
  bool inTransaction(const std::function<bool()>& work);
  bool fail(const char* what);
  bool ensureOpen();

  std::string path_;
  int busyTimeoutMs_;
  sqlite3* db_ = nullptr;
  bool missedRecord_ = false;
  bool sealedRefusal_ = false;  // the last appendResults() met a signed record
  bool outbox_ = false;  // the file is marked as a station's outbox
  StoreAccess access_ = StoreAccess::Keep;
  int readVersion_ = 0;  // the schema of a file read as it stands
  std::string notice_;
  long long workLeft_ = 0;  // in thousands of steps, for a file read as it stands
  bool workSpent_ = false;
};

}  // namespace trimwell
