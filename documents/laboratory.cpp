#include "documents/laboratory.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include <algorithm>

#include "platform/utf16_text.h"
#include "records/record_check.h"
#include "records/record_hash.h"

namespace trimwell {
namespace {

constexpr const char* kLabKey = "Software\\Korvane\\Trimwell\\Laboratory";

constexpr LaboratoryField kFields[] = {
    {"Name", "name", &Laboratory::name},
    {"Address", "address", &Laboratory::address},
    {"Email", "email", &Laboratory::email},
    {"Country", "country", &Laboratory::country},
    {"Location", "location", &Laboratory::location},
    {"Procedures", "procedures", &Laboratory::procedures},
    {"CertifyUnchecked", "certify-unchecked", &Laboratory::certifyUnchecked},
    {"AccreditationBody", "accreditation-body", &Laboratory::accreditationBody},
    {"AccreditationNumber", "accreditation-number", &Laboratory::accreditationNumber},
    {"Code", "code", &Laboratory::code},
    {"StationCode", "station", &Laboratory::stationCode},
    {"NumberPattern", "pattern", &Laboratory::numberPattern},
    {"Performer", "performer", &Laboratory::performer},
    {"SealKey", "seal-key", &Laboratory::sealKeyFile},
    {"SealCertificate", "seal-certificate", &Laboratory::sealCertificateFile},
    {"StoreCaFile", "store-ca", &Laboratory::storeCaFile},
    {"OperatorGroup", "operator-group", &Laboratory::operatorGroup},
    {"ReviewerGroup", "reviewer-group", &Laboratory::reviewerGroup},
    {"ApproverGroup", "approver-group", &Laboratory::approverGroup},
    {"FourEyes", "four-eyes", &Laboratory::fourEyes},
    {"SigningTries", "signing-tries", &Laboratory::signingTries},
    {"SigningLockMinutes", "signing-lock-minutes", &Laboratory::signingLockMinutes},
    {"RequireApproval", "require-approval", &Laboratory::requireApproval},
};

int wholeFromOne(const std::string& text, int fallback) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && *end == '\0' && value >= 1 && value <= 100000 ? static_cast<int>(value) : fallback;
}

}  // namespace

std::span<const LaboratoryField> laboratoryFields() { return kFields; }

Laboratory Laboratory::load(Registry& settings) {
  Laboratory lab;
  for (const LaboratoryField& f : kFields) {
    std::u16string value;
    if (settings.queryString(kLabKey, f.settingsName, value)) lab.*f.member = utf8Of(value);
  }
  return lab;
}

void Laboratory::trainingDefaults(Registry& settings, const std::string& group) {
  const std::pair<const char*, std::string> defaults[] = {
      {"RequireApproval", "no"}, {"OperatorGroup", group}, {"ReviewerGroup", group}, {"ApproverGroup", group}};
  if (!settings.createKey(kLabKey)) return;
  for (const auto& [name, value] : defaults) {
    std::u16string kept;
    if (!value.empty() && !settings.queryString(kLabKey, name, kept)) settings.setString(kLabKey, name, utf16Of(value));
  }
}

bool signingChangeNeedsApproval(const Laboratory& before, const Laboratory& after) {
  for (std::string Laboratory::*rule : {&Laboratory::operatorGroup, &Laboratory::reviewerGroup, &Laboratory::approverGroup,
                                        &Laboratory::fourEyes, &Laboratory::requireApproval, &Laboratory::signingTries,
                                        &Laboratory::signingLockMinutes}) {
    if (before.*rule != after.*rule) return true;
  }
  return false;
}

bool changesSigningRules(RecordStore* store, const Laboratory& before, const Laboratory& after) {
  if (signingChangeNeedsApproval(before, after)) return true;
  std::string entered;
  return store != nullptr && store->lastStationEvent(signing::kRulesInForceEvent, entered) && !entered.empty() &&
         entered != signing::rulesText(signingPolicy(after));
}

bool isCountryCode(const std::string& text) {
  return text.size() == 2 && std::isupper(static_cast<unsigned char>(text[0])) &&
         std::isupper(static_cast<unsigned char>(text[1]));
}

