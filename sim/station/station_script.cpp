#include "sim/station/station_script.h"

#include "app/lab_bench.h"
#include "app/units_due.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "app/dialog_layout.h"
#include "app/control_ids.h"
#include "datasheet/datasheet_library.h"
#include "platform/format_text.h"
#include "documents/dcc_writer.h"
#include "documents/laboratory.h"
#include "documents/record_export.h"

namespace trimwell::sim {
namespace {

bool parseNumber(const std::string& text, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 0);
  return *end == '\0';
}

// Scripts write numbers with a decimal point, whatever locale the window run has.
bool parseDouble(const std::string& text, double& out) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, error] = std::from_chars(begin, end, out);
  return error == std::errc() && stop == end && begin != end;
}

bool parseVersion(const std::string& text, int& major, int& minor) {
  char dot = 0;
  std::istringstream in(text);
  return static_cast<bool>(in >> major >> dot >> minor) && dot == '.' && in.peek() == EOF;
}

int faultKey(const std::string& word) {
  if (word == "descriptor") return kFaultDescriptor;
  if (word == "presence") return kFaultPresence;
  long code = 0;
  return parseNumber(word, code) && code >= 0 && code <= 0xFF ? static_cast<int>(code) : -1;
}

}  // namespace

StationScript::StationScript(ScriptedWindow& window, SimulatedStation& station, std::ostream& out,
                             std::string scriptFolder, std::string scratchFolder)
    : window_(window), controls_(window.controls()), out_(out), scriptFolder_(std::move(scriptFolder)),
      scratchFolder_(std::move(scratchFolder)), station_(station) {
  window_.onStatus = [this](const std::string& text) { out_ << "status: " << text << "\n"; };
  window_.onMessage = [this](const std::string& text) { out_ << "message: " << text << "\n"; };
  window_.runInsideBox = [this] { continueScript(); };
  out_ << "status: " << controls_.text(ids::kStatus) << "\n";
  // What the station showed while it was made is not checked as news.
  statusesExpected_ = window_.statuses.size();
}

StationScript::Words StationScript::split(const std::string& line) {
  Words w;
  std::size_t at = 0;
  while (true) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos) break;
    const std::size_t end = line.find_first_of(" \t", at);
    w.words.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
    w.rests.push_back(line.substr(at));
    if (end == std::string::npos) break;
    at = end;
  }
  return w;
}

// Files the script saved come first, then files as given, then beside the script.
// A name the system refuses (too long, a folder that cannot be read) is simply not
// there: the command that wanted it reports the line.
std::string StationScript::resolve(const std::string& file) const {
  if (std::filesystem::path(file).is_absolute()) return file;
  const auto there = [](const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
  };
  const auto saved = std::filesystem::path(scratchFolder_) / file;
  if (!scratchFolder_.empty() && there(saved)) return saved.string();
  if (there(file)) return file;
  const auto beside = std::filesystem::path(scriptFolder_) / file;
  return there(beside) ? beside.string() : file;
}

ScriptResult StationScript::fail(const std::string& expected, const std::string& actual) {
  out_ << "line " << lineNumber_ << ": expected " << expected << ", got " << actual << "\n";
  return kScriptExpectFailed;
}

ScriptResult StationScript::malformed(const std::string& why) {
  out_ << "line " << lineNumber_ << ": " << why << "\n";
  return kScriptMalformed;
}

ScriptResult StationScript::run(std::istream& script) {
  std::string line;
  while (std::getline(script, line)) lines_.push_back(line);
  continueScript();
  return result_;
}

void StationScript::continueScript() {
  const std::size_t depth = window_.openBoxes();
  while (!finished_ && next_ < lines_.size()) {
    const std::size_t index = next_++;
    const ScriptResult result = runLineGuarded(lines_[index], static_cast<int>(index) + 1);
    if (result != kScriptPassed) {
      result_ = result;
      finished_ = true;
      window_.dismissAll();
      return;
    }
    if (window_.openBoxes() < depth) return;  // the box this run goes on inside of was dismissed
  }
  if (finished_) return;
  finished_ = true;
  if (window_.openBoxes() > 0) {
    lineNumber_ = static_cast<int>(lines_.size());
    result_ = fail("every message box dismissed at the end", std::to_string(window_.openBoxes()) + " still open");
    window_.dismissAll();
  }
}

