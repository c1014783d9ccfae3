#pragma once
// Records as text for other programs and people: CSV with one line per row of
// each record (RFC 4180 quoting, and no field a spreadsheet would run as a
// formula), the plain record the Details tab shows, and the content of the
// certificate (or report) the lab issues for a record.

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "records/calibration_record.h"
#include "documents/laboratory.h"

namespace trimwell {

std::string recordsCsv(const std::vector<CalibrationRecord>& records);

// One CSV field of text: quoted when it holds a comma, quote, CR or LF, and led
// by an apostrophe when it begins as a formula would (=, +, -, @, tab, CR).
// Numbers the station writes go out bare: a negative one stays a number.
std::string csvText(const std::string& text);

// A record as stored, line by line: what the Details tab shows.
struct RecordText {
  std::string title;
  std::vector<std::pair<std::string, std::string>> facts;  // label, value
  std::vector<std::string> rowHeadings;
  std::vector<std::vector<std::string>> rows;
  std::string result;
};
RecordText recordText(const CalibrationRecord& record);

// The unit a row's values are in, as the record knows it: that of the reference
// standard its points were taken against (a standard is of the row's quantity);
// empty when the row had none.
std::string rowUnitOf(const CalibrationRecord& record, int row);

// A signature as people read it: "Ana Roth (aroth), performed 2026-12-10T09:14:02Z".
std::string signatureText(const signing::Signature& signature);
// An audit entry on one line: its number, bench time, event and details.
std::string auditLine(const signing::AuditEntry& entry);

// A certificate's content in the order it is printed. Facts are label and value,
// a value's lines parted by "\n"; a section prints its facts, then its tables,
// then its paragraphs.
struct CertificateTable {
  std::string caption;
  std::vector<std::string> headings;
  std::vector<std::vector<std::string>> rows;
};

// A row's errors as a picture: each result's error with its U at its reference
// value, and the tolerance limit there; not a number where there is none.
struct ChartPoint {
  double reference = 0.0;
  double error = 0.0;
  double expanded = std::nan("");
  double limit = std::nan("");
  bool asLeft = false;
};
struct ErrorChart {
  std::string caption;  // "Errors of row 1 ...": empty for a section without one
  std::string unit;     // of both axes
  std::vector<ChartPoint> points;
};
// The chart of the record's row: its results in their order; none without results.
ErrorChart errorChart(const CalibrationRecord& record, int row);

struct CertificateSection {
  std::string heading;
  std::vector<std::pair<std::string, std::string>> facts;
  std::vector<CertificateTable> tables;
  std::vector<std::string> paragraphs;
  ErrorChart chart = {};  // after the tables
};

struct CertificateDocument {
  // "Calibration certificate"; a failed write gets a "Calibration report" and a
  // restore a "Restore report" instead, neither of which certifies anything.
  std::string title;
  std::string numberLabel;  // "Certificate number" or "Report number"
  std::string number;  // by the lab's pattern; "not yet numbered" for a record waiting to be sent
  std::string laboratory;  // the lab's name, in every page's head
  std::string draftMark;  // for a record not approved: in every page's head too
  std::vector<CertificateSection> sections;
  std::string end;  // "End of certificate" or "End of report"
};

// How much of the audit trail's head a certificate prints.
inline constexpr std::size_t kPrintedHeadDigits = 16;

// issueDate: YYYY-MM-DD, the day the document is made.
CertificateDocument certificateDocument(const CalibrationRecord& record, const Laboratory& lab,
                                        const std::string& issueDate);

}  // namespace trimwell
