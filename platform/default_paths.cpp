#include "platform/default_paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace trimwell {
namespace {

constexpr const char* kLibraryFolder = "plugins/datasheets";

bool absolute(const char* path) { return path != nullptr && path[0] == '/'; }

StationPaths stationPaths(const std::string& folder) {
  StationPaths p;
  p.settingsFile = folder + "/LocalMachine.ini";
  p.userSettingsFile = folder + "/CurrentUser.ini";
  const std::string station = stationFolder();
  p.recordsFile = station + "/records.sqlite";
  p.recordsOutbox = p.recordsFile + "-outbox";
  p.libraryFolder = station + "/" + kLibraryFolder;
  p.firmwareFile = p.libraryFolder + "/Dockmon.hex";
  return p;
}

// The wireless port chosen on the bench is not kept: each training starts clean.
StationPaths simulatorPaths(const std::string& folder) {
  StationPaths p;
  p.settingsFile = folder + "/LocalMachine-sim.ini";
  p.recordsFile = folder + "/records-sim.sqlite";
  p.libraryFolder = stationFolder() + "/" + kLibraryFolder;
  p.firmwareFile = p.libraryFolder + "/Dockmon.hex";
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
  if (const char* home = std::getenv("TRIMWELL_HOME"); home != nullptr && *home != '\0') {
    std::error_code ignored;
    return std::filesystem::absolute(home, ignored).lexically_normal().string();
  }
  // The data folder as the XDG base directories name it: a relative one is ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); absolute(data)) return std::string(data) + "/trimwell";
  const char* user = std::getenv("HOME");
  if (!absolute(user)) {
    const passwd* entry = getpwuid(getuid());
    user = entry != nullptr ? entry->pw_dir : nullptr;
  }
  return absolute(user) ? std::string(user) + "/.local/share/trimwell" : std::string();
}

bool stationFoldersReady(const std::string& settingsFolder, std::string& problem) {
  const std::string station = stationFolder();
  if (station.empty()) {
    problem = "there is no station folder: set TRIMWELL_HOME, or HOME, to a full path";
    return false;
  }
  return makePrivateFolder(station, problem) && makePrivateFolder(settingsFolder, problem);
}

std::string fullPath(const std::string& path) {
  std::error_code ignored;
  return path.empty() ? path : std::filesystem::absolute(path, ignored).lexically_normal().string();
}

bool makePrivateFolder(const std::string& folder, std::string& problem) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    problem = "cannot make the folder " + folder + ": " + (error ? error.message() : "something else stands there");
    return false;
  }
  if (chmod(folder.c_str(), 0700) != 0) {
    problem = "cannot keep " + folder + " to its owner: " + std::strerror(errno);
    return false;
  }
  return true;
}

bool makePrivateFile(const std::string& file, std::string& problem) {
  const int fd = open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    problem = "cannot make " + file + ": " + std::strerror(errno);
    return false;
  }
  struct stat kept {};
  const bool ok = fstat(fd, &kept) == 0 && ((kept.st_mode & 077) == 0 || fchmod(fd, kept.st_mode & 0700) == 0);
  if (!ok) problem = "cannot keep " + file + " to its owner: " + std::strerror(errno);
  close(fd);
  return ok;
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