// The library calls a line leads to answer with bool, but what the standard library
// may still throw (an allocation, a name the system refuses) is this line's fault
// all the same: it is reported with the line, never as a crash of the runner.
ScriptResult StationScript::runLineGuarded(const std::string& line, int lineNumber) {
  try {
    return runLine(line, lineNumber);
  } catch (const std::exception& e) {
    lineNumber_ = lineNumber;
    return malformed(std::string("cannot run this line: ") + e.what());
  }
}

ScriptResult StationScript::runLine(const std::string& rawLine, int lineNumber) {
  lineNumber_ = lineNumber;
  std::string line = rawLine;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos || line[first] == '#') return kScriptPassed;
  const Words w = split(line);
  const std::string& verb = w.words[0];
  if (verb == "interface") return interfaceCommand(w);
  if (verb == "sensor") return sensorCommand(w);
  if (verb == "wireless") return wirelessCommand(w);
  if (verb == "reference") return referenceCommand(w);
  if (verb == "row") return rowCommand(w);
  if (verb == "fail" || verb == "short" || verb == "corrupt") return faultCommand(w);
  if (verb == "tick" || verb == "click" || verb == "type" || verb == "dismiss" || verb == "answer" ||
      verb == "close") {
    return operatorCommand(w);
  }
  if (verb == "expect") return expectCommand(w);
  if (verb == "save") return saveCommand(w);
  if (verb == "restore") return restoreCommand(w);
  if (verb == "export" || verb == "certificate" || verb == "dcc") return documentCommand(w);
  if (verb == "sign") return signCommand(w);
  if (verb == "amend") return amendCommand(w);
  if (verb == "verify") return verifyCommand(w);
  if (verb == "unit" || verb == "customer" || verb == "customer-address" || verb == "customer-email" ||
      verb == "procedure" || verb == "ambient" || verb == "standard" || verb == "tolerance" ||
      verb == "rule" || verb == "lab" || verb == "check" || verb == "units" || verb == "interval") {
    return labCommand(w);
  }
  return malformed("unknown command '" + verb + "'");
}

ScriptResult StationScript::interfaceCommand(const Words& w) {
  if (w.words.size() >= 2 && w.words[1] == "unplug" && w.words.size() == 2) {
    station_.unplugInterface();
    return kScriptPassed;
  }
  if (w.words.size() < 2 || w.words[1] != "plug" || w.words.size() > 4) return malformed("interface plug|unplug");
  long product = 0x0002;
  int major = 1, minor = 8;
  if (w.words.size() >= 3 && (!parseNumber(w.words[2], product) || product < 0 || product > 0xFFFF)) {
    return malformed("bad product " + w.words[2]);
  }
  // "mute": firmware that never answers the version request.
  const bool mute = w.words.size() == 4 && w.words[3] == "mute";
  if (w.words.size() == 4 && !mute && !parseVersion(w.words[3], major, minor)) {
    return malformed("bad version " + w.words[3]);
  }
  station_.plugInterface(static_cast<std::uint16_t>(product), major, minor).answersVersion = !mute;
  return kScriptPassed;
}

std::string StationScript::expandText(const std::string& text) const {
  const std::string port = station_.wireless() != nullptr ? station_.wireless()->portPath() : "(no wireless port)";
  std::string out = text;
  const auto replaceAll = [&out](const std::string& mark, const std::string& by) {
    for (std::size_t at = out.find(mark); at != std::string::npos; at = out.find(mark, at + by.size())) {
      out.replace(at, mark.size(), by);
    }
  };
  replaceAll("{wireless}", port);
  replaceAll("{reference-port}", station_.referenceInstrument().portPath());
  replaceAll("{reference-address}", station_.referenceInstrument().address());
  // Dates the station works out from today's, which a script cannot know.
  replaceAll("{today}", todayUtc());
  replaceAll("{today+20}", addDays(todayUtc(), 20));
  // The user the script runs as, who signs.
  replaceAll("{login}", currentPerson().login);
  replaceAll("\\n", "\n");
  return out;
}

