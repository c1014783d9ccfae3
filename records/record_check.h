#pragma once
// What every store refuses before it keeps anything: numbers a record's results,
// conditions or standards cannot hold. Not a number or infinite would not read
// back the same from every store (PostgreSQL and SQLite spell them differently,
// SQLite keeps no NaN at all), and no certificate can state them.

#include <string>
#include <vector>

#include "records/calibration_record.h"

namespace trimwell {

// False, naming the field and its result or standard, for a record that holds a
// number no store keeps; an ambient condition not given (NaN) is fine.
bool checkRecordNumbers(const CalibrationRecord& record, std::string& problem);

// The same for results to be kept at places `firstPlace` on (counted from 0).
bool checkResultNumbers(const std::vector<RecordResult>& results, std::size_t firstPlace, std::string& problem);

// How much a typed text may hold: an identifier is one line, a customer's
// address a few; none holds a control character, and an identifier no format
// character (a bidirectional control would make it read as another).
inline constexpr std::size_t kLongestIdentifier = 64;
inline constexpr std::size_t kLongestName = 200;
inline constexpr std::size_t kMostAddressLines = 8;
inline constexpr std::size_t kLongestAddressLine = 100;

// False, saying which field and what to do, for a record whose typed texts (unit,
// customer, address, e-mail) are beyond those limits.
bool checkRecordTexts(const CalibrationRecord& record, std::string& problem);
// The same for a standard's name, identification and certificate number.
bool checkStandardTexts(const metrology::StandardEntry& entry, std::string& problem);
// One identifier: false, naming `what`, beyond those limits.
bool checkIdentifier(const std::string& text, const char* what, std::string& problem);

// The most rows a record may have: a row's place beyond it is no row a station wrote.
inline constexpr int kMostRows = 65535;

// A record read from a store whose result or standard names a row it does not
// have (out of its rows, or of 0..kMostRows): its column and value ("record_results.row_position 2147483647"),
// or empty.
std::string rowOutOfRange(const CalibrationRecord& record);

// The message for a record refused because a value read does not fit.
std::string outOfRange(long long recordId, const std::string& unfit);

}  // namespace trimwell
