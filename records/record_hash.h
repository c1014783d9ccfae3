#pragma once
// A record's content hash: SHA-256 over its canonical form (docs/canonical-form.md).
// What a store gives a record (its number, the number of the record a restore
// wrote back, the certificate number issued later) and the outbox's marks are
// not part of it, so every store holds the same hash for the same record.

#include <cstdint>
#include <string>
#include <vector>

#include "records/calibration_record.h"

namespace trimwell {

// A first version is written in form 1, as every record was before amendments;
// an amendment in form 2, which adds what it amends, its revision and reason.
inline constexpr int kRecordFormVersion = 2;

std::vector<std::uint8_t> canonicalRecord(const CalibrationRecord& record);
// 64 lower-case hex digits.
std::string recordHash(const CalibrationRecord& record);

}  // namespace trimwell
