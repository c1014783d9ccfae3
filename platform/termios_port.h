#pragma once
// A serial port on POSIX termios: a real COM port (/dev/ttyUSB0, /dev/ttyS0) or a
// pseudo-terminal.

#include "platform/serial_port.h"

namespace trimwell {

class TermiosPort final : public SerialPort {
 public:
  ~TermiosPort() override { close(); }

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
  int fd_ = -1;
  int error_ = 0;
  SerialTimeouts timeouts_;
};

}  // namespace trimwell
