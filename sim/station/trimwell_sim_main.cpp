// trimwell-sim: the real station on simulated hardware.
//
//   trimwell-sim                              the station window with its bench (docked, or
//                                             a window of its own on a small screen)
//   trimwell-sim --help | --version
//   trimwell-sim --script FILE [--window] [--settings DIR] [--library DIR] [--firmware FILE] [--records FILE|URL]
//                                             the same station from a script, headless
//                                             or on the real window (--window; off
//                                             screen without a display); --library:
//                                             another datasheet library; --records:
//                                             where the records go (else beside the
//                                             settings, or in memory)
//   trimwell-sim --screenshots DIR            pictures of the station at work, for the guide

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include <QGuiApplication>

#include "app/qt/certificate.h"
#include "platform/default_paths.h"
#include "platform/program_options.h"
#include "platform/qt/qsettings_registry.h"
#include "sim/station/qt/simulator_window.h"
#include "sim/station/qt/window_script.h"
#include "records/postgres_record_store.h"
#include "sim/station/station_script.h"


namespace {

constexpr const char* kUsage =
    "usage: trimwell-sim [--settings DIR] [--library DIR] [--firmware FILE] [--records FILE|URL]\n"
    "       trimwell-sim --script FILE [--window] [--settings DIR] [--library DIR] [--firmware FILE]\n"
    "                    [--records FILE|URL]\n"
    "       trimwell-sim --screenshots DIR\n"
    "The Trimwell station on simulated hardware, with a bench window that plugs the\n"
    "interfaces and sensors, sets the sensor's inputs and injects faults.\n"
    "  --script FILE     run a station script headless; exit 0 when it passes, 1 when an\n"
    "                    expectation fails, 2 on a line it cannot run\n"
    "  --window          run the script on the real window (off screen without a display)\n"
    "  --settings DIR    the station's settings (and records) folder\n"
    "  --library DIR     another datasheet library (else plugins/datasheets in the\n"
    "                    station folder; a script's, its own folder's)\n"
    "  --firmware FILE   another Dockmon firmware file (else Dockmon.hex in it)\n"
    "  --records FILE|URL  where the records go: an SQLite file or the lab's\n"
    "                    postgresql:// store (then DIR/records-outbox.sqlite\n"
    "                    keeps what waits for it)\n"
    "  --screenshots DIR take the operator's guide's pictures into DIR";

std::unique_ptr<trimwell::Registry> scriptSettings(const std::string& settingsFolder,
                                                   const trimwell::StationPaths& files, std::string& problem) {
  if (files.settingsFile.empty()) return std::make_unique<trimwell::MemoryRegistry>();
  std::error_code error;
  std::filesystem::create_directories(settingsFolder, error);
  if (error) {
    problem = "cannot make the settings folder " + settingsFolder + ": " + error.message();
    return nullptr;
  }
  return std::make_unique<trimwell::QSettingsRegistry>(files.settingsFile);
}

int runHeadlessScript(const std::string& path, trimwell::Registry& settings, const trimwell::DialogPaths& paths,
                      const std::string& scratchFolder) {
  std::ifstream script(path);
  if (!script) {
    std::cerr << "trimwell-sim: cannot read " << path << "\n";
    return trimwell::sim::kScriptMalformed;
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  trimwell::sim::MemoryWindow window;
  trimwell::sim::SimulatedStation station(window.controls(), settings, paths);
  window.setTick([&station] { station.tick(); });
  window.setClosing([&station] { return station.dialog().mayClose(); });
  trimwell::sim::StationScript runner(window, station, std::cout, folder.empty() ? "." : folder, scratchFolder);
  runner.writeCertificate = [](const trimwell::CalibrationRecord& record, const trimwell::Laboratory& lab,
                               const std::string& file, std::string& problem) {
    // Headless runs make the toolkit only when a certificate is asked for, off screen.
    if (qGuiApp == nullptr) {
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
      static int argc = 1;
      static char name[] = "trimwell-sim";
      static char* argv[] = {name, nullptr};
      static QGuiApplication toolkit(argc, argv);
    }
    return trimwell::writeCertificatePdf(record, lab, file, problem);
  };
  const auto result = runner.run(script);
  std::cout.flush();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (trimwell::answerHelpOrVersion(argc, argv, "trimwell-sim", kUsage, std::cout)) return 0;
  std::string script, settings, screenshots, library, firmware, records;
  bool window = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--window") {
      window = true;
    } else if (arg == "--script" && i + 1 < argc) {
      script = argv[++i];
    } else if (arg == "--records" && i + 1 < argc) {
      records = argv[++i];
    } else if (arg == "--library" && i + 1 < argc) {
      library = argv[++i];
    } else if (arg == "--firmware" && i + 1 < argc) {
      firmware = argv[++i];
    } else if (arg == "--settings" && i + 1 < argc) {
      settings = argv[++i];
    } else if (arg == "--screenshots" && i + 1 < argc) {
      screenshots = argv[++i];
    }
  }
  if (const std::string refused = trimwell::PostgresRecordStore::givenLocationProblem(records); !refused.empty()) {
    std::cerr << "trimwell-sim: " << refused << "\n";
    return trimwell::sim::kScriptMalformed;
  }
  if (!script.empty()) {
    std::string problem;
    const trimwell::StationPaths files = trimwell::defaultPaths(trimwell::StationProgram::Script, settings);
    const auto registry = scriptSettings(settings, files, problem);
    if (registry == nullptr) {
      std::cerr << "trimwell-sim: " << problem << "\n";
      return trimwell::sim::kScriptMalformed;
    }
    trimwell::DialogPaths paths;
    if (!library.empty()) paths.datasheetFolder = library;
    if (!firmware.empty()) paths.firmwareFile = firmware;
    paths.recordsFile = !records.empty() ? records : files.recordsFile;
    paths.recordsOutbox = files.recordsOutbox;
    if (!window) return runHeadlessScript(script, *registry, paths, settings);
    // A run without a display draws the window off screen.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    return trimwell::sim::runWindowScript(argc, argv, script, *registry, paths, settings);
  }
  trimwell::DialogPaths given;
  given.datasheetFolder = library;
  given.firmwareFile = firmware;
  given.recordsFile = records;
  return runSimulatorWindow(argc, argv, settings, screenshots, given);
}
