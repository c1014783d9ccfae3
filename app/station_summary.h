#pragma once
// The station's state in plain words for the information strip: which interface
// (kind, product, firmware, where), which sensor (ID, datasheet name and version),
// and what the status line's event or verdict means.

#include <string>

namespace trimwell {

// What a status text of the station means, for someone who has not learnt the
// event names; empty for a text it does not know.
std::string plainStatus(const std::string& status);

}  // namespace trimwell