// The bench's wireless interface on a pseudo-terminal, and the operator's choice of
// its port in the station's chooser.
ScriptResult StationScript::wirelessCommand(const Words& w) {
  const std::string what = w.words.size() >= 2 ? w.words[1] : std::string();
  if (what == "on" && w.words.size() <= 3) {
    long version = SerialBridge::kBlockInterfaceVersion;
    if (w.words.size() == 3 && (!parseNumber(w.words[2], version) || version < 0 || version > 0xFF)) {
      return malformed("wireless on [VERSION]");
    }
    if (!station_.switchWirelessOn(static_cast<std::uint8_t>(version))) return malformed("no pseudo-terminal to be had");
    return kScriptPassed;
  }
  if (what == "off" && w.words.size() == 2) {
    station_.switchWirelessOff();
    return kScriptPassed;
  }
  if (what == "silent" && w.words.size() == 3 && (w.words[2] == "yes" || w.words[2] == "no")) {
    if (station_.wireless() == nullptr) return malformed("the wireless interface is off");
    station_.wireless()->setSilent(w.words[2] == "yes");
    return kScriptPassed;
  }
  if (what == "choose") {
    const std::string port = expandText(w.words.size() > 2 ? w.rests[2] : "{wireless}");
    if (!window_.type(ids::kWirelessPort, port) || !window_.click(ids::kWirelessPort)) {
      return fail("the wireless port chooser to take a choice", window_.openBoxes() > 0 ? "a message box in front" : "hidden or disabled");
    }
    return kScriptPassed;
  }
  return malformed("wireless on [VERSION]|off|silent yes|no|choose [PORT|none]");
}

ScriptResult StationScript::sensorCommand(const Words& w) {
  if (w.words.size() < 2) return malformed("sensor plug|unplug|input|noise");
  const std::string& what = w.words[1];
  if (what == "unplug" && w.words.size() == 2) {
    station_.unplugSensor();
    return kScriptPassed;
  }
  if (what == "plug" && w.words.size() >= 3) {
    const std::string file = resolve(w.rests[2]);
    if (!station_.plugSensor(file)) return malformed("cannot read " + file);
    return kScriptPassed;
  }
  bool plugged = false;
  const auto onSensor = [&](const std::function<void(SimulatedSensor&)>& change) {
    station_.withSensor([&](SimulatedSensor* sensor) {
      plugged = sensor != nullptr;
      if (sensor != nullptr) change(*sensor);
    });
    return plugged ? kScriptPassed : malformed("no sensor plugged");
  };
  if (what == "input" && w.words.size() == 4) {
    long id = 0;
    double value = 0;
    if (!parseNumber(w.words[2], id) || !parseDouble(w.words[3], value)) return malformed("sensor input ID VALUE");
    return onSensor([&](SimulatedSensor& sensor) { sensor.setInput(static_cast<int>(id), value); });
  }
  if (what == "noise" && w.words.size() == 3) {
    double sigma = 0;
    if (!parseDouble(w.words[2], sigma) || sigma < 0) return malformed("sensor noise SIGMA");
    return onSensor([&](SimulatedSensor& sensor) { sensor.setNoise(sigma); });
  }
  return malformed("sensor plug FILE|unplug|input ID VALUE|noise SIGMA");
}

ScriptResult StationScript::faultCommand(const Words& w) {
  if (w.words.size() < 2 || w.words.size() > 4) return malformed(w.words[0] + " CODE [N [AFTER]]");
  const int key = faultKey(w.words[1]);
  long n = 1;
  long after = 0;
  const bool numbersOk = (w.words.size() < 3 || (parseNumber(w.words[2], n) && n >= 0)) &&
                         (w.words.size() < 4 || (parseNumber(w.words[3], after) && after >= 0));
  if (key < 0 || !numbersOk) return malformed("bad fault " + w.rests[1]);
  SimulatedInterface* interface = station_.interface();
  if (interface == nullptr) return malformed("no interface plugged");
  const int count = static_cast<int>(n);
  const int skip = static_cast<int>(after);
  if (w.words[0] == "fail") interface->failNext(key, count, skip);
  if (w.words[0] == "short") interface->shortNext(key, count, skip);
  if (w.words[0] == "corrupt") interface->corruptNext(key, count, skip);
  return kScriptPassed;
}

