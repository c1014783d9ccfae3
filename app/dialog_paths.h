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
};

}  // namespace trimwell
