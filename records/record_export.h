#pragma once
// Records as text for other programs: CSV with one line per row of each record
// (RFC 4180 quoting), and the plain-text lines a certificate shows.

#include <string>
#include <vector>

#include "records/calibration_record.h"

namespace trimwell {

std::string recordsCsv(const std::vector<CalibrationRecord>& records);

// The certificate's content, line by line, in the order it is printed.
struct CertificateText {
  std::string title;
  std::vector<std::pair<std::string, std::string>> facts;  // label, value
  std::vector<std::string> rowHeadings;
  std::vector<std::vector<std::string>> rows;
  std::string result;
};
CertificateText certificateText(const CalibrationRecord& record);

}  // namespace trimwell
