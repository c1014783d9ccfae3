#pragma once
// The audit trail: one entry per event (a record made, a check added, a
// certificate issued, ...), each holding the hash of the entry before it and of
// its own content, so that removing, reordering or changing any entry breaks the
// chain from there on. An entry about a record also holds that record's content
// hash as it was after the event: a record changed afterwards no longer matches
// the last entry about it.

#include <string>
#include <vector>

namespace trimwell::signing {

// Form 1: a station's own file. Form 2: a lab store's entry, which also holds
// when it arrived there and its number among its station's entries.
inline constexpr int kEntryFormVersion = 1;
inline constexpr int kLabEntryFormVersion = 2;
inline constexpr int kAttributedEntryFormVersion = 3;
// The fewest hex digits of a head that verify takes as kept.
inline constexpr std::size_t kShortestKeptHead = 16;
// The previous hash of the first entry.
inline const std::string kChainStart(64, '0');

struct AuditEntry {
  long long sequence = 0;   // 1, 2, ... in the store
  std::string event;        // "record made", "check added", "certificate issued"
  std::string benchTime;    // when it happened at the bench: UTC, ISO 8601 with its Z
  std::string machineId;    // the station's /etc/machine-id
  std::string stationVersion;
  std::string sensor;       // the sensor's model and unit, where there is one
  std::string interface;    // the interface's kind and product, where there is one
  std::string recordUuid;   // for an event about a record
  std::string recordHash;   // that record's content hash after the event
  std::string details;      // what changed: old and new values, the reason
  std::string arrivedTime;  // in a lab store: when it arrived there (the server's UTC)
  long long stationSequence = 0;  // in a lab store: 1, 2, ... among its station's entries
  // Who entered it: "LOGIN (UID N), PRINTED NAME", as the user database had them
  // then; empty in entries written before entries named their person.
  std::string actor;
  std::string previousHash;
  std::string entryHash;    // over everything above
};

// The entry's canonical bytes, over every field but entryHash.
std::vector<std::uint8_t> canonicalEntry(const AuditEntry& entry);
// Links the entry after `previousHash` and sets its own hash.
void sealEntry(AuditEntry& entry, const std::string& previousHash);

// What verify found: nothing (ok), or the first entry or record that does not match.
struct ChainCheck {
  bool ok = true;
  std::string problem;
  std::size_t entries = 0;
  std::size_t records = 0;
  std::string head;  // the last entry's hash
};

// Walks the entries in their order: numbered 1, 2, ... without a gap, each linked
// to the one before and holding its own hash. Then each record (by identity, with
// its content hash as computed now) must match the last entry about it, and every
// entry about a record must name one that is there. A kept head (its first 16 hex
// digits at least, as a certificate prints it) must be one of the entries' hashes:
// a chain rewritten whole after it no longer holds it. In an outbox records
// leave once sent (`recordsLeave`): an entry about one no longer there is no fault.
ChainCheck verifyChain(const std::vector<AuditEntry>& entries,
                       const std::vector<std::pair<std::string, std::string>>& recordHashes,
                       const std::string& keptHead = {}, bool recordsLeave = false);

}  // namespace trimwell::signing
