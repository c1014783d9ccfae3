// The bench's reference instrument in a script: switched on and off, made to
// misbehave, chosen as the station's reference, and the true value it reads.
#include <chrono>

#include "calibration/typed_value.h"
#include "sim/station/station_script.h"

namespace trimwell::sim {
namespace {

// The bench answers at once: short waits keep a script's faults quick, and the
// poller reads often enough to fill its window within a fraction of a second.
constexpr int kBenchTimeoutMs = 150;
constexpr int kBenchPeriodMs = 10;
constexpr int kBenchRetryMs = 50;

}  // namespace

ScriptResult StationScript::awaitReference(const std::function<bool(const ReferenceSnapshot&)>& until) {
  ReferencePoller& poller = station_.dialog().reference().poller();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (poller.running() && !until(poller.snapshot())) {
    if (std::chrono::steady_clock::now() > end || !poller.awaitPolls(1, std::chrono::seconds(10))) {
      return fail("the reference instrument's poller to see the change", "not within 10 s");
    }
  }
  station_.dialog().refreshReference();
  return kScriptPassed;
}

ScriptResult StationScript::referenceCommand(const Words& w) {
  ReferenceInstrument& meter = station_.referenceInstrument();
  const std::string what = w.words.size() >= 2 ? w.words[1] : "";
  using Mode = ReferenceInstrument::Mode;
  // A fault shows once the poller has met it; a change of value once a whole
  // window of readings was taken after it.
  const auto settled = [&meter, from = meter.readings()](const ReferenceSnapshot& s) {
    return s.fault == ReadingFault::None && s.recent.size() == ReferencePoller::kWindow &&
           meter.readings() >= from + ReferencePoller::kWindow + 1;
  };
  const auto faulted = [](ReadingFault fault) {
    return [fault](const ReferenceSnapshot& s) { return s.fault == fault; };
  };
  if (w.words.size() == 2 && what == "on") {
    if (!meter.switchOn()) return fail("the reference instrument on", "no pseudo-terminal or port for it");
    return awaitReference(settled);
  }
  if (w.words.size() == 2 && what == "off") {
    meter.switchOff();
    // Until the station has tried to open it again, and could not: what it says
    // then stays until the instrument is back.
    return awaitReference([](const ReferenceSnapshot& s) {
      return !s.connected && (s.problem.rfind("Cannot open", 0) == 0 || s.problem.rfind("cannot reach", 0) == 0);
    });
  }
  struct Misbehaviour {
    const char* name;
    Mode mode;
    ReadingFault fault;
  };
  const Misbehaviour modes[] = {{"normal", Mode::Normal, ReadingFault::None},
                                {"silent", Mode::Silent, ReadingFault::Silent},
                                {"slow", Mode::Slow, ReadingFault::Silent},
                                {"garble", Mode::Garble, ReadingFault::NotANumber},
                                {"error", Mode::Error, ReadingFault::InstrumentError},
                                {"nan", Mode::NotANumber, ReadingFault::NotFinite}};
  for (const Misbehaviour& m : modes) {
    if (w.words.size() != 2 || what != m.name) continue;
    meter.setMode(m.mode);
    if (m.mode == Mode::Normal) return awaitReference(settled);
    return awaitReference(faulted(m.fault));
  }
  double value = 0.0;
  if (w.words.size() == 3 && (what == "value" || what == "noise" || what == "scale") && parseTypedNumber(w.words[2], false, value)) {
    if (what == "value") meter.setTrueValue(value);
    if (what == "noise") meter.setNoise(value);
    if (what == "scale") meter.setScale(value);
    // An instrument that is off or misbehaving gives no window to wait for: the
    // poller has looked at it twice.
    if (!meter.on() || meter.mode() != Mode::Normal) {
      const unsigned long from = station_.dialog().reference().poller().snapshot().polls;
      return awaitReference([from](const ReferenceSnapshot& s) { return s.polls >= from + 2; });
    }
    return awaitReference(settled);
  }
  if (w.words.size() >= 3 && what == "choose") {
    ReferenceSettings settings = station_.dialog().reference().settings();
    settings.line.location = w.rests[2] == "none" ? std::string() : expandText(w.rests[2]);
    settings.timeoutMs = kBenchTimeoutMs;
    settings.periodMs = kBenchPeriodMs;
    settings.retryMs = kBenchRetryMs;
    std::string problem;
    if (!station_.dialog().chooseReference(settings, problem)) controls_.messageBox(problem);
    // Found, a whole window of readings in; or not found, tried once.
    return awaitReference([](const ReferenceSnapshot& s) {
      return (s.connected && s.recent.size() == ReferencePoller::kWindow) || (!s.connected && s.polls > 0);
    });
  }
  return malformed(
      "reference on|off|normal|silent|slow|garble|error|nan|value V|noise N|scale S|choose PORT|HOST:PORT|none");
}

}  // namespace trimwell::sim
