#pragma once
// A reference standard as the lab's register keeps it: what it is, its
// certificate and when that runs out, and the expanded uncertainty the
// certificate states. A record keeps a copy of each one used, as it was that day.

#include <string>
#include <vector>
#include <string_view>

#include "metrology/inputs.h"

namespace trimwell::metrology {

struct StandardEntry {
  std::string name;  // the register's key, as the operator chooses it
  std::string identification;  // serial number or asset tag
  std::string certificateNumber;
  std::string issuedBy;
  std::string calibratedOn;  // YYYY-MM-DD
  std::string dueOn;  // YYYY-MM-DD
  std::string quantity;  // "temperature"
  std::string unit;  // as the rows show it: "°C"
  ReferenceStandard uncertainty;  // U = a + b * |value|, with k
  // The day from which the lab no longer uses it (YYYY-MM-DD); empty while in use.
  // A register never forgets an entry: the records that used it name it.
  std::string retiredOn = {};
  bool operator==(const StandardEntry&) const = default;
};

// False, naming the field, for an entry the register cannot take: no name, a date
// that is no calendar date, a, b or k not finite, a or b negative, k not positive,
// or a and b both zero (a standard with no uncertainty at all).
bool checkEntry(const StandardEntry& entry, std::string& problem);

// False, naming the standard and its due date, when it is past due on `today`
// (YYYY-MM-DD): "Reference standard X was due on 2026-01-31; it cannot be used";
// or when it was retired on or before that day.
bool usableOn(const StandardEntry& entry, const std::string& today, std::string& problem);

// The register's entry of that name, or nullptr.
const StandardEntry* findStandard(const std::vector<StandardEntry>& entries, const std::string& name);

// Whether two units are the same by meaning: the micro sign as "µ" (U+00B5),
// "μ" (U+03BC) or a plain "u" where a prefix stands ("uS/cm" is "µS/cm").
bool sameUnit(std::string_view a, std::string_view b);

// Whether `text` is a calendar date written YYYY-MM-DD.
bool isCalendarDate(const std::string& text);

}  // namespace trimwell::metrology