ScriptResult StationScript::operatorCommand(const Words& w) {
  if (w.words[0] == "tick") {
    long n = 1;
    if (w.words.size() > 2 || (w.words.size() == 2 && (!parseNumber(w.words[1], n) || n < 0))) {
      return malformed("tick [N]");
    }
    window_.tick(static_cast<int>(n));
    return kScriptPassed;
  }
  if (w.words[0] == "dismiss") {
    if (w.words.size() != 1) return malformed("dismiss");
    return window_.dismiss() ? kScriptPassed : fail("a message box to dismiss", "none open");
  }
  if (w.words[0] == "answer") {
    if (w.words.size() != 2 || (w.words[1] != "yes" && w.words[1] != "no")) return malformed("answer yes|no");
    return window_.answer(w.words[1] == "yes") ? kScriptPassed : fail("a question to answer", "none open");
  }
  if (w.words[0] == "close") {
    if (w.words.size() != 1) return malformed("close");
    closed_ = window_.close();
    return kScriptPassed;
  }
  long id = 0;
  if (w.words.size() < 2 || !parseNumber(w.words[1], id) || !controls_.exists(static_cast<int>(id))) {
    return malformed("no control " + (w.words.size() > 1 ? w.words[1] : std::string()));
  }
  if (w.words[0] == "click") {
    if (w.words.size() != 2) return malformed("click ID");
    if (!window_.click(static_cast<int>(id))) {
      return fail("control " + w.words[1] + " to be clickable", window_.openBoxes() > 0 ? "a message box in front" : "hidden or disabled");
    }
    return kScriptPassed;
  }
  const std::string text = w.words.size() > 2 ? w.rests[2] : std::string();
  if (!window_.type(static_cast<int>(id), text)) {
    return fail("control " + w.words[1] + " to take typing", "hidden, disabled or read-only");
  }
  return kScriptPassed;
}

ScriptResult StationScript::expectCommand(const Words& w) {
  if (w.words.size() < 2) return malformed("expect what?");
  const std::string& what = w.words[1];
  const std::string rest = w.words.size() > 2 ? w.rests[2] : std::string();
  auto yesNo = [&](bool actual) -> ScriptResult {
    if (w.words.size() != 4 || (w.words[3] != "yes" && w.words[3] != "no")) return malformed("expect " + what + " ID yes|no");
    const bool wanted = w.words[3] == "yes";
    return actual == wanted ? kScriptPassed : fail(w.words[3], actual ? "yes" : "no");
  };
  long id = 0;
  const bool hasId = w.words.size() > 2 && parseNumber(w.words[2], id) && controls_.exists(static_cast<int>(id));
  if (what == "status") {
    const std::string actual = controls_.text(ids::kStatus);
    return actual == rest ? kScriptPassed : fail("\"" + rest + "\"", "\"" + actual + "\"");
  }
  if (what == "text" || what == "shown" || what == "enabled" || what == "checked") {
    if (!hasId) return malformed("expect " + what + " needs a control ID");
    const int c = static_cast<int>(id);
    if (what == "shown") return yesNo(controls_.isShown(c));
    if (what == "enabled") return yesNo(controls_.isEnabled(c));
    if (what == "checked") return yesNo(controls_.isChecked(c));
    const std::string wanted = expandText(w.words.size() > 3 ? w.rests[3] : std::string());
    const std::string actual = controls_.text(c);
    return actual == wanted ? kScriptPassed : fail("\"" + wanted + "\"", "\"" + actual + "\"");
  }
  if (what == "tip") {
    if (!hasId) return malformed("expect tip needs a control ID");
    const std::string wanted = expandText(w.words.size() > 3 ? w.rests[3] : std::string());
    const std::string actual = window_.toolTip(static_cast<int>(id));
    return actual == wanted ? kScriptPassed : fail("\"" + wanted + "\"", "\"" + actual + "\"");
  }
  if (what == "closed") {
    if (w.words.size() != 3 || (w.words[2] != "yes" && w.words[2] != "no")) return malformed("expect closed yes|no");
    return closed_ == (w.words[2] == "yes") ? kScriptPassed : fail(w.words[2], closed_ ? "yes" : "no");
  }
  if (what == "message" || what == "no-message") return expectMessage(w);
  if (what == "statuses") return expectStatuses(rest);
  if (what == "record") return expectRecord(w);
  if (what == "certificate") return expectCertificate(w);
  if (what == "signatures") return expectSignatures(w);
  if (what == "audit") return expectAudit(w);
  return expectSensor(what, rest);
}

