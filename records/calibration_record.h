#pragma once
// What the station keeps of every write into a sensor: when and by whom, with what
// equipment, to which sensor, the points and constants of each row, the options,
// the result, and the sensor's datasheet image and calibration block as found
// before the write and as read back after it.

#include <array>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "metrology/point_result.h"
#include "metrology/standard_entry.h"
#include "signing/signature.h"

namespace trimwell {

struct RecordRow {
  int measurementId = 0;
  std::string name;
  double point1Raw = 0.0;
  double point1Data = 0.0;
  double point2Raw = 0.0;
  double point2Data = 0.0;
  std::array<double, 4> constants{};
  bool leftOut = false;
  bool extra = false;
  // The row's tolerance as stated when the record was made, with its unit and
  // what a % of span is of: "± 0.5 % of the span of the calibrated range 0 to 100
  // °C". Empty for none, and in records from before it was kept.
  std::string tolerance = {};
};

// A point's result: as found (the old calibration's reading when the point was
// taken) or as left (a check with the new calibration after the write).
struct RecordResult {
  RecordResult(int place = 0, bool left = false, metrology::PointResult point = {}, std::string instrument = {},
               std::string time = {})
      : row(place),
        asLeft(left),
        result(std::move(point)),
        referenceInstrument(std::move(instrument)),
        referenceTime(std::move(time)) {}
  int row = 0;  // the row's place in the record
  bool asLeft = false;
  metrology::PointResult result;
  // Where the reference value came from: empty when it was typed, else the
  // instrument it was read from ("MAKER MODEL, serial S, firmware F") and when
  // (ISO 8601, UTC, to the millisecond).
  std::string referenceInstrument;
  std::string referenceTime;
};

// The reference standard a row's points were taken against, as it was that day.
struct RecordStandard {
  int row = 0;
  metrology::StandardEntry standard;
};

enum class RecordKind { Calibration, Restore };

// The kind as stores, exports and scripts name it: "calibration" or "restore".
inline const char* kindName(RecordKind kind) { return kind == RecordKind::Restore ? "restore" : "calibration"; }
inline RecordKind kindFromName(const std::string& name) {
  return name == "restore" ? RecordKind::Restore : RecordKind::Calibration;
}

struct CalibrationRecord {
  // Made by the station when the record is kept, the same in every store it goes
  // to: what restores, certificates and references go by.
  std::string uuid;
  long long id = 0;  // given by the store, for the operator's eyes only
  RecordKind kind = RecordKind::Calibration;
  std::string utcTime;  // ISO 8601, seconds
  std::string operatorName;  // the login
  // The person as the user database had them when the record was made (a name
  // there may change later); -1 and empty when not known.
  long long operatorUid = -1;
  std::string operatorFullName;
  std::string host;
  std::string stationVersion;
  std::string interfaceKind;  // "USB" or "wireless"
  int interfaceProduct = 0;
  std::string firmwareVersion;
  int sensorId = 0;
  std::string datasheetName;
  std::string datasheetVersion;
  std::vector<RecordRow> rows;
  std::string options;  // "Name=value" pairs, one per line
  bool success = false;
  std::string result;  // "written and verified", or the message shown
  std::vector<std::uint8_t> asFoundImage;
  std::vector<std::uint8_t> asFoundCalibration;
  std::vector<std::uint8_t> asLeftImage;
  std::vector<std::uint8_t> asLeftCalibration;
  long long restoredFrom = 0;  // for a restore: the number of the record whose state was written
  std::string restoredFromUuid;  // and its identity
  // The unit (serial number or asset tag) and whose it is; empty when not given.
  std::string unit;
  std::string customer;
  // The customer's address (lines parted by "\n") and e-mail, as their
  // certificate states them; empty when not given.
  std::string customerAddress;
  std::string customerEmail;
  // Where the calibration was done: empty at the laboratory (its address), else
  // the place on site, as the lab's setting gave it.
  std::string calibrationPlace;
  // The method: the procedure's identifier and version, as the lab names it for
  // the model; empty in records from before they were kept.
  std::string procedureId;
  std::string procedureVersion;
  // The ambient conditions typed for the calibration; not a number when not given.
  double ambientTemperature = std::nan("");
  double relativeHumidity = std::nan("");
  // The decision rule the verdicts were stated by ("simple", "guarded", "non-binary").
  std::string decisionRule;
  // For a restore into a unit other than the record's, or one holding neither of its
  // states: what the operator confirmed. Empty when nothing needed confirming.
  std::string restoreConfirmation;
  std::vector<RecordStandard> standards;
  // The number of the certificate (or report) issued of this record, given once,
  // when it was first printed; empty until then.
  std::string certificateNumber;
  // The computer's clock when the record was made: 1 synchronised, 0 not, -1 not
  // known; and the kernel's maximum error in microseconds (-1 not known).
  int clockSynchronised = -1;
  long long clockMaxErrorUs = -1;
  // An amendment is a new version of a record, never a change of it: the version
  // it amends (empty for a first version), its revision (1, 2, ...; 0 for a first
  // version) and why it was made.
  std::string amendsUuid;
  int revision = 0;
  std::string amendmentReason;
  // Not kept: the record was loaded from this station's outbox, where it waits to
  // reach the lab's store, which has not numbered it yet.
  bool waiting = false;
  // Not kept, set when a document of the record is issued: the certificate number
  // of the version it amends (empty when none was issued), and the identity of
  // the version that replaced it (empty when none has).
  std::string replacesNumber;
  std::string replacedBy;
  // Not kept, set with replacesNumber: the content hash of the version it amends.
  std::string replacesHash;
  // Not kept: the audit trail's head when a certificate of the record was issued
  // (empty for a store without a trail), which the certificate and its DCC carry.
  std::string chainHead;
  // Not part of its content: the signatures given to it, in their order, each over
  // the content hash of the version signed.
  std::vector<signing::Signature> signatures;
  // Not part of its content: the readings of checks refused once it was sealed,
  // as their "check not added" entries keep them. A record that waited on a
  // station carries them to the lab's store, whose trail then keeps them too.
  std::vector<std::string> refusedChecks;
  // As found first, then the as-left checks in the order taken: checks are only
  // ever appended to a kept record.
  std::vector<RecordResult> results;
};

// One line of a list of records.
struct RecordSummary {
  long long id = 0;
  std::string uuid;
  std::string utcTime;
  int sensorId = 0;
  std::string datasheetName;
  bool success = false;
  std::string result;
  bool waiting = false;  // kept on this station, not yet in the lab's store
  std::string unit;
};

// A unit whose calibration is due: its model, identification and the time of its
// last successful calibration.
struct UnitLastCalibrated {
  int sensorId = 0;
  std::string unit;
  std::string utcTime;
};

// A customer the lab has served, as their newest successful calibration names them.
struct CustomerContact {
  std::string name;
  std::string address;  // lines parted by "\n"
  std::string email;
  bool operator==(const CustomerContact&) const = default;
};

// What every record and audit entry names as the station that made it.
inline constexpr const char* kStationVersion = "Trimwell 1.21";

// The person the station runs as: the login, UID and full name (the GECOS field's
// first part) as the user database has them now.
struct Person {
  long long uid = -1;
  std::string login;
  std::string fullName;
};
Person currentPerson();

// Now, or a moment, in UTC, ISO 8601 to the second with its Z.
std::string utcNow();
std::string utcText(std::time_t at);

// Fills in when, who, where and which station, and the record's identity unless
// it has one.
void stampRecord(CalibrationRecord& record);

// The rows of a successful calibration that were adjusted (written, not left out)
// and have results as found but none as left: nothing shows what the new
// calibration reads.
std::vector<int> uncheckedRows(const CalibrationRecord& record);

// A random (version 4) UUID in its 36-character text form.
std::string newRecordUuid();

// Replaces each byte that is not part of valid UTF-8 with U+FFFD; true when it
// changed the text.
bool makeValidUtf8(std::string& text);

// A record's number as text that reads back to the same double, with a decimal
// point whatever the locale.
std::string exactNumber(double value);

}  // namespace trimwell
