#pragma once
// A serial port that records every call the bridge makes (timeouts, writes, reads,
// purges) and answers each write with what a responder gives; bytes can also be
// left waiting before an exchange, as a late answer would be.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace trimwell::test {

class RecordingPort final : public SerialPort {
 public:
  using Bytes = std::vector<std::uint8_t>;

  struct Event {
    enum Kind { kTimeouts, kWrite, kRead, kPurge } kind;
    SerialTimeouts timeouts;  // kTimeouts: as set
    Bytes bytes;              // kWrite: what was written; kRead: what was read
    std::size_t asked = 0;    // kRead: how many bytes were asked for
  };

  bool open(const std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool setTimeouts(const SerialTimeouts& timeouts) override {
    events.push_back({Event::kTimeouts, timeouts, {}, 0});
    return true;
  }
  bool read(std::uint8_t* buffer, std::size_t count, std::size_t& got) override {
    got = 0;
    while (got < count && !waiting.empty()) {
      buffer[got++] = waiting.front();
      waiting.pop_front();
    }
    events.push_back({Event::kRead, {}, Bytes(buffer, buffer + got), count});
    return true;
  }
  bool write(const std::uint8_t* buffer, std::size_t count, std::size_t& sent) override {
    sent = shortWrites ? count / 2 : count;
    const Bytes written(buffer, buffer + sent);
    events.push_back({Event::kWrite, {}, written, 0});
    if (respond) {
      for (std::uint8_t b : respond(written)) waiting.push_back(b);
    }
    return true;
  }
  bool purgeReceive() override {
    events.push_back({Event::kPurge, {}, {}, 0});
    waiting.clear();
    return true;
  }
  int lastError() const override { return 0; }
  std::intptr_t handle() const override { return open_ ? 7 : -1; }

  // The writes, in order.
  std::vector<Bytes> writes() const {
    std::vector<Bytes> out;
    for (const Event& e : events) {
      if (e.kind == Event::kWrite) out.push_back(e.bytes);
    }
    return out;
  }
  // The timeouts in effect at each read: (bytes asked, total read time).
  std::vector<std::pair<std::size_t, std::uint32_t>> readTimeouts() const {
    return timeoutsAt(Event::kRead, &SerialTimeouts::readTotalConstant);
  }
  // The read interval in effect at each read.
  std::vector<std::uint32_t> readIntervals() const {
    std::vector<std::uint32_t> out;
    for (const auto& [asked, interval] : timeoutsAt(Event::kRead, &SerialTimeouts::readInterval)) out.push_back(interval);
    return out;
  }
  // The write time allowed at each write: (bytes written, total write time).
  std::vector<std::pair<std::size_t, std::uint32_t>> writeTimeouts() const {
    return timeoutsAt(Event::kWrite, &SerialTimeouts::writeTotalConstant);
  }

  std::vector<Event> events;
  std::deque<std::uint8_t> waiting;
  std::function<Bytes(const Bytes&)> respond;
  bool shortWrites = false;

 private:
  std::vector<std::pair<std::size_t, std::uint32_t>> timeoutsAt(Event::Kind kind,
                                                                 std::uint32_t SerialTimeouts::*total) const {
    std::vector<std::pair<std::size_t, std::uint32_t>> out;
    SerialTimeouts current;
    for (const Event& e : events) {
      if (e.kind == Event::kTimeouts) current = e.timeouts;
      if (e.kind == kind) out.emplace_back(kind == Event::kRead ? e.asked : e.bytes.size(), current.*total);
    }
    return out;
  }

  bool open_ = false;
};

}  // namespace trimwell::test