// Messages are checked in the order they were shown.
ScriptResult StationScript::expectMessage(const Words& w) {
  const std::vector<std::string>& shown = window_.messages;
  if (w.words[1] == "no-message") {
    if (messagesExpected_ < shown.size()) return fail("no message", "\"" + shown[messagesExpected_] + "\"");
    return kScriptPassed;
  }
  const std::string wanted = expandText(w.words.size() > 2 ? w.rests[2] : std::string());
  if (messagesExpected_ >= shown.size()) return fail("message \"" + wanted + "\"", "no message");
  const std::string& actual = shown[messagesExpected_++];
  return actual == wanted ? kScriptPassed : fail("\"" + wanted + "\"", "\"" + actual + "\"");
}

// The status lines shown since the last check, in order: "A | B | C".
ScriptResult StationScript::expectStatuses(const std::string& list) {
  // "(none)": no status was shown since the last look.
  std::vector<std::string> wanted;
  for (std::size_t at = 0; list != "(none)" && at <= list.size();) {
    std::size_t bar = list.find(" | ", at);
    if (bar == std::string::npos) bar = list.size();
    wanted.push_back(list.substr(at, bar - at));
    at = bar + 3;
  }
  const std::vector<std::string> seen(window_.statuses.begin() + static_cast<std::ptrdiff_t>(statusesExpected_),
                                      window_.statuses.end());
  statusesExpected_ = window_.statuses.size();
  auto joined = [](const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : " | ") + t;
    return out.empty() ? std::string("(none)") : out;
  };
  return seen == wanted ? kScriptPassed : fail(joined(wanted), joined(seen));
}

ScriptResult StationScript::expectSensor(const std::string& what, const std::string& rest) {
  // Copies, taken while the wireless interface's thread keeps off the sensor.
  bool plugged = false;
  std::vector<std::uint8_t> stored, block;
  station_.withSensor([&](SimulatedSensor* s) {
    plugged = s != nullptr;
    if (s == nullptr) return;
    stored = s->storedImage();
    block = s->calibration();
  });
  if (what == "eeprom") {
    std::vector<std::uint8_t> wanted;
    if (!readFileBytes(resolve(rest), wanted)) return malformed("cannot read " + rest);
    if (!plugged) return fail("a sensor", "none");
    return stored == wanted ? kScriptPassed
                            : fail("eeprom " + hexText(wanted.data(), wanted.size()), hexText(stored.data(), stored.size()));
  }
  if (what == "calibration") {
    if (!plugged) return fail("a sensor", "none");
    std::string wanted = rest;
    for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string actual = hexText(block.data(), std::min(block.size(), wanted.size() / 2));
    return actual == wanted && wanted.size() % 2 == 0 ? kScriptPassed : fail(wanted, actual);
  }
  if (what == "firmware") {
    int major = 0, minor = 0;
    if (!parseVersion(rest, major, minor)) return malformed("expect firmware MAJOR.MINOR");
    SimulatedInterface* interface = station_.interface();
    if (interface == nullptr) return fail(rest, "no interface");
    const std::string actual = std::to_string(interface->firmwareMajor) + "." + std::to_string(interface->firmwareMinor);
    return major == interface->firmwareMajor && minor == interface->firmwareMinor ? kScriptPassed : fail(rest, actual);
  }
  return malformed("unknown expectation '" + what + "'");
}

// "last" or a record number: the number the store shows, turned into the identity
// that restores and certificates go by.
bool StationScript::recordUuid(const std::string& word, std::string& uuid) {
  if (word == "last") {
    uuid = station_.dialog().recordKeeping().lastRecord();
    return !uuid.empty();
  }
  long number = 0;
  RecordStore* store = station_.dialog().recordKeeping().store();
  std::vector<RecordSummary> all;
  if (!parseNumber(word, number) || number <= 0 || store == nullptr) return false;
  store->list(0, all);
  for (const RecordSummary& s : all) {
    if (s.id == number && !s.waiting) uuid = s.uuid;
  }
  return !uuid.empty();
}

