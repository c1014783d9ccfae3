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
// Every entry in its order.
bool readAuditTrail(sqlite3* db, std::vector<signing::AuditEntry>& out, std::string& problem);
// The station's machine identity (/etc/machine-id), or empty.
std::string machineId();

}  // namespace trimwell
