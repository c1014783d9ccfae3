#pragma once
// Where calibration records are kept. Operations answer false and keep the reason,
// which problem() tells.

#include <string>
#include <utility>
#include <vector>

#include "records/calibration_record.h"
#include "signing/signature.h"

namespace trimwell {

// Why the last operation of a store reached over a network failed: the store
// cannot be reached, or does not answer in time (the record may wait and go
// later); it refuses this station (login, rights, database, schema: the record
// may wait, but someone has to act); or it refuses this record for its content.
enum class StoreFault { None, Unreachable, NoAnswer, RefusesStation, RefusesRecord };

// Why a record that waits on a station to reach the lab's store has no
// certificate yet: the lab's store gives its number.
// How a store is opened. A station's own store is kept: made when missing and
// brought up to date. One the station did not just make (a file handed over, the
// lab's server read by the records tool) is read as it stands and never changed,
// or appended to (a signature, a certificate's issue) without its schema touched.
enum class StoreAccess { Keep, Read, Append };

inline constexpr const char* kNotYetNumbered = "not yet numbered: it waits on this station to reach the lab's store";

class RecordStore {
 public:
  virtual ~RecordStore() = default;
  // Keeps the record whole or not at all, and sets its number. A record without an
  // identity gets one; a record whose identity the store holds already is kept once
  // (taking the results appended to this copy of it since, if any).
  virtual bool add(CalibrationRecord& record) = 0;
  // Newest first; sensorId 0 lists every sensor.
  virtual bool list(int sensorId, std::vector<RecordSummary>& out) = 0;
  virtual bool load(const std::string& uuid, CalibrationRecord& out) = 0;
  // A unit's records, newest first.
  virtual bool listUnit(const std::string& unit, std::vector<RecordSummary>& out) = 0;
  // Adds as-left check results to a kept record, after those it has; the record is
  // otherwise left as it was.
  virtual bool appendResults(const std::string& uuid, const std::vector<RecordResult>& results) = 0;
  // Keeps `number` as the record's certificate number unless it has one already;
  // `number` becomes the one the record holds. False when there is no such record
  // or it cannot be kept.
  virtual bool keepCertificateNumber(const std::string& uuid, std::string& number) = 0;
  // Each unit's last successful calibration (units with an identification only).
  virtual bool lastCalibrations(std::vector<UnitLastCalibrated>& out) = 0;
  // The customers successful calibrations name, by name, each as its newest names them.
  virtual bool customers(std::vector<CustomerContact>& out) = 0;

  // The reference standards register, shared by every station of the store. save()
  // adds the entry or replaces the one of that name; entries are checked first.
  virtual bool saveStandard(const metrology::StandardEntry& entry) = 0;
  // By name.
  virtual bool listStandards(std::vector<metrology::StandardEntry>& out) = 0;

  // Electronic signatures. Each is kept with the audit entry that names it, after
  // those the record has; a store that keeps no signatures refuses them.
  virtual bool addSignature(const signing::Signature& signature) {
    (void)signature;
    problem_ = "this store keeps no signatures";
    return false;
  }
  // A record's signatures in the order given.
  virtual bool signatures(const std::string& uuid, std::vector<signing::Signature>& out) {
    (void)uuid;
    out.clear();
    return true;
  }
  // A refused signing goes into the audit trail: who tried, on which record, why.
  virtual bool noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                                 const std::string& why) {
    (void)login, (void)uid, (void)uuid, (void)why;
    problem_ = "this store keeps no signatures";
    return false;
  }
  // The bench times of a person's failed signings since their last good one.
  virtual bool signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) {
    (void)login, (void)uid;
    out.clear();
    return true;
  }

  // Enters an event of the station's in the audit trail: a document issued, an
  // export, a change of the laboratory's settings or a tolerance, with what
  // changed. `uuid` names the record it is about, or is empty. A store without a
  // trail has nothing to enter it in, and answers true.
  virtual bool noteStationEvent(const std::string& event, const std::string& uuid, const std::string& details) {
    (void)event, (void)uuid, (void)details;
    return true;
  }
  // The details of the last entry of the station's `event` (about no record), or
  // empty when there is none or the store keeps no trail.
  virtual bool lastStationEvent(const std::string& event, std::string& details) {
    (void)event;
    details.clear();
    return true;
  }
  // The identity of the record's next version, or empty when it has none.
  virtual bool amendedBy(const std::string& uuid, std::string& later) {
    (void)uuid;
    later.clear();
    return true;
  }
  // Whether the record as kept still matches its audit trail (its content hash,
  // its certificate number, its signatures); why not in `problem`. True for a
  // store that keeps no trail.
  virtual bool checkRecord(const std::string& uuid, std::string& problem) {
    (void)uuid;
    problem.clear();
    return true;
  }
  // The audit trail's entries about a record, oldest first: what a reviewer is
  // shown of what happened to it since it was made. None for a store without a trail.
  virtual bool recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) {
    (void)uuid;
    out.clear();
    return true;
  }

  // The audit trail's head (the last entry's hash), or empty for a store that
  // keeps no trail.
  virtual std::string chainHead() { return {}; }
  // Where the record just added went, for the operator: "record 12".
  virtual std::string describe(const CalibrationRecord& record) const {
    return "record " + std::to_string(record.id);
  }
  // Empty when a record can be kept now; else why not ("the disk ... is full").
  // Asked before each write into a sensor, so it may try again what failed before.
  virtual std::string keepingProblem() { return {}; }
  const std::string& problem() const { return problem_; }
  // The records the last lists left out, each with why (a value no station writes),
  // once: the caller says them.
  std::vector<std::string> takeSkipped() { return std::exchange(skipped_, {}); }
  StoreFault fault() const { return fault_; }

 protected:
  std::string problem_;
  std::vector<std::string> skipped_;
  StoreFault fault_ = StoreFault::None;
};

}  // namespace trimwell
