#include "app/reference_poller.h"

#include <ctime>

#include "app/wireless_port.h"
#include "platform/format_text.h"

namespace trimwell {

std::string utcNowMilliseconds() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return formatText("%s.%03dZ", text, static_cast<int>(ms));
}

void ReferencePoller::start(const ReferenceSettings& settings) {
  stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = {};
  }
  if (!settings.chosen()) return;
  thread_ = std::jthread([this, settings](const std::stop_token& token) { run(token, settings); });
}

void ReferencePoller::stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  changed_.notify_all();
  thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  state_.connected = false;
}

ReferenceSnapshot ReferencePoller::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

bool ReferencePoller::awaitPolls(unsigned long count, std::chrono::milliseconds within) {
  std::unique_lock<std::mutex> lock(mutex_);
  const unsigned long until = state_.polls + count;
  return changed_.wait_for(lock, within, [&] { return state_.polls >= until || !thread_.joinable(); }) &&
         state_.polls >= until;
}

void ReferencePoller::publish(ReadingFault fault, const std::string& problem, const ReferenceReading* reading) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.fault = fault;
    state_.problem = problem;
    // A reading after a fault starts a new window: the spread is of readings in a row.
    if (fault != ReadingFault::None) state_.recent.clear();
    if (reading != nullptr) {
      state_.recent.push_back(*reading);
      if (state_.recent.size() > kWindow) state_.recent.pop_front();
    }
    ++state_.polls;
  }
  changed_.notify_all();
}

void ReferencePoller::rest(const std::stop_token& stop, int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
}

void ReferencePoller::run(const std::stop_token& stop, ReferenceSettings settings) {
  InstrumentLine line;
  ScpiClient client(line, settings.timeoutMs);
  std::string host;
  int port = 0;
  const bool network = networkAddress(settings.line.location, host, port);
  // A pseudo-terminal's name goes to the next program that asks for one once it
  // has closed: queries sent there would land in that program.
  const bool pseudoTerminal = !network && isPseudoTerminal(settings.line.location);
  bool opened = false;
  while (!stop.stop_requested()) {
    if (!line.isOpen() && pseudoTerminal && opened) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.givenUp = true;
      }
      publish(ReadingFault::Gone,
              formatText("Cannot open the reference instrument's port %s again: it was a pseudo-terminal, and %s "
                         "under Settings > Reference instrument",
                         settings.line.location.c_str(), kClosedPseudoTerminalAdvice),
              nullptr);
      rest(stop, settings.retryMs);
      continue;
    }
    if (!line.isOpen()) {
      InstrumentIdentity identity;
      std::string problem;
      ReadingFault fault = ReadingFault::Gone;
      if (!line.open(settings.line, settings.timeoutMs)) {
        problem = network ? formatText("cannot reach %s: %s", settings.line.location.c_str(), line.problem().c_str())
                          : portOpenProblem(settings.line.location, line.error(), "the reference instrument's port");
      } else {
        opened = true;
        fault = client.identify(identity, problem);
        if (fault != ReadingFault::None) line.close();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.connected = fault == ReadingFault::None;
        if (state_.connected) state_.identity = identity;
      }
      if (fault != ReadingFault::None) {
        publish(fault, problem, nullptr);
        rest(stop, settings.retryMs);
        continue;
      }
    }
    double value = 0.0;
    std::string problem;
    const ReadingFault fault = client.read(settings.query, settings.scale, value, problem);
    if (fault == ReadingFault::Gone) {
      line.close();
      std::lock_guard<std::mutex> lock(mutex_);
      state_.connected = false;
    }
    const ReferenceReading reading{value, utcNowMilliseconds()};
    publish(fault, problem, fault == ReadingFault::None ? &reading : nullptr);
    rest(stop, settings.periodMs);
  }
}

}  // namespace trimwell
