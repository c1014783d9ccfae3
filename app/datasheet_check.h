#pragma once
// The sensor's datasheet against the library's file for its model: which of the
// two the station works with, the warning the operator gets, and the verdict.

#include <functional>
#include <optional>
#include <string>

#include "app/station_states.h"
#include "datasheet/datasheet_library.h"

namespace trimwell {

// code: the scanner's event for the datasheet read (good, bad or unreadable).
// Replaces *datasheet by the file's where the file's is the one to use; accept
// says whether the sensor can be worked with. The verdict, when there is one, is
// the status line's state.
std::optional<StationState> checkDatasheet(DatasheetLibrary& library, int code, Datasheet* datasheet, bool& accept,
                                           const std::function<void(const std::string&)>& showMessage);

}  // namespace trimwell
