#include "platform/default_paths.h"

#include <cstdlib>

namespace trimwell {
namespace {

StationPaths stationPaths(const std::string& folder) {
  StationPaths p;
  p.settingsFile = folder + "/LocalMachine.ini";
  p.userSettingsFile = folder + "/CurrentUser.ini";
  p.recordsFile = stationFolder() + "/records.sqlite";
  p.recordsOutbox = p.recordsFile + "-outbox";
  return p;
}

// The wireless port chosen on the bench is not kept: each training starts clean.
StationPaths simulatorPaths(const std::string& folder) {
  StationPaths p;
  p.settingsFile = folder + "/LocalMachine-sim.ini";
  p.recordsFile = folder + "/records-sim.sqlite";
  return p;
}

StationPaths scriptPaths(const std::string& folder) {
  StationPaths p;
  p.recordsFile = ":memory:";
  if (folder.empty()) return p;
  p.settingsFile = folder + "/LocalMachine.ini";
  p.recordsFile = folder + "/records.sqlite";
  p.recordsOutbox = folder + "/records-outbox.sqlite";
  return p;
}

}  // namespace

std::string stationFolder() {
  if (const char* home = std::getenv("TRIMWELL_HOME"); home != nullptr && *home != '\0') return home;
  const char* user = std::getenv("HOME");
  return std::string(user != nullptr ? user : ".") + "/.local/share/trimwell";
}

StationPaths defaultPaths(StationProgram program, const std::string& settingsFolder) {
  switch (program) {
    case StationProgram::Station: return stationPaths(settingsFolder);
    case StationProgram::Simulator: return simulatorPaths(settingsFolder);
    case StationProgram::Script: return scriptPaths(settingsFolder);
  }
  return {};
}

}  // namespace trimwell
