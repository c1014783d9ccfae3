#pragma once
// Where the station's programs keep their files, named here and nowhere else.
//
// The station (trimwell) and the simulated station (trimwell-sim) keep their settings
// in the user's configuration folder, each in a file of its own so that training
// never changes what the station has learnt. The station's records go into the
// station folder ($TRIMWELL_HOME, else ~/.local/share/trimwell, where trimwell-launch
// keeps the library too). A script keeps everything in the folder it is given, so
// that its records live as long as its settings, or in memory without one.

#include <string>

namespace trimwell {

struct StationPaths {
  std::string settingsFile;      // the settings per sensor model; empty: in memory
  std::string userSettingsFile;  // the user's own (the wireless port); empty: in memory
  std::string recordsFile;       // an SQLite file, or ":memory:"
  std::string recordsOutbox;     // what waits for a lab-wide store; empty: none
};

enum class StationProgram { Station, Simulator, Script };

// settingsFolder: the user's configuration folder for the station and the
// simulated one; a script's settings folder, or empty, for a script.
StationPaths defaultPaths(StationProgram program, const std::string& settingsFolder);

// $TRIMWELL_HOME, else ~/.local/share/trimwell (./.local/share/trimwell without HOME).
std::string stationFolder();

}  // namespace trimwell
