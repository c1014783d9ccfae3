#pragma once
// Runs the simulated station from a script, one command per line, as an operator at
// the bench would: plug and unplug, set inputs, inject faults, tick, click, type,
// dismiss message boxes, and check what the station shows and what the sensor holds.
// The same script runs headless and on the real window.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "documents/laboratory.h"
#include "sim/station/scripted_window.h"
#include "sim/station/simulated_station.h"

namespace trimwell::sim {

enum ScriptResult : int { kScriptPassed = 0, kScriptExpectFailed = 1, kScriptMalformed = 2 };

class StationScript {
 public:
  // Files the script saves go into scratchFolder (when given), so that runs of one
  // script side by side keep apart; files it names are looked up there, then as
  // given, then beside the script.
  StationScript(ScriptedWindow& window, SimulatedStation& station, std::ostream& out,
                std::string scriptFolder = ".", std::string scratchFolder = {});

  ScriptResult run(std::istream& script);
  // Writes a record's certificate (a PDF, which takes the window toolkit).
  std::function<bool(const CalibrationRecord&, const Laboratory&, const std::string& path, std::string& problem)>
      writeCertificate;
  ScriptResult runLine(const std::string& line, int lineNumber);

 private:
  ScriptResult runLineGuarded(const std::string& line, int lineNumber);
  struct Words {
    std::vector<std::string> words;
    // The rest of the line after word i, as one text.
    std::vector<std::string> rests;
  };
  static Words split(const std::string& line);
  std::string resolve(const std::string& file) const;
  // Runs lines until the script ends or fails, or until the box this call runs
  // inside of is dismissed.
  void continueScript();

  ScriptResult interfaceCommand(const Words& w);
  ScriptResult sensorCommand(const Words& w);
  ScriptResult wirelessCommand(const Words& w);
  // An expected text as the station shows it: "\n" in the script is a line break,
  // and {wireless} the bench's wireless port.
  std::string expandText(const std::string& text) const;
  ScriptResult faultCommand(const Words& w);
  ScriptResult operatorCommand(const Words& w);
  ScriptResult expectCommand(const Words& w);
  ScriptResult expectMessage(const Words& w);
  ScriptResult expectStatuses(const std::string& list);
  ScriptResult expectSensor(const std::string& what, const std::string& rest);
  ScriptResult saveCommand(const Words& w);
  ScriptResult expectRecord(const Words& w);
  ScriptResult restoreCommand(const Words& w);
  ScriptResult documentCommand(const Words& w);
  bool writeDccOf(const CalibrationRecord& record, const std::string& path, std::string& problem);
  // expect certificate FILE contains|lacks TEXT|pages N (certificate_commands.cpp), and
  // lab FIELD TEXT: the laboratory that issues certificates.
  ScriptResult expectCertificate(const Words& w);
  ScriptResult laboratoryCommand(const Words& w);
  // sign, amend, expect signatures, expect audit and verify (signing_commands.cpp).
  ScriptResult signCommand(const Words& w);
  bool approveLabChange(const std::string& password, std::string& approvedBy);
  ScriptResult amendCommand(const Words& w);
  ScriptResult expectSignatures(const Words& w);
  ScriptResult expectAudit(const Words& w);
  ScriptResult verifyCommand(const Words& w);
  // The lab's side (lab_commands.cpp): unit, customer, ambient, standard, tolerance,
  // rule, lab, check; and the expectations on a record's results.
  ScriptResult labCommand(const Words& w);
  ScriptResult standardCommand(const Words& w);
  ScriptResult procedureCommand(const Words& w);
  ScriptResult expectLabRecord(const Words& w, const CalibrationRecord& record);
  ScriptResult expectResult(const Words& w, const CalibrationRecord& record);
  // The bench's reference instrument (reference_commands.cpp): reference
  // on|off|silent|slow|garble|error|normal, choose, value, noise; and row ROW
  // reference instrument|typed.
  ScriptResult referenceCommand(const Words& w);
  ScriptResult rowCommand(const Words& w);
  // Waits, on the instrument's own time, until the station's poller has seen what
  // the bench changed, then lets the station look at it.
  ScriptResult awaitReference(const std::function<bool(const ReferenceSnapshot&)>& until);
  // Types into a control and, for a chooser or a button, clicks it.
  ScriptResult operate(int id, const std::string& text, bool click);
  std::string savedPath(const std::string& file) const;
  // Whether the last `close` closed the window.
  bool closed_ = false;
  // "last" or a record's number, as the record's identity.
  bool recordUuid(const std::string& word, std::string& uuid);
  ScriptResult fail(const std::string& expected, const std::string& actual);
  ScriptResult malformed(const std::string& why);

  ScriptedWindow& window_;
  WindowControls& controls_;
  std::ostream& out_;
  std::string scriptFolder_;
  std::string scratchFolder_;
  SimulatedStation& station_;
  std::size_t messagesExpected_ = 0;
  std::size_t statusesExpected_ = 0;
  int lineNumber_ = 0;
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  bool finished_ = false;
  ScriptResult result_ = kScriptPassed;
};

}  // namespace trimwell::sim
