#pragma once
// A store's records held to its audit trail, whichever store read them: the whole
// chain for verify, one record before it is signed, numbered or added to.

#include <string>
#include <vector>

#include "metrology/standard_entry.h"
#include "records/calibration_record.h"
#include "signing/audit_chain.h"
#include "signing/signature.h"

namespace trimwell {

// The chain walked whole; then every record's content hash, its certificate
// number and its signatures against the entries about them; then each standard
// in the register against the last entry that saved it.
signing::ChainCheck verifyRecords(const std::vector<signing::AuditEntry>& entries,
                                  const std::vector<CalibrationRecord>& records,
                                  const std::vector<signing::KeptSignature>& kept,
                                  const std::vector<metrology::StandardEntry>& standards, const std::string& keptHead,
                                  bool recordsLeave = false);

// Why one record as kept no longer matches the entries about it (`about`, oldest
// first) and its signatures as kept; empty when it does. Each of those entries
// must hold its own hash; the chain between them is verify's.
std::string recordTrailProblem(const std::vector<signing::AuditEntry>& about, const CalibrationRecord& now,
                               const std::vector<signing::KeptSignature>& kept);

}  // namespace trimwell
