#include "records/trail_rows.h"

#include <algorithm>
#include <fstream>

#include "platform/format_text.h"
#include "records/record_hash.h"

namespace trimwell {
namespace {

std::string cellText(const FieldValue& value) {
  const std::string* text = std::get_if<std::string>(&value);
  return text != nullptr ? *text : std::string();
}

long long cellInteger(const FieldValue& value) {
  const long long* n = std::get_if<long long>(&value);
  return n != nullptr ? *n : 0;
}

// Groups are kept one per line: no group name holds a line break.
std::string joinGroups(const std::vector<std::string>& groups) {
  std::string out;
  for (const std::string& g : groups) out += (out.empty() ? "" : "\n") + g;
  return out;
}

std::vector<std::string> splitGroups(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t at = 0; !text.empty() && at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

}  // namespace

std::vector<FieldValue> signatureRow(const signing::Signature& s, long long position) {
  return {s.recordUuid, position,  s.recordHash,
          s.uid,        s.login,   s.printedName,
          joinGroups(s.groups), std::string(signing::meaningName(s.meaning)), s.reason,
          s.utcTime,    signing::signatureHash(s)};
}

signing::KeptSignature signatureFromRow(const RowCell& cell) {
  signing::KeptSignature kept;
  signing::Signature& s = kept.signature;
  s.recordUuid = cellText(cell(0, SqlType::Text));
  s.recordHash = cellText(cell(2, SqlType::Text));
  s.uid = cellInteger(cell(3, SqlType::BigInteger));
  s.login = cellText(cell(4, SqlType::Text));
  s.printedName = cellText(cell(5, SqlType::Text));
  s.groups = splitGroups(cellText(cell(6, SqlType::Text)));
  // A meaning no station writes reads as none of them, so that its hash fails.
  const std::string meaningText = cellText(cell(7, SqlType::Text));
  const auto meaning = signing::meaningFromName(meaningText);
  s.meaning = meaning.value_or(signing::Meaning::Performed);
  s.reason = cellText(cell(8, SqlType::Text)) + (meaning ? "" : "\n(meaning " + meaningText + ")");
  s.utcTime = cellText(cell(9, SqlType::Text));
  kept.keptHash = cellText(cell(10, SqlType::Text));
  return kept;
}

std::vector<FieldValue> auditRow(const signing::AuditEntry& e) {
  return {e.sequence,  e.event,      e.benchTime,  e.machineId,    e.stationVersion,
          e.sensor,    e.interface,  e.recordUuid, e.recordHash,   e.details,
          e.previousHash, e.entryHash, e.arrivedTime, e.stationSequence, e.actor};
}

signing::AuditEntry auditEntryFromRow(const RowCell& cell) {
  signing::AuditEntry e;
  e.sequence = cellInteger(cell(0, SqlType::BigInteger));
  int at = 1;
  for (std::string* field : {&e.event, &e.benchTime, &e.machineId, &e.stationVersion, &e.sensor, &e.interface,
                             &e.recordUuid, &e.recordHash, &e.details, &e.previousHash, &e.entryHash,
                             &e.arrivedTime}) {
    *field = cellText(cell(at++, SqlType::Text));
  }
  e.stationSequence = cellInteger(cell(at++, SqlType::BigInteger));
  e.actor = cellText(cell(at, SqlType::Text));
  return e;
}

signing::AuditEntry entryAbout(const CalibrationRecord& now, const std::string& event, const std::string& details) {
  signing::AuditEntry entry;
  entry.event = event;
  entry.sensor = std::to_string(now.sensorId) + (now.unit.empty() ? "" : " " + now.unit);
  entry.interface = now.interfaceKind + " " + std::to_string(now.interfaceProduct);
  entry.recordUuid = now.uuid;
  entry.recordHash = recordHash(now);
  entry.details = details;
  return entry;
}

signing::AuditEntry stationEntry(const std::string& event, const std::string& details) {
  signing::AuditEntry entry;
  entry.event = event;
  entry.details = details;
  return entry;
}

signing::AuditEntry failedSigningEntry(const CalibrationRecord* about, const std::string& login, long long uid,
                                       const std::string& uuid, const std::string& why) {
  const std::string details =
      signing::signerLine(login, uid) + "\n" + (uuid.empty() ? "" : "record " + uuid + ": ") + why;
  return about != nullptr ? entryAbout(*about, signing::kSigningFailedEvent, details)
                          : stationEntry(signing::kSigningFailedEvent, details);
}

std::string madeDetails(const CalibrationRecord& r) {
  if (r.amendsUuid.empty()) return {};
  return "amends " + r.amendsUuid + " (revision " + std::to_string(r.revision) + "): " + r.amendmentReason;
}

std::string checkReadings(const std::vector<RecordResult>& results) {
  std::string readings;
  for (const RecordResult& r : results) {
    readings += (readings.empty() ? "" : "\n") + std::string("row ") + std::to_string(r.row + 1) + " reference " +
                exactNumber(r.result.referenceValue) + " reading " + exactNumber(r.result.reading);
  }
  return readings;
}

std::string standardText(const metrology::StandardEntry& e) {
  return "identification " + e.identification + ", certificate " + e.certificateNumber + " by " + e.issuedBy +
         ", calibrated on " + e.calibratedOn + ", due on " + e.dueOn + ", " + e.quantity + " in " + e.unit +
         ", U = " + exactNumber(e.uncertainty.a) + " + " + exactNumber(e.uncertainty.b) + " x |value| (k = " +
         exactNumber(e.uncertainty.coverageFactor) + ")" +
         // Said only where stated, so that entries from before it still match.
         (std::isfinite(e.uncertainty.degreesOfFreedom) ? ", nu = " + exactNumber(e.uncertainty.degreesOfFreedom)
                                                        : std::string()) +
         (e.retiredOn.empty() ? std::string() : ", retired on " + e.retiredOn);
}

std::string standardSavedDetails(const metrology::StandardEntry* before, const metrology::StandardEntry& now) {
  return now.name + ": " + (before == nullptr ? "new" : "was " + standardText(*before)) + "; now " +
         standardText(now);
}

std::string standardEnteredDetails(const metrology::StandardEntry& now) {
  return now.name + ": kept before the audit trail began; now " + standardText(now);
}

std::string actorNow() {
  const Person me = currentPerson();
  return me.login + " (UID " + std::to_string(me.uid) + "), " + (me.fullName.empty() ? me.login : me.fullName);
}

std::string savedStandardName(const std::string& details) {
  // What follows the name is one of the forms above, each ending in a standard's text.
  std::size_t end = std::string::npos;
  for (const char* form : {": new; now identification ", ": was identification ",
                           ": kept before the audit trail began; now identification "}) {
    end = std::min(end, details.find(form));
  }
  return end == std::string::npos ? std::string() : details.substr(0, end);
}

std::string machineId() {
  std::ifstream in("/etc/machine-id");
  std::string id;
  std::getline(in, id);
  return id;
}

std::string placeholders(int count, char style) {
  std::string out;
  for (int i = 1; i <= count; ++i) {
    out += std::string(i > 1 ? "," : "") + style + (style == '?' ? std::string() : std::to_string(i));
  }
  return out;
}

}  // namespace trimwell