bool Laboratory::saveAndNote(Registry& settings, RecordStore* store, std::string& problem,
                             const std::string& approvedBy) const {
  problem.clear();
  // Every DCC names it by its code: refused here rather than at the first DCC.
  if (!country.empty() && !isCountryCode(country)) {
    problem = "The country calibrated in is two capitals of ISO 3166-1, such as DE or GB: \"" + country + "\" is none";
    return false;
  }
  // The codes go into every certificate number: one that reads as another is refused.
  if (!checkIdentifier(code, "The laboratory code", problem) ||
      !checkIdentifier(stationCode, "The station code", problem)) {
    return false;
  }
  const Laboratory before = load(settings);
  if (approvedBy.empty() && changesSigningRules(store, before, *this)) {
    problem = kSigningChangeNeedsApproval;
    return false;
  }
  if (!save(settings)) return false;
  std::string changes;
  for (const LaboratoryField& f : kFields) {
    if (before.*f.member == this->*f.member) continue;
    changes += (changes.empty() ? "" : "\n") + std::string(f.word) + ": \"" + before.*f.member + "\" -> \"" +
               this->*f.member + "\"";
  }
  if (!approvedBy.empty()) changes += "\n" + std::string(signing::kApprovedBy) + approvedBy;
  // Approved, the rules saved are those every later signature is given under.
  std::string entered;
  const std::string rules = signing::rulesText(signingPolicy(*this));
  const bool entering = !approvedBy.empty() && store != nullptr &&
                        (!store->lastStationEvent(signing::kRulesInForceEvent, entered) || entered != rules);
  if (entering && !store->noteStationEvent(signing::kRulesInForceEvent, "", rules)) {
    problem = "The change was kept but its rules were not entered in the audit trail: " + store->problem();
  }
  if (!changes.empty() && store != nullptr && !store->noteStationEvent("laboratory settings changed", "", changes)) {
    problem = "The change was kept but not entered in the audit trail: " + store->problem();
  }
  return true;
}

bool noteIssued(RecordStore& store, const CalibrationRecord& record, const char* what, const std::string& file,
                std::string& problem) {
  if (store.noteStationEvent(what, record.uuid, record.certificateNumber + " to " + file)) return true;
  problem = "The document was saved, but its issue could not be entered in the audit trail: " + store.problem();
  return false;
}

bool isYes(const std::string& setting) { return setting != "no"; }

signing::SigningPolicy signingPolicy(const Laboratory& lab) {
  signing::SigningPolicy policy;
  policy.roles = {lab.operatorGroup, lab.reviewerGroup, lab.approverGroup};
  policy.fourEyes = isYes(lab.fourEyes);
  policy.lockoutTries = wholeFromOne(lab.signingTries, policy.lockoutTries);
  policy.lockoutTime = std::chrono::minutes(wholeFromOne(lab.signingLockMinutes, 10));
  policy.approvalRequired = isYes(lab.requireApproval);
  return policy;
}

bool Laboratory::save(Registry& settings) const {
  if (!settings.createKey(kLabKey)) return false;
  for (const LaboratoryField& f : kFields) {
    if (!settings.setString(kLabKey, f.settingsName, utf16Of(this->*f.member))) return false;
  }
  return true;
}

bool calibrationPlace(const Laboratory& lab, std::string& place, std::string& problem) {
  place.clear();
  const std::string onSite = "on-site ";
  if (lab.location.empty() || lab.location == "laboratory") return true;
  if (lab.location.rfind(onSite, 0) == 0 && lab.location.find_first_not_of(' ', onSite.size()) != std::string::npos) {
    place = lab.location.substr(lab.location.find_first_not_of(' ', onSite.size()));
    return true;
  }
  problem = "The laboratory's location \"" + lab.location + "\" is neither " + kLocationForms;
  return false;
}

namespace {

// The model's line of the lab's procedures: "SENSOR ID VERSION", the id being every
// word between.
bool procedureLine(const std::string& line, int& sensorId, Procedure& out) {
  const std::size_t first = line.find(' ');
  const std::size_t last = line.rfind(' ');
  if (first == std::string::npos || last <= first + 1) return false;
  char* end = nullptr;
  const long id = std::strtol(line.c_str(), &end, 10);
  if (end != line.c_str() + first || id < 1 || id > 0x7fffffff) return false;
  sensorId = static_cast<int>(id);
  out = {line.substr(first + 1, last - first - 1), line.substr(last + 1)};
  return !out.version.empty();
}

}  // namespace

Procedure procedureFor(const Laboratory& lab, int sensorId) {
  std::size_t start = 0;
  while (start < lab.procedures.size()) {
    const std::size_t end = std::min(lab.procedures.find('\n', start), lab.procedures.size());
    int model = 0;
    Procedure named;
    if (procedureLine(lab.procedures.substr(start, end - start), model, named) && model == sensorId) return named;
    start = end + 1;
  }
  const std::string station = kStationVersion;
  const std::string prefix = "Trimwell ";
  return {kStationProcedure, station.rfind(prefix, 0) == 0 ? station.substr(prefix.size()) : station};
}

