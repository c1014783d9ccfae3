#pragma once
// Signatures of three people over a record as it stands, given in order: what a
// lab's performer, reviewer and approver leave on a record they pass.
#include <string>

#include "records/calibration_record.h"
#include "records/record_hash.h"

namespace trimwell::test {

inline signing::Signature signatureBy(const CalibrationRecord& r, signing::Meaning meaning, long long uid,
                                      const std::string& login, const std::string& name, const std::string& group) {
  signing::Signature s;
  s.recordUuid = r.uuid;
  s.recordHash = recordHash(r);
  s.uid = uid;
  s.login = login;
  s.printedName = name;
  s.groups = {login, group};
  s.meaning = meaning;
  s.utcTime = "2026-03-03T10:0" + std::to_string(static_cast<int>(meaning)) + ":00Z";
  return s;
}

// Performed by Ana Roth, reviewed by Carl Stein, approved by Bo Lind.
inline void passThroughTheLab(CalibrationRecord& r) {
  using signing::Meaning;
  r.signatures = {signatureBy(r, Meaning::Performed, 1001, "aroth", "Ana Roth", "trimwell-operator"),
                  signatureBy(r, Meaning::Reviewed, 1002, "cstein", "Carl Stein", "trimwell-reviewer"),
                  signatureBy(r, Meaning::Approved, 1003, "blind", "Bo Lind", "trimwell-approver")};
}

}  // namespace trimwell::test
