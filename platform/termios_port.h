#pragma once
// A serial port on POSIX termios: a real COM port (/dev/ttyUSB0, /dev/ttyS0) or a
// pseudo-terminal.
//
// The port is this station's alone while open: it takes the port's lock file in
// the FHS's lock folder (LCK..ttyUSB0 holding its PID, as terminal and modem
// programs do), refusing a port whose lock file names a live process and removing
// one a dead process left; then an flock on the device (which keeps out every
// other locking opener, root included) and TIOCEXCL (which keeps out programs that
// do not lock). A program that opened the port before, with no lock at all,
// cannot be seen.

#include <string>

#include "platform/serial_port.h"

namespace trimwell {

inline constexpr const char* kSerialLockFolder = "/run/lock";

class TermiosPort final : public SerialPort {
 public:
  explicit TermiosPort(std::string lockFolder = kSerialLockFolder) : lockFolder_(std::move(lockFolder)) {}
  ~TermiosPort() override { close(); }
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  // The lock file of the device: LCK.. and its name under /dev, '/' as '_'.
  static std::string lockFileName(const std::string& devicePath);

  bool open(const std::string& name) override;
  void close() override;
  bool isOpen() const override { return fd_ >= 0; }
  bool setTimeouts(const SerialTimeouts& timeouts) override;
  bool read(std::uint8_t* buffer, std::size_t count, std::size_t& got) override;
  bool write(const std::uint8_t* buffer, std::size_t count, std::size_t& sent) override;
  bool purgeReceive() override;
  int lastError() const override { return error_; }
  std::intptr_t handle() const override { return fd_; }

 private:
  bool fail();
  // Takes the lock file; false with EBUSY when a live process holds it.
  bool takeLockFile(const std::string& devicePath);
  std::string lockFolder_;
  std::string lockFile_;  // the one this port made, removed on close
  int fd_ = -1;
  int error_ = 0;
  SerialTimeouts timeouts_;
};

}  // namespace trimwell
