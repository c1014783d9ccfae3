#pragma once
// A records file's signatures: one row per signature, in the order given, each
// with its own hash, kept in the store's transaction with the audit entry that
// names that hash. Like the records, they are only ever appended.

#include <string>
#include <vector>

#include "signing/signature.h"

struct sqlite3;

namespace trimwell {

bool insertSignature(sqlite3* db, const signing::Signature& signature, std::string& problem);
// A record's signatures in their order; an empty uuid reads every record's, by
// record and order.
bool readSignatures(sqlite3* db, const std::string& uuid, std::vector<signing::Signature>& out,
                    std::string& problem);
// Each signature row as kept, with the hash written beside it.
// Every record's, or one record's.
bool readKeptSignatures(sqlite3* db, std::vector<signing::KeptSignature>& out, std::string& problem,
                        const std::string& uuid = {});


}  // namespace trimwell
