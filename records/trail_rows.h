#pragma once
// Signatures and audit entries as table rows, the same in every SQL store: the
// columns in their order, an item's values to bind, and an item read back from a
// row's cells. And the texts the trail states of a record and a standard.

#include <functional>
#include <string>
#include <vector>

#include "metrology/standard_entry.h"
#include "records/calibration_record.h"
#include "records/record_columns.h"
#include "signing/audit_chain.h"
#include "signing/signature.h"

namespace trimwell {

using RowCell = std::function<FieldValue(int column, SqlType type)>;

inline constexpr const char* kSignatureColumns =
    "record_uuid, position, record_hash, uid, login, printed_name, groups_held, meaning, reason, utc_time, "
    "signature_hash";
inline constexpr int kSignatureColumnCount = 11;
std::vector<FieldValue> signatureRow(const signing::Signature& signature, long long position);
signing::KeptSignature signatureFromRow(const RowCell& cell);

inline constexpr const char* kAuditColumns =
    "sequence, event, bench_time, machine_id, station_version, sensor, interface, record_uuid, record_hash, details, "
    "previous_hash, entry_hash, arrived_time, station_sequence, actor";
inline constexpr int kAuditColumnCount = 15;
std::vector<FieldValue> auditRow(const signing::AuditEntry& entry);
signing::AuditEntry auditEntryFromRow(const RowCell& cell);

// An entry about the record as it now is: its sensor, interface and content hash.
signing::AuditEntry entryAbout(const CalibrationRecord& now, const std::string& event, const std::string& details);
// An entry about no record: the station's own event.
signing::AuditEntry stationEntry(const std::string& event, const std::string& details);
// A failed signing's entry: about the record when `about` is given (the record as
// it is, where its trail still holds it), else about none.
signing::AuditEntry failedSigningEntry(const CalibrationRecord* about, const std::string& login, long long uid,
                                       const std::string& uuid, const std::string& why);
// What a "record made" entry says: for an amendment, which version it amends and why.
std::string madeDetails(const CalibrationRecord& record);
// Why a signed record takes no more results.
inline constexpr const char* kSealedRefusal =
    "the record is signed, which seals it: amend it (Amend... in the records view) and take the check again; this "
    "check's readings are kept in the audit trail";
// The event of a check refused on a sealed record, whose details are its readings.
inline constexpr const char* kCheckNotAdded = "check not added";
// A check's readings, as a "check not added" entry keeps them.
std::string checkReadings(const std::vector<RecordResult>& results);
// A register entry as the audit trail states it, every field named.
std::string standardText(const metrology::StandardEntry& entry);
// A change of the register: the entry it was (none for a new one) and is now.
inline constexpr const char* kStandardSaved = "reference standard saved";
std::string standardSavedDetails(const metrology::StandardEntry* before, const metrology::StandardEntry& now);
// A register entry kept before the store had an audit trail, entered as it is.
std::string standardEnteredDetails(const metrology::StandardEntry& now);
// The name of the standard such details save (either form); empty for none.
std::string savedStandardName(const std::string& details);
// Who enters an entry now: "LOGIN (UID N), PRINTED NAME".
std::string actorNow();
// The station's machine identity (/etc/machine-id), or empty.
std::string machineId();
// "?,?,?" or "$1,$2,$3": `count` placeholders in the store's way.
std::string placeholders(int count, char style);

}  // namespace trimwell
