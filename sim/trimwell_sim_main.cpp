// trimwell-sim: the real station on simulated hardware.
//
//   trimwell-sim                              the station window with a bench panel
//   trimwell-sim --script FILE [--settings DIR] [--library DIR]
//                                             the same station headless, from a script
//                                             (--library: another datasheet library)
//   trimwell-sim --screenshots DIR            pictures of the station at work, for the guide

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "platform/qt/qsettings_registry.h"
#include "sim/station_script.h"

int runSimulatorWindow(int argc, char** argv, const std::string& settingsFolder, const std::string& screenshots);

namespace {

int runScript(const std::string& path, const std::string& settingsFolder, const std::string& library) {
  std::ifstream script(path);
  if (!script) {
    std::cerr << "trimwell-sim: cannot read " << path << "\n";
    return trimwell::sim::kScriptMalformed;
  }
  std::unique_ptr<trimwell::Registry> settings;
  if (settingsFolder.empty()) {
    settings = std::make_unique<trimwell::MemoryRegistry>();
  } else {
    std::filesystem::create_directories(settingsFolder);
    settings = std::make_unique<trimwell::QSettingsRegistry>(settingsFolder + "/LocalMachine.ini");
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  trimwell::DialogPaths paths;
  if (!library.empty()) paths.datasheetFolder = library;
  trimwell::sim::StationScript runner(*settings, std::cout, folder.empty() ? "." : folder, paths);
  const auto result = runner.run(script);
  std::cout.flush();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, settings, screenshots, library;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--script" && i + 1 < argc) {
      script = argv[++i];
    } else if (arg == "--library" && i + 1 < argc) {
      library = argv[++i];
    } else if (arg == "--settings" && i + 1 < argc) {
      settings = argv[++i];
    } else if (arg == "--screenshots" && i + 1 < argc) {
      screenshots = argv[++i];
    }
  }
  if (!script.empty()) return runScript(script, settings, library);
  return runSimulatorWindow(argc, argv, settings, screenshots);
}