bool setProcedure(Laboratory& lab, int sensorId, const std::string& id, const std::string& version,
                  std::string& problem) {
  if (id.find_first_not_of(' ') == std::string::npos || version.empty() || version.find(' ') != std::string::npos ||
      id.find('\n') != std::string::npos || version.find('\n') != std::string::npos || sensorId < 1) {
    problem = "A procedure is named by a model (a number from 1), an identifier and a version (one word)";
    return false;
  }
  std::string kept;
  std::size_t start = 0;
  while (start < lab.procedures.size()) {
    const std::size_t end = std::min(lab.procedures.find('\n', start), lab.procedures.size());
    const std::string line = lab.procedures.substr(start, end - start);
    int model = 0;
    Procedure named;
    if (!line.empty() && !(procedureLine(line, model, named) && model == sensorId)) kept += line + "\n";
    start = end + 1;
  }
  lab.procedures = kept + std::to_string(sensorId) + " " + id + " " + version;
  return true;
}

bool mayCertify(const Laboratory& lab, const CalibrationRecord& record, std::string& problem) {
  // An identifier that reads as another (a bidirectional control in a record made
  // elsewhere) is not certified as it reads: the record is amended first.
  std::string odd;
  bool plain = checkIdentifier(record.unit, "The unit's identification", odd);
  for (const RecordStandard& s : record.standards) plain = plain && checkStandardTexts(s.standard, odd);
  if (!plain) {
    problem = odd.substr(0, odd.find(": type it again")) + ": amend the record first";
    return false;
  }
  const std::vector<int> unchecked = uncheckedRows(record);
  if (unchecked.empty() || isYes(lab.certifyUnchecked)) return true;
  const std::size_t row = static_cast<std::size_t>(unchecked.front());
  problem = "Row " + std::to_string(row + 1) + " (" + record.rows[row].name +
            ") was adjusted but not checked after its adjustment: take its check first, or allow such rows "
            "under Settings > Laboratory... (certify rows not checked)";
  return false;
}

bool checkNumberPattern(const std::string& pattern, std::string& problem) {
  bool sequence = false;
  for (std::size_t at = pattern.find('{'); at != std::string::npos; at = pattern.find('{', at + 1)) {
    const std::size_t end = pattern.find('}', at);
    const std::string mark = end == std::string::npos ? pattern.substr(at) : pattern.substr(at, end - at + 1);
    const bool seq = mark == "{seq}" || (mark.rfind("{seq:0", 0) == 0 && mark.size() == 8 && mark[6] >= '1' &&
                                         mark[6] <= '9');
    if (!seq && mark != "{lab}" && mark != "{station}" && mark != "{year}") {
      problem = "The certificate number pattern has " + mark + ", which is none of {lab}, {station}, {year}, "
                "{seq} or {seq:0N}";
      return false;
    }
    sequence = sequence || seq;
  }
  if (!sequence) problem = "The certificate number pattern needs {seq} or {seq:0N}, so that no two numbers are alike";
  return sequence;
}

bool documentNumber(const Laboratory& lab, const CalibrationRecord& record, std::string& number, std::string& problem) {
  number = record.certificateNumber;
  if (!number.empty()) return true;
  // A waiting record's number in the outbox is the station's own, not the lab's.
  if (record.waiting || record.id <= 0) {
    problem = kNotYetNumbered;
    return false;
  }
  if (!checkNumberPattern(lab.numberPattern, problem)) return false;
  number = certificateNumber(lab, record);
  return true;
}

std::string approvalProblem(const CalibrationRecord& record) {
  const auto approval = std::find_if(record.signatures.begin(), record.signatures.end(), [](const signing::Signature& s) {
    return s.meaning == signing::Meaning::Approved;
  });
  if (approval == record.signatures.end()) return "it is not approved";
  if (approval->recordHash != recordHash(record)) return "it changed after it was approved";
  return {};
}

namespace {

// An amendment's number is its first version's with the revision: "KLN-B2-00001-R1".
// The first version keeps its own, so its certificate can still be had.
bool revisionNumber(RecordStore& store, const Laboratory& lab, const CalibrationRecord& record, std::string& number,
                    std::string& problem) {
  CalibrationRecord first = record;
  for (int steps = 0; !first.amendsUuid.empty(); ++steps) {
    const std::string earlier = first.amendsUuid;
    if (steps > 10000 || !store.load(earlier, first)) {
      problem = "The record this one amends (" + earlier + ") cannot be read: " + store.problem();
      return false;
    }
  }
  if (!documentNumber(lab, first, number, problem)) return false;
  number += "-R" + std::to_string(record.revision);
  return true;
}

}  // namespace

