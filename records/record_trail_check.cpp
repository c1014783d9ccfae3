#include "records/record_trail_check.h"

#include <algorithm>
#include <map>
#include <string_view>

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

// Whether a "reference standard saved" entry is about the standard of this name
// (and not one whose name begins with it and a colon).
bool savesStandard(const std::string& details, const std::string& name) {
  if (!details.starts_with(name + ": ")) return false;
  const std::string_view rest = std::string_view(details).substr(name.size() + 2);
  return rest.starts_with("new; now ") || rest.starts_with("was ") || rest.starts_with("kept before ");
}

// The register never takes a standard out: one that an entry saved and is no
// longer there was deleted behind the trail. Empty when none was.
std::string standardTakenOut(const std::vector<signing::AuditEntry>& entries,
                             const std::vector<metrology::StandardEntry>& standards) {
  std::map<std::string, long long> saved;
  for (const signing::AuditEntry& e : entries) {
    if (e.event != kStandardSaved || !e.recordUuid.empty()) continue;
    std::size_t end = std::string::npos;
    for (const char* mark : {": new; now identification ", ": was identification ", ": kept before "}) {
      end = std::min(end, e.details.find(mark));
    }
    if (end != std::string::npos) saved[e.details.substr(0, end)] = e.sequence;
  }
  for (const metrology::StandardEntry& s : standards) saved.erase(s.name);
  if (saved.empty()) return {};
  return "reference standard " + saved.begin()->first + ", saved by audit entry " +
         std::to_string(saved.begin()->second) + ", is missing from the register";
}

// The register may change, but only with an entry: each standard as it is now
// must be what the last entry that saved it says it became.
bool registerMatchesTrail(const std::vector<signing::AuditEntry>& entries,
                          const std::vector<metrology::StandardEntry>& standards, signing::ChainCheck& check) {
  std::vector<const signing::AuditEntry*> lastSaved(standards.size(), nullptr);
  for (const signing::AuditEntry& e : entries) {
    if (e.event != kStandardSaved || !e.recordUuid.empty()) continue;
    for (std::size_t i = 0; i < standards.size(); ++i) {
      if (savesStandard(e.details, standards[i].name)) lastSaved[i] = &e;
    }
  }
  if (const std::string gone = standardTakenOut(entries, standards); !gone.empty()) {
    check.ok = false;
    check.problem = gone;
    return false;
  }
  for (std::size_t i = 0; i < standards.size(); ++i) {
    const metrology::StandardEntry& s = standards[i];
    const signing::AuditEntry* last = lastSaved[i];
    const std::string now = "; now " + standardText(s);
    if (last != nullptr && last->details.ends_with(now)) continue;
    check.ok = false;
    check.problem = last == nullptr ? "reference standard " + s.name + " is in the register without an audit entry"
                                    : "reference standard " + s.name + " is not what audit entry " +
                                          std::to_string(last->sequence) + " saved: it was changed behind the trail";
    return false;
  }
  return true;
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
