#pragma once
// The laboratory that issues certificates: who it is, its accreditation, and how
// its certificates are numbered. Set once per station (or for every station of a
// lab), kept in the station's settings.

#include <span>
#include <string>

#include "platform/registry.h"
#include "records/calibration_record.h"
#include "records/record_signing.h"
#include "records/record_store.h"

namespace trimwell {

struct Laboratory {
  std::string name;
  std::string address;  // lines parted by "\n"
  std::string email;  // the lab's contact address, which its DCCs need
  // The country (ISO 3166-1 two letters) the lab calibrates in, which its DCCs name.
  std::string country;
  // Where calibrations are done: "laboratory" (at its address), or "on-site PLACE"
  // (at the customer's, PLACE naming where).
  std::string location = "laboratory";
  // The method each model is calibrated by: lines "SENSOR ID VERSION"; a model
  // not named is calibrated by the station's own procedure.
  std::string procedures;
  // "yes": a row adjusted but not checked after adjustment may still be
  // certified, and its certificate says so; "no": it waits for its check.
  std::string certifyUnchecked = "no";
  std::string accreditationBody;  // optional
  std::string accreditationNumber;  // optional
  // {lab} the lab's code, {station} the station's code, {year} the record's year,
  // {seq:0N} the record's number in its store, N digits with leading zeros. A lab
  // store numbers records across every station; a station's own file does not, so
  // its pattern carries the station's code.
  std::string code = "LAB";
  std::string stationCode = "S1";
  std::string numberPattern = "{lab}-{station}-{year}-{seq:05}";
  std::string performer;  // who calibrates at this station, until signatures name them
  // The laboratory's seal on its DCCs: a private key and its certificate, PEM files
  // (absolute paths); neither: DCCs go unsealed.
  std::string sealKeyFile;
  std::string sealCertificateFile;
  // The CA certificate (PEM, an absolute path) the lab's PostgreSQL server's
  // certificate is checked against; empty: the system's trusted authorities.
  std::string storeCaFile;
  // Signatures: the system groups that give the roles, whether two different
  // people perform and approve, and how many failed signings in a row lock a
  // person's signing for how many minutes.
  std::string operatorGroup = "trimwell-operator";
  std::string reviewerGroup = "trimwell-reviewer";
  std::string approverGroup = "trimwell-approver";
  std::string fourEyes = "yes";
  std::string signingTries = "3";
  std::string signingLockMinutes = "10";
  // "yes": certificates and DCCs are issued for approved records alone; "no": a
  // record not yet approved gets a draft, marked as one on every page.
  std::string requireApproval = "yes";

  static Laboratory load(Registry& settings);
  // The simulated station's lab, for training: one person in their own primary
  // group holds every role, and unapproved records get drafts; what its settings
  // hold already stays.
  static void trainingDefaults(Registry& settings, const std::string& group);
  bool save(Registry& settings) const;
  // Saves, and enters what changed (each field as it was and as it is) in the
  // store's audit trail; nothing is entered when nothing changed. False when the
  // settings cannot be written, or, saying so in `problem` and keeping nothing,
  // for a change of how records are signed that needs an approver's signature and
  // has none (`approvedBy`: RecordSigner::approveChange's line for the entry). An
  // entry that cannot be made is told in `problem`.
  bool saveAndNote(Registry& settings, RecordStore* store, std::string& problem,
                   const std::string& approvedBy = {}) const;
};

// Whether `after` changes how records are signed: the groups that give the roles,
// four eyes, drafts, the lockout. Such a change needs an approver's signature (of the roles in force): otherwise whoever
// can edit the settings could give themselves the approver's role, or turn four
// eyes off before approving their own work. That holds while drafts are allowed
// too: rules changed then would be in force once approval is asked again.
bool signingChangeNeedsApproval(const Laboratory& before, const Laboratory& after);
// The same, or `after`'s rules are not those the store's audit trail has in force
// (settings edited or copied outside the station): saving them needs an approver.
bool changesSigningRules(RecordStore* store, const Laboratory& before, const Laboratory& after);

// Each field with its name in the settings and the word scripts and tools set it by.
struct LaboratoryField {
  const char* settingsName;
  const char* word;
  std::string Laboratory::*member;
};
std::span<const LaboratoryField> laboratoryFields();

// How the lab's records are signed, from its settings; a count or time that does
// not read as a whole number from 1 keeps its default.
signing::SigningPolicy signingPolicy(const Laboratory& lab);
bool isYes(const std::string& setting);

// The place on site the lab's location setting names; empty at the laboratory.
// False, saying why, for a setting that is neither form.
bool calibrationPlace(const Laboratory& lab, std::string& place, std::string& problem);
inline constexpr const char* kLocationForms = "laboratory or on-site PLACE";

// The station's own procedure, named for a model the lab has named none for.
inline constexpr const char* kStationProcedure = "Trimwell two-point calibration";
struct Procedure {
  std::string id;
  std::string version;
};
// The procedure the lab calibrates the model by.
Procedure procedureFor(const Laboratory& lab, int sensorId);
// `lab.procedures` with the model's line set to id and version (replacing the one
// it had); false, saying why, for an id or version with no text or a space in the version.
bool setProcedure(Laboratory& lab, int sensorId, const std::string& id, const std::string& version,
                  std::string& problem);

// The record's certificate number by the lab's pattern; empty for a record that
// has no number in its store yet (one waiting to be sent), which gets none.
std::string certificateNumber(const Laboratory& lab, const CalibrationRecord& record);

// Who calibrated, as the record names them ("Ana Roth (aroth)"); the lab's
// performer only for a record that names nobody; empty when neither does.
std::string recordedPerformer(const CalibrationRecord& record, const Laboratory& lab);

// The number a document of the record carries: the one it was given when first
// issued, else the one the pattern gives it now. False, with the reason, for a
// record that waits on this station (the lab's store numbers it) or a pattern
// that cannot number it.
bool documentNumber(const Laboratory& lab, const CalibrationRecord& record, std::string& number, std::string& problem);

// Enters a document issued of the record ("certificate issued", "DCC issued") with
// its number and file in the audit trail; an entry that cannot be made is told.
bool noteIssued(RecordStore& store, const CalibrationRecord& record, const char* what, const std::string& file,
                std::string& problem);

// What every page of a document of an unapproved record carries, where the lab
// allows drafts.
inline constexpr const char* kDraftMark = "DRAFT - not approved";
// Why the record is not approved as it stands: no approval signature, or one
// given to another version of it. Empty when it is.
std::string approvalProblem(const CalibrationRecord& record);

// Gives the record its certificate number when it has none: the pattern's, kept
// in the store before anything is printed, so that every later print, on this
// station or another, carries the same one. False, with the reason, when no
// laboratory is set (its name is what a certificate is issued by), or the record
// cannot be numbered or its number kept, or it is not approved and the lab
// requires approval; nothing may be printed then.
bool issueCertificateNumber(RecordStore& store, const Laboratory& lab, CalibrationRecord& record,
                            std::string& problem);

// Whether the lab certifies the record as its rows stand: a row adjusted but not
// checked after adjustment waits for its check, unless the lab allows such rows
// (its documents then say so). False, naming the first such row, otherwise.
bool mayCertify(const Laboratory& lab, const CalibrationRecord& record, std::string& problem);

// False, naming what is wrong, for a pattern that cannot make unique numbers: one
// without {seq...}, or with a placeholder it does not know.
bool checkNumberPattern(const std::string& pattern, std::string& problem);

// Two capitals, as ISO 3166-1 codes a country (DE, GB).
bool isCountryCode(const std::string& text);

}  // namespace trimwell