bool issueCertificateNumber(RecordStore& store, const Laboratory& lab, CalibrationRecord& record,
                            std::string& problem) {
  if (lab.name.empty()) {
    problem = "No laboratory is set in the station's settings: a certificate is issued by one";
    return false;
  }
  if (std::string unchecked; !mayCertify(lab, record, unchecked)) {
    problem = "No certificate or DCC is issued for record " + std::to_string(record.id) + ": " + unchecked;
    return false;
  }
  if (std::string broken; !store.checkRecord(record.uuid, broken)) {
    problem = "No certificate or DCC is issued for record " + std::to_string(record.id) +
              ": it does not match its audit trail (" + broken + ")";
    return false;
  }
  // Drafts are allowed only as the rules in force allow them, not by a station's own settings.
  std::string inForce;
  if (!store.lastStationEvent(signing::kRulesInForceEvent, inForce)) {
    problem = "No certificate or DCC is issued for record " + std::to_string(record.id) +
              ": the signing rules in force cannot be read (" + store.problem() + ")";
    return false;
  }
  if (!inForce.empty() && inForce != signing::rulesText(signingPolicy(lab))) {
    problem = "No certificate or DCC is issued for record " + std::to_string(record.id) +
              ": this station's signing rules are not those in force in the audit trail (they differ in " +
              signing::rulesDiffering(inForce, signing::rulesText(signingPolicy(lab))) +
              "); they change only in Settings > Laboratory..., with an approver's signature";
    return false;
  }
  if (const std::string unapproved = approvalProblem(record); !unapproved.empty() && isYes(lab.requireApproval)) {
    problem = "No certificate or DCC is issued for record " + std::to_string(record.id) + ": " + unapproved +
              ". The lab issues documents of approved records only (drafts are allowed in Settings > Laboratory...)";
    return false;
  }
  if (!store.amendedBy(record.uuid, record.replacedBy)) {
    problem = store.problem();
    return false;
  }
  // A replaced version keeps what was issued of it; nothing new is issued of it.
  if (!record.replacedBy.empty() && record.certificateNumber.empty()) {
    problem = "No certificate or DCC is issued for record " + std::to_string(record.id) +
              ": it was amended (its next version is " + record.replacedBy + "), which is the one to issue";
    return false;
  }
  if (!record.amendsUuid.empty()) {
    CalibrationRecord earlier;
    if (!store.load(record.amendsUuid, earlier)) {
      problem = "The record this one amends cannot be read: " + store.problem();
      return false;
    }
    record.replacesNumber = earlier.certificateNumber;
    record.replacesHash = recordHash(earlier);
  }
  std::string number;
  if (!(record.revision > 0 && record.certificateNumber.empty() ? revisionNumber(store, lab, record, number, problem)
                                                                 : documentNumber(lab, record, number, problem))) {
    return false;
  }
  if (record.certificateNumber.empty() && !store.keepCertificateNumber(record.uuid, number)) {
    problem = "The certificate number cannot be kept with record " + std::to_string(record.id) + ": " +
              store.problem();
    return false;
  }
  record.certificateNumber = number;
  // The head after the number was entered: a chain rewritten since no longer holds it.
  record.chainHead = store.chainHead();
  return true;
}

std::string recordedPerformer(const CalibrationRecord& r, const Laboratory& lab) {
  if (!r.operatorFullName.empty() && !r.operatorName.empty()) return r.operatorFullName + " (" + r.operatorName + ")";
  return r.operatorName.empty() ? lab.performer : r.operatorName;
}

std::string certificateNumber(const Laboratory& lab, const CalibrationRecord& record) {
  std::string problem;
  if (record.id <= 0 || !checkNumberPattern(lab.numberPattern, problem)) return {};
  std::string out;
  const std::string& p = lab.numberPattern;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const std::size_t end = p[i] == '{' ? p.find('}', i) : std::string::npos;
    if (end == std::string::npos) {
      out += p[i];
      continue;
    }
    const std::string mark = p.substr(i, end - i + 1);
    if (mark == "{lab}") out += lab.code;
    if (mark == "{station}") out += lab.stationCode;
    if (mark == "{year}") out += record.utcTime.substr(0, 4);
    if (mark.rfind("{seq", 0) == 0) {
      char digits[32];
      std::snprintf(digits, sizeof digits, "%0*lld", mark.size() == 8 ? mark[6] - '0' : 1, record.id);
      out += digits;
    }
    i = end;
  }
  return out;
}

}  // namespace trimwell
