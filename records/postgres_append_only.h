#pragma once
// The lab store's rules, kept by the server whoever connects: records, their rows,
// standards and results, signatures and the audit trail are never changed nor
// deleted (a record's certificate number is given once), and the roles a lab
// gives its stations: an owner that holds the schema, and a station role that
// may only read and append.

#include <string>

namespace trimwell {

inline constexpr const char* kLabOwnerRole = "trimwell_owner";
inline constexpr const char* kLabStationRole = "trimwell_station";

// The triggers, made anew each time the schema is brought up to date.
std::string postgresAppendOnlyTriggers();
// The owner and station roles made if missing (neither logs in: a lab makes a
// login role per station, IN ROLE trimwell_station), with the schema's creation
// given to the owner.
std::string labRolesSql();
// What the station role may do, given again after each step of the schema:
// SELECT and INSERT, a certificate number into its record, a reference standard
// saved; never UPDATE nor DELETE else, nor the schema's version.
std::string stationGrantsSql();

}  // namespace trimwell
