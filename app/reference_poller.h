#pragma once
// The reference instrument's readings, taken on a thread of their own: it opens
// the instrument's line, asks who it is, then polls it for a reading every period,
// and when the line goes or cannot be had, tries it again every retry period. The
// window's thread never waits on the instrument: it takes a snapshot of what the
// thread found last.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "link/scpi_client.h"
#include "platform/instrument_line.h"

namespace trimwell {

struct ReferenceSettings {
  InstrumentLineSettings line;  // no location: no instrument
  std::string query = "READ?";
  std::string unit;    // the reading's unit, as the row's standard states it
  double scale = 1.0;  // the instrument's reading times this is the reference value
  int timeoutMs = 1000;
  int periodMs = 500;
  int retryMs = 1000;  // how soon a line that went or could not be had is tried again
  bool chosen() const { return !line.location.empty(); }
  bool operator==(const ReferenceSettings&) const = default;
};

struct ReferenceReading {
  double value = 0.0;
  std::string utcTime;  // ISO 8601 to the millisecond
};

struct ReferenceSnapshot {
  bool connected = false;  // the line is open and the instrument said who it is
  InstrumentIdentity identity;
  // The last readings since the last fault, oldest first, at most kWindow.
  std::deque<ReferenceReading> recent;
  // The last poll's fault (None: it read), and its words.
  ReadingFault fault = ReadingFault::None;
  std::string problem;
  unsigned long polls = 0;  // polls done, read or failed
  // The line is not tried again until the port is chosen anew (a pseudo-terminal
  // that closed).
  bool givenUp = false;
};

class ReferencePoller {
 public:
  static constexpr std::size_t kWindow = 10;

  ReferencePoller() = default;
  ~ReferencePoller() { stop(); }
  ReferencePoller(const ReferencePoller&) = delete;
  ReferencePoller& operator=(const ReferencePoller&) = delete;

  // Starts polling the instrument the settings name (stopping any before).
  void start(const ReferenceSettings& settings);
  void stop();
  bool running() const { return thread_.joinable(); }
  ReferenceSnapshot snapshot() const;
  // Waits until `count` more polls have been done, or the time is up; false then.
  // For a script or test that changed the bench and wants the reading of it.
  bool awaitPolls(unsigned long count, std::chrono::milliseconds within);

 private:
  void run(const std::stop_token& stop, ReferenceSettings settings);
  void publish(ReadingFault fault, const std::string& problem, const ReferenceReading* reading);
  // Waits ms, or less when stopped.
  void rest(const std::stop_token& stop, int ms);

  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  ReferenceSnapshot state_;
  std::jthread thread_;
};

// Now, UTC, ISO 8601 to the millisecond with its Z.
std::string utcNowMilliseconds();

}  // namespace trimwell
