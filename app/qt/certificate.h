#pragma once
// A record's certificate as a PDF: station, sensor, date, operator, each row's
// points and constants, and the result.

#include <string>

#include "records/calibration_record.h"

namespace trimwell {

// False, with the reason in problem, when the file cannot be written.
bool writeCertificatePdf(const CalibrationRecord& record, const std::string& path, std::string& problem);

}  // namespace trimwell
