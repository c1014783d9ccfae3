// libFuzzer target: a station script, run headless on the simulated station with
// its records in memory. Lines that write files (exports, certificates, DCCs),
// open ports or ask PAM are left out, so that the search touches nothing outside;
// a tick is at most 50 steps.
#include <cstdint>
#include <set>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "sim/station/scripted_window.h"
#include "sim/station/simulated_station.h"
#include "sim/station/station_script.h"

namespace {

const std::set<std::string> kHarmless = {
    "ambient", "answer", "check", "click", "customer", "customer-address", "customer-email", "descriptor",
    "dismiss", "expect", "fail", "interface", "interval", "presence", "procedure", "rule", "sensor", "short",
    "standard", "tick", "tolerance", "type", "unit", "units", "verify", "amend", "restore", "corrupt", "lab"};

bool harmless(const std::string& line) {
  std::istringstream words(line);
  std::string first, second;
  words >> first >> second;
  if (!kHarmless.contains(first)) return false;
  if (first == "expect" && (second == "certificate" || second == "dcc")) return false;
  if (first == "tick" && !second.empty() && (second.size() > 2 || second.find_first_not_of("0123456789") != std::string::npos)) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  std::string kept;
  int lines = 0;
  for (std::string line; std::getline(input, line) && lines < 200; ++lines) {
    if (harmless(line)) kept += line + "\n";
  }
  trimwell::MemoryRegistry settings;
  trimwell::DialogPaths paths;
  paths.recordsFile = ":memory:";
  paths.datasheetFolder = std::string(TRIMWELL_FUZZ_BUILD) + "/plugins/datasheets";
  paths.firmwareFile = paths.datasheetFolder + "/Dockmon.hex";
  trimwell::sim::MemoryWindow window;
  trimwell::sim::SimulatedStation station(window.controls(), settings, paths);
  window.setTick([&station] { station.tick(); });
  window.setClosing([&station] { return station.dialog().mayClose(); });
  std::ostringstream out;
  trimwell::sim::StationScript runner(window, station, out, TRIMWELL_FUZZ_BUILD);
  std::istringstream script(kept);
  runner.run(script);
  return 0;
}
