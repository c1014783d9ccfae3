#pragma once
// Where the station's programs keep their files, named here and nowhere else.
//
// The station (trimwell) and the simulated station (trimwell-sim) keep their settings
// in the user's configuration folder, each in a file of its own so that training
// never changes what the station has learnt. The station's records go into the
// station folder ($TRIMWELL_HOME, else $XDG_DATA_HOME/trimwell, else
// ~/.local/share/trimwell), where trimwell-launch keeps the datasheet library and
// the interface firmware too: both programs take them from there by its full
// path, never from the folder they were started in, where anyone could have put
// a firmware file or a datasheet. A script keeps everything in the folder it is
// given, so that its records live as long as its settings, or in memory without
// one, and takes its library from its own folder.

#include <string>

namespace trimwell {

struct StationPaths {
  std::string settingsFile;      // the settings per sensor model; empty: in memory
  std::string userSettingsFile;  // the user's own (the wireless port); empty: in memory
  std::string recordsFile;       // an SQLite file, or ":memory:"
  std::string recordsOutbox;     // what waits for a lab-wide store; empty: none
  std::string libraryFolder;     // the datasheets; empty: the script's own
  std::string firmwareFile;      // the interface firmware; empty: the script's own
};

enum class StationProgram { Station, Simulator, Script };

// settingsFolder: the user's configuration folder for the station and the
// simulated one; a script's settings folder, or empty, for a script.
StationPaths defaultPaths(StationProgram program, const std::string& settingsFolder);

// $TRIMWELL_HOME, else $XDG_DATA_HOME/trimwell, else ~/.local/share/trimwell, as a
// full path; empty when there is no home to put it in (the station then refuses to
// start rather than work in the current folder).
std::string stationFolder();

// The station folder and the settings folder made and kept to their owner; false,
// saying why, when there is no station folder or either cannot be made.
bool stationFoldersReady(const std::string& settingsFolder, std::string& problem);
// The path made absolute against the current folder, as given on the command line.
std::string fullPath(const std::string& path);

// Makes the folder (and those above it) if needed and leaves it to its owner alone
// (0700), whatever the umask: it holds customers' records and the store's address.
// False, saying why, when it cannot be made or is not a folder.
bool makePrivateFolder(const std::string& folder, std::string& problem);
// Makes the file empty, readable and writable by its owner alone (0600), when it
// is not there; one that is there keeps what it holds, with its group's and
// others' rights taken away. False, saying why.
bool makePrivateFile(const std::string& file, std::string& problem);

}  // namespace trimwell
