#pragma once
// Runs the simulated station from a script, one command per line, as an operator at
// the bench would: plug and unplug, set inputs, inject faults, tick, click, type,
// and check what the station shows and what the sensor holds.

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/memory_controls.h"
#include "sim/simulated_station.h"

namespace trimwell::sim {

enum ScriptResult : int { kScriptPassed = 0, kScriptExpectFailed = 1, kScriptMalformed = 2 };

class StationScript {
 public:
  // Files named in the script are looked up as given, then beside the script.
  StationScript(Registry& settings, std::ostream& out, std::string scriptFolder = ".", DialogPaths paths = {});

  ScriptResult run(std::istream& script);
  ScriptResult runLine(const std::string& line, int lineNumber);

  MemoryControls& controls() { return controls_; }
  SimulatedStation& station() { return station_; }

 private:
  struct Words {
    std::vector<std::string> words;
    // The rest of the line after word i, as one text.
    std::vector<std::string> rests;
  };
  static Words split(const std::string& line);
  std::string resolve(const std::string& file) const;

  ScriptResult interfaceCommand(const Words& w);
  ScriptResult sensorCommand(const Words& w);
  ScriptResult faultCommand(const Words& w);
  ScriptResult operatorCommand(const Words& w);
  ScriptResult expectCommand(const Words& w);
  ScriptResult saveCommand(const Words& w);
  ScriptResult fail(const std::string& expected, const std::string& actual);
  ScriptResult malformed(const std::string& why);

  MemoryControls controls_;
  std::ostream& out_;
  std::string scriptFolder_;
  SimulatedStation station_;
  std::size_t messagesExpected_ = 0;
  int lineNumber_ = 0;
};

}  // namespace trimwell::sim
