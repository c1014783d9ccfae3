#pragma once
// A calibration's Digital Calibration Certificate (DCC, schema 3.1.2 of the PTB):
// the machine-readable twin of the printed certificate, with the printed one
// (the PDF) carried inside it. What it states:
// - administrative data: the station as the software that made it; the
//   certificate number (the record's identity for a record with no number yet);
//   the day of the calibration; the item (the datasheet's name, "Sensor <id>",
//   the unit); the laboratory, the performer and the customer; the statements:
//   that the results relate only to the item calibrated, the conformity by the
//   decision rule, traceability and accreditation where there are any;
// - one measurement result per row: the two-point procedure, the row's reference
//   standard, the ambient conditions, the adjustment's two points, and each
//   result as found and as left (reference value, reading, error with its
//   expanded uncertainty, tolerance limit, verdict) as D-SI quantities, every
//   number with all the digits the record keeps.
// - the day it is issued, as a statement with its date, and where the calibration
//   was done (on site: a statement naming the place);
// - the addresses in the schema's fields (street, post code, city, country), read
//   from the lines they were typed in.
// Choices where the record or the lab settings say nothing and the schema needs a
// value: the language is English; a missing name (customer, lab, manufacturer) is
// written "not given". What the schema requires and nobody gave stops the DCC,
// naming the setting: the lab's country, the lab's and the customer's e-mail.

#include <cstdint>
#include <string>
#include <vector>

#include "records/calibration_record.h"
#include "documents/laboratory.h"

namespace trimwell {

// The DCC of a successful calibration, UTF-8, with `pdf` (the printed
// certificate) inside it unless it is empty. False, with the reason in problem
// and xml untouched, for anything else: a failed write or a restore has no
// certificate, and a number that is not finite or a coverage factor below 1
// cannot be stated.
bool writeDcc(const CalibrationRecord& record, const Laboratory& lab, const std::vector<std::uint8_t>& pdf,
              std::string& xml, std::string& problem);

// The same, into a file.
bool writeDccFile(const CalibrationRecord& record, const Laboratory& lab, const std::vector<std::uint8_t>& pdf,
                  const std::string& path, std::string& problem);

}  // namespace trimwell
