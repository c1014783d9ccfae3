#pragma once
// The records of every write into a sensor, as the station keeps them: which store
// (the station's SQLite file, or the lab's PostgreSQL with an outbox on the
// station), whether a write may go ahead when its record cannot be kept, the
// record made from the procedure's outcome and where it went, and a record's
// states loaded to be written back.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "calibration/write_outcome.h"
#include "platform/registry.h"
#include "platform/window_controls.h"
#include "records/record_store.h"

namespace trimwell {

class LabRecordStore;

// The typed values an amendment corrects; a value left out stays as it was.
struct RecordCorrections {
  std::optional<std::string> unit;
  std::optional<std::string> customer;
  std::optional<std::string> customerAddress;  // lines parted by "\n"
  std::optional<std::string> customerEmail;
  std::optional<double> ambientTemperature;  // °C
  std::optional<double> relativeHumidity;    // %
};
// "unit=TP-7; customer=Acme GmbH; customer-email=qs@acme.example; ambient=21.5;
// humidity=40" (and customer-address=LINES), as a script gives
// them; false, naming the part, for a field it does not know or a number that is none.
bool parseCorrections(const std::string& text, RecordCorrections& out, std::string& problem);

class RecordKeeping {
 public:
  // recordsFile: an SQLite file, or a PostgreSQL URL with outbox as the station's
  // file for what waits to be sent; empty: no records are kept.
  RecordKeeping(WindowControls& controls, Registry& settings, const std::string& recordsFile,
                const std::string& outbox);

  // The store, or nullptr when none is kept.
  RecordStore* store() { return store_.get(); }
  // Why records cannot be kept now, or empty.
  std::string keepingProblem();
  // The store fails silently call by call; the operator hears of it once, at start.
  void warnIfCannotKeep();
  // The identity of the record of the last write, or empty when it was not kept.
  const std::string& lastRecord() const { return lastRecord_; }
  int unrecordedWrites() const { return unrecordedWrites_; }
  int unrecordedRefused() const { return unrecordedRefused_; }

  // Before each write into a sensor: true when its record can be kept, or the lab
  // allows writing without it and the operator confirms. contentProblem: why the
  // record's own content could not be kept (empty: it can), found before the
  // sensor is touched.
  bool mayWrite(const std::string& contentProblem = {});
  // Keeps the outcome as a record, with what `amend` adds to it, and says on the
  // result line what it came to.
  void keep(const WriteOutcome& outcome, const std::function<void(CalibrationRecord&)>& amend = {});
  // A kept record's states; false, having told the operator why, when it cannot be read.
  bool load(const std::string& uuid, RestoreSource& out, CalibrationRecord* whole = nullptr);

  // Makes the next version of a kept record, with the reason: what it holds is
  // the record's (the calibration's time and operator, its results too); a check
  // taken after this joins it. It becomes the last record. False, with the reason,
  // for an empty reason, a record that cannot be read, or one amended already.
  // `corrections` are the typed values it corrects; each goes into the audit trail
  // with its old and new value ("record corrected").
  bool amend(const std::string& uuid, const std::string& reason, std::string& problem,
             const RecordCorrections& corrections = {});

  // At a normal close: what waits on this station for the lab's store is sent, for
  // at most ten seconds, progress told how many wait before each round (false
  // stops). How many still wait; 0 for a station's own file.
  std::size_t finishSending(const std::function<bool(std::size_t)>& progress);

  static CalibrationRecord recordOf(const WriteOutcome& outcome);

  // The person signing at this station: their first signature since the station
  // started, or after a quarter hour idle, asks for the login too.
  signing::SigningSession& signingSession() { return signingSession_; }

 private:
  std::string unrecordedCounts() const;

  WindowControls& controls_;
  Registry& settings_;
  std::unique_ptr<RecordStore> store_;
  LabRecordStore* lab_ = nullptr;  // store_, when it is the lab's
  std::string tlsNotice_;  // said at every start: the lab's URL lowers the server's check
  std::string lastRecord_;
  int unrecordedWrites_ = 0;
  int unrecordedRefused_ = 0;
  signing::SigningSession signingSession_;
};

}  // namespace trimwell
