#include "signing/audit_chain.h"

#include <algorithm>
#include <map>

#include "signing/canonical_form.h"
#include "signing/sha256.h"

namespace trimwell::signing {

// A station's own entries keep form 1, so files written before the lab's form
// hash as they always did.
std::vector<std::uint8_t> canonicalEntry(const AuditEntry& e) {
  const bool attributed = !e.actor.empty();
  const bool lab = attributed || !e.arrivedTime.empty() || e.stationSequence != 0;
  CanonicalWriter w("trimwell audit entry",
                    attributed ? kAttributedEntryFormVersion : lab ? kLabEntryFormVersion : kEntryFormVersion);
  w.integer(e.sequence);
  for (const std::string* field : {&e.event, &e.benchTime, &e.machineId, &e.stationVersion, &e.sensor, &e.interface,
                                   &e.recordUuid, &e.recordHash, &e.details, &e.previousHash}) {
    w.text(*field);
  }
  if (lab) {
    w.text(e.arrivedTime);
    w.integer(e.stationSequence);
  }
  if (attributed) w.text(e.actor);
  return w.written();
}

void sealEntry(AuditEntry& entry, const std::string& previousHash) {
  entry.previousHash = previousHash;
  entry.entryHash = sha256Hex(canonicalEntry(entry));
}

namespace {

bool fails(ChainCheck& check, std::string problem) {
  check.ok = false;
  check.problem = std::move(problem);
  return false;
}

bool walkEntries(const std::vector<AuditEntry>& entries, ChainCheck& check,
                 std::map<std::string, const AuditEntry*>& lastAbout) {
  std::string previous = kChainStart;
  for (const AuditEntry& e : entries) {
    const std::string at = "audit entry " + std::to_string(e.sequence);
    const long long expected = static_cast<long long>(check.entries) + 1;
    if (e.sequence != expected) {
      return fails(check, "audit entry " + std::to_string(expected) + " is missing (the next one is " +
                              std::to_string(e.sequence) + ")");
    }
    if (e.previousHash != previous) return fails(check, at + " does not follow the entry before it");
    if (sha256Hex(canonicalEntry(e)) != e.entryHash) return fails(check, at + " was changed after it was written");
    if (!e.recordUuid.empty()) lastAbout[e.recordUuid] = &e;
    previous = e.entryHash;
    ++check.entries;
  }
  check.head = entries.empty() ? std::string() : previous;
  return true;
}

}  // namespace

ChainCheck verifyChain(const std::vector<AuditEntry>& entries,
                       const std::vector<std::pair<std::string, std::string>>& recordHashes,
                       const std::string& keptHead, bool recordsLeave) {
  ChainCheck check;
  std::map<std::string, const AuditEntry*> lastAbout;
  if (!walkEntries(entries, check, lastAbout)) return check;
  if (!keptHead.empty()) {
    const bool held = keptHead.size() >= kShortestKeptHead && std::any_of(entries.begin(), entries.end(), [&](const AuditEntry& e) {
      return e.entryHash.compare(0, keptHead.size(), keptHead) == 0;
    });
    if (!held) {
      fails(check, "the head " + keptHead + " is not in this audit trail: the trail was written anew after it, or "
                   "it is another file's");
      return check;
    }
  }
  for (const auto& [uuid, hash] : recordHashes) {
    const auto it = lastAbout.find(uuid);
    if (it == lastAbout.end()) {
      fails(check, "record " + uuid + " has no entry in the audit trail");
      return check;
    }
    if (it->second->recordHash != hash) {
      fails(check, "record " + uuid + " does not match audit entry " + std::to_string(it->second->sequence) +
                       ": it was changed after that entry");
      return check;
    }
    lastAbout.erase(it);
    ++check.records;
  }
  if (!lastAbout.empty() && !recordsLeave) {
    const AuditEntry& e = *lastAbout.begin()->second;
    fails(check, "record " + e.recordUuid + ", named by audit entry " + std::to_string(e.sequence) + ", is missing");
  }
  return check;
}

}  // namespace trimwell::signing
