#pragma once
// A human-readable copy of everything kept of a record, for an assessor or an
// inspector: every version, first to latest, each with its content, its content
// hash, its signatures, every audit entry about it, and whether it still matches
// them. Not a certificate: it certifies nothing and is given no number.

#include <string>
#include <vector>

#include "documents/record_export.h"
#include "records/record_store.h"

namespace trimwell {

// Every version of the record, the first first: back by what each amends, then
// on by what amends it.
bool allVersions(RecordStore& store, const CalibrationRecord& record, std::vector<CalibrationRecord>& out,
                 std::string& problem);

struct VersionKept {
  CalibrationRecord record;
  std::vector<signing::AuditEntry> trail;
  std::string broken;  // why it no longer matches its trail; empty when it does
};
bool everythingKept(RecordStore& store, const CalibrationRecord& record, std::vector<VersionKept>& out,
                    std::string& problem);

// The report as a document to print; utcNow is when it was made.
CertificateDocument recordReport(const std::vector<VersionKept>& versions, const std::string& laboratory,
                                 const std::string& utcNow);

}  // namespace trimwell