// expect record count N | expect record last|ID result TEXT|kind KIND|
//        as-found|as-left eeprom FILE|as-found|as-left calibration HEX
ScriptResult StationScript::expectRecord(const Words& w) {
  RecordStore* store = station_.dialog().recordKeeping().store();
  if (store == nullptr) return malformed("no record store");
  if (w.words.size() == 4 && w.words[2] == "count") {
    std::vector<RecordSummary> all;
    if (!store->list(0, all)) return fail("records", store->problem());
    return w.words[3] == std::to_string(all.size()) ? kScriptPassed : fail(w.words[3], std::to_string(all.size()));
  }
  std::string id;
  if (w.words.size() < 5 || !recordUuid(w.words[2], id)) return malformed("expect record last|ID WHAT ...");
  CalibrationRecord record;
  if (!store->load(id, record)) return fail("record " + w.words[2], store->problem());
  const std::string& what = w.words[3];
  const bool pointResult = w.words.size() >= 7 && (w.words[5] == "as-found" || w.words[5] == "as-left");
  if (what == "result" && pointResult) return expectResult(w, record);
  if (what == "result") return record.result == w.rests[4] ? kScriptPassed : fail("\"" + w.rests[4] + "\"", "\"" + record.result + "\"");
  if (what == "interface") {
    const std::string actual = record.interfaceKind + " " + std::to_string(record.interfaceProduct) + " " +
                               record.firmwareVersion;
    return actual == w.rests[4] ? kScriptPassed : fail("\"" + w.rests[4] + "\"", "\"" + actual + "\"");
  }
  if (what == "kind") {
    const std::string kind = kindName(record.kind);
    return kind == w.words[4] ? kScriptPassed : fail(w.words[4], kind);
  }
  if ((what == "as-found" || what == "as-left") && w.words.size() >= 6) {
    const bool found = what == "as-found";
    const std::vector<std::uint8_t>& image = found ? record.asFoundImage : record.asLeftImage;
    const std::vector<std::uint8_t>& block = found ? record.asFoundCalibration : record.asLeftCalibration;
    if (w.words[4] == "eeprom") {
      std::vector<std::uint8_t> wanted;
      if (!readFileBytes(resolve(w.rests[5]), wanted)) return malformed("cannot read " + w.rests[5]);
      return image == wanted ? kScriptPassed : fail(hexText(wanted.data(), wanted.size()), hexText(image.data(), image.size()));
    }
    if (w.words[4] == "calibration") {
      std::string wanted = w.words[5];
      for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::string actual = hexText(block.data(), block.size());
      return actual == wanted ? kScriptPassed : fail(wanted, actual);
    }
  }
  if (what == "unit" || what == "customer" || what == "verdict" || what == "standard" || what == "ambient" ||
      what == "rule" || what == "results" || what == "confirmation" || what == "customer-address" ||
      what == "customer-email" || what == "place" || what == "procedure" || what == "reference-readings") {
    return expectLabRecord(w, record);
  }
  return malformed("expect record last|ID result TEXT|kind KIND|as-found|as-left eeprom FILE|calibration HEX|"
                   "reference-readings ROW COUNT|...");
}

std::string StationScript::savedPath(const std::string& file) const {
  const std::filesystem::path path = file;
  return path.is_absolute() || scratchFolder_.empty() ? file : (std::filesystem::path(scratchFolder_) / path).string();
}

// restore last|ID as-found|as-left
ScriptResult StationScript::restoreCommand(const Words& w) {
  std::string id;
  if (w.words.size() != 3 || (w.words[2] != "as-found" && w.words[2] != "as-left") || !recordUuid(w.words[1], id)) {
    return malformed("restore last|ID as-found|as-left");
  }
  station_.dialog().restoreRecord(id, w.words[2] == "as-found");
  return kScriptPassed;
}

ScriptResult StationScript::saveCommand(const Words& w) {
  if (w.words.size() < 3 || w.words[1] != "eeprom") return malformed("save eeprom FILE");
  bool plugged = false;
  std::vector<std::uint8_t> image;
  station_.withSensor([&](SimulatedSensor* sensor) {
    plugged = sensor != nullptr;
    if (sensor != nullptr) image = sensor->storedImage();
  });
  if (!plugged) return malformed("no sensor plugged");
  std::ofstream out(savedPath(w.rests[2]), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return out.flush() ? kScriptPassed : malformed("cannot write " + w.rests[2]);
}

}  // namespace trimwell::sim
