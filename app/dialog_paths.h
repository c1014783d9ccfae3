#pragma once
// Where the station finds its datasheets and firmware and keeps its records.

#include <string>

#include "datasheet/datasheet_library.h"

namespace trimwell {

struct DialogPaths {
  std::string datasheetFolder = DatasheetLibrary::kDefaultFolder;
  std::string firmwareFile = "plugins/datasheets/Dockmon.hex";
  // Where the records of every write go: an SQLite file, or a PostgreSQL URL for a
  // lab-wide store with recordsOutbox as the station's file for what waits to be
  // sent. Empty: none are kept.
  std::string recordsFile;
  std::string recordsOutbox;
  // Whether the station warns, once at start, of a computer clock that is not
  // synchronised (the records note the clock's state whatever this says). The
  // installed station does; the simulated one and the tests run on any clock.
  bool warnOfClock = false;
};

}  // namespace trimwell
