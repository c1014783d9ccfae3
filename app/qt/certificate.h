#pragma once
// A record's certificate (or, for a failed write or a restore, its report) as a
// PDF, laid out from the content documents/record_export.h states: every page
// headed with the document's number and "Page N of M", long texts wrapped,
// tables carried over pages with their headings.

#include <cstdint>
#include <string>
#include <vector>

#include "records/calibration_record.h"
#include "documents/laboratory.h"
#include "documents/record_export.h"

namespace trimwell {

// The PDF's bytes; false, with the reason in problem, when it cannot be made
// (no running window toolkit to draw the fonts with).
bool documentPdf(const CertificateDocument& document, std::vector<std::uint8_t>& pdf, std::string& problem);
// The record's document as issued today.
bool certificatePdf(const CalibrationRecord& record, const Laboratory& lab, std::vector<std::uint8_t>& pdf,
                    std::string& problem);
// The same, saved; false, with the reason in problem, when the file cannot be written.
bool writeCertificatePdf(const CalibrationRecord& record, const Laboratory& lab, const std::string& path,
                         std::string& problem);

}  // namespace trimwell
