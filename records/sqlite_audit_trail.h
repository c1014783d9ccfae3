#pragma once
// The audit trail in a records file: each entry appended after the chain's head
// inside the store's own transaction, so a record and the entry about it are kept
// together or not at all.

#include <string>
#include <vector>

#include "signing/audit_chain.h"

struct sqlite3;

namespace trimwell {

// Numbers the entry after the trail's head, links and seals it, and keeps it.
bool appendAuditEntry(sqlite3* db, signing::AuditEntry& entry, std::string& problem);
// Every entry in its order; or, with a record's identity, those about it.
bool readAuditTrail(sqlite3* db, std::vector<signing::AuditEntry>& out, std::string& problem,
                    const std::string& recordUuid = {});
// The details of one record's entries of one event, in their order.
bool readEventDetails(sqlite3* db, const std::string& recordUuid, const char* event, std::vector<std::string>& out,
                      std::string& problem);
// A station's outbox says so in its file's header (PRAGMA application_id, "TWOB"):
// only there may a record be taken out, once claimed and sent to the lab.
inline constexpr int kOutboxFileId = 0x54574F42;
// The triggers that keep a records file append-only: a record, its rows, standards
// and results, and the audit trail are never changed nor deleted. What an outbox
// does is let through: its marks on a record, and taking out a record it claimed
// and sent, in a file marked as an outbox. A record's certificate number is
// given once.
std::string appendOnlyTriggers();

}  // namespace trimwell
