#include "records/record_trail_check.h"

#include <map>

#include "records/record_hash.h"
#include "records/trail_rows.h"
#include "signing/sha256.h"

namespace trimwell {
namespace {

constexpr const char* kNumbered = "certificate numbered";

// A certificate number is not part of a record's content (it is given later), so
// it is held to the last "certificate numbered" entry about the record instead.
bool numbersMatchTrail(const std::vector<signing::AuditEntry>& entries, const std::vector<CalibrationRecord>& records,
                       signing::ChainCheck& check) {
  std::map<std::string, const signing::AuditEntry*> given;
  for (const signing::AuditEntry& e : entries) {
    if (e.event == kNumbered) given[e.recordUuid] = &e;
  }
  for (const CalibrationRecord& r : records) {
    const auto it = given.find(r.uuid);
    const std::string entered = it != given.end() ? it->second->details : std::string();
    if (r.certificateNumber == entered) continue;
    check.ok = false;
    check.problem = it == given.end()
                        ? "record " + r.uuid + "'s certificate number " + r.certificateNumber +
                              " was given by no audit entry"
                        : "record " + r.uuid + "'s certificate number " +
                              (r.certificateNumber.empty() ? "(none)" : r.certificateNumber) +
                              " is not the one audit entry " + std::to_string(it->second->sequence) + " gave (" +
                              entered + ")";
    return false;
  }
  return true;
}

// The register may change, but only with an entry, and never loses a standard:
// each standard as it is now must be what the last entry that saved it says it
// became, and each standard an entry saved must still be there.
bool registerMatchesTrail(const std::vector<signing::AuditEntry>& entries,
                          const std::vector<metrology::StandardEntry>& standards, signing::ChainCheck& check) {
  std::map<std::string, const signing::AuditEntry*> lastSaved;
  for (const signing::AuditEntry& e : entries) {
    if (e.event != kStandardSaved || !e.recordUuid.empty()) continue;
    if (std::string name = savedStandardName(e.details); !name.empty()) lastSaved[std::move(name)] = &e;
  }
  for (const metrology::StandardEntry& s : standards) {
    const auto found = lastSaved.find(s.name);
    const signing::AuditEntry* last = found == lastSaved.end() ? nullptr : found->second;
    if (found != lastSaved.end()) lastSaved.erase(found);
    if (last != nullptr && last->details.ends_with("; now " + standardText(s))) continue;
    check.ok = false;
    check.problem = last == nullptr ? "reference standard " + s.name + " is in the register without an audit entry"
                                    : "reference standard " + s.name + " is not what audit entry " +
                                          std::to_string(last->sequence) + " saved: it was changed behind the trail";
    return false;
  }
  if (lastSaved.empty()) return true;
  check.ok = false;
  check.problem = "reference standard " + lastSaved.begin()->first + ", saved by audit entry " +
                  std::to_string(lastSaved.begin()->second->sequence) + ", is missing from the register";
  return false;
}

}  // namespace

signing::ChainCheck verifyRecords(const std::vector<signing::AuditEntry>& entries,
                                  const std::vector<CalibrationRecord>& records,
                                  const std::vector<signing::KeptSignature>& kept,
                                  const std::vector<metrology::StandardEntry>& standards, const std::string& keptHead,
                                  bool recordsLeave) {
  std::vector<std::pair<std::string, std::string>> hashes;
  hashes.reserve(records.size());
  for (const CalibrationRecord& r : records) hashes.emplace_back(r.uuid, recordHash(r));
  signing::ChainCheck check = signing::verifyChain(entries, hashes, keptHead, recordsLeave);
  if (check.ok && numbersMatchTrail(entries, records, check) && signing::signaturesMatchTrail(entries, kept, check)) {
    registerMatchesTrail(entries, standards, check);
  }
  return check;
}

std::string recordTrailProblem(const std::vector<signing::AuditEntry>& about, const CalibrationRecord& now,
                               const std::vector<signing::KeptSignature>& kept) {
  std::string number;
  for (const signing::AuditEntry& e : about) {
    if (signing::sha256Hex(signing::canonicalEntry(e)) != e.entryHash) {
      return "audit entry " + std::to_string(e.sequence) + " about it was changed after it was written";
    }
    if (e.event == kNumbered) number = e.details;
  }
  signing::ChainCheck check;
  if (about.empty()) return "it has no entry in the audit trail";
  if (about.back().recordHash != recordHash(now)) {
    return "it was changed after audit entry " + std::to_string(about.back().sequence);
  }
  if (number != now.certificateNumber) return "its certificate number is not the one its audit entry gave";
  if (!signing::signaturesMatchTrail(about, kept, check)) return check.problem;
  return {};
}

}  // namespace trimwell
