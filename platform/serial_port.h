#pragma once
// The serial port layer: what the wireless interface's bridge asks of a COM port.
//
// Timeouts follow the serial port convention the bridge was written for: with a read
// interval of 0, a read waits until all bytes came or the total time (multiplier x
// bytes + constant) ran out; a read interval of kNoWait returns at once with what
// is waiting. Any other read interval also ends a read when that many milliseconds
// pass without a byte, counted from the read's start and again from each byte, so
// that a line gone quiet is noticed long before a large read's total time. A write
// gives up after its total time. Errors are errno values.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace trimwell {

struct SerialTimeouts {
  static constexpr std::uint32_t kNoWait = 0xFFFFFFFF;
  std::uint32_t readInterval = 0;
  std::uint32_t readTotalMultiplier = 0;
  std::uint32_t readTotalConstant = 0;
  std::uint32_t writeTotalMultiplier = 0;
  std::uint32_t writeTotalConstant = 0;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual bool open(const std::string& name) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;
  // False on an error; a timeout is a true answer with fewer bytes.
  virtual bool read(std::uint8_t* buffer, std::size_t count, std::size_t& got) = 0;
  virtual bool write(const std::uint8_t* buffer, std::size_t count, std::size_t& sent) = 0;
  virtual bool purgeReceive() = 0;
  virtual int lastError() const = 0;
  virtual std::intptr_t handle() const = 0;
};

// The system's text for an error number.
std::string systemErrorText(int error);

// "\\.\X" names X when X is a path, /dev/X otherwise; other names are used as given.
std::string devicePathForPort(const std::string& name);

// Whether a device path names a pseudo-terminal itself (/dev/pts/N), not a link to
// one: such a name is never the same port again once it has closed.
inline bool isPseudoTerminal(const std::string& devicePath) { return devicePath.rfind("/dev/pts/", 0) == 0; }

// Time left until a point, for the bounded waits of serial transfers.
class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds budget) : end_(std::chrono::steady_clock::now() + budget) {}
  // Milliseconds left, never negative, rounded up so a wait does not end early.
  int remainingMs() const;
  bool expired() const { return remainingMs() == 0; }

 private:
  std::chrono::steady_clock::time_point end_;
};

}  // namespace trimwell
