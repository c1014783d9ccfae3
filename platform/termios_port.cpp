#include "platform/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trimwell {

std::string systemErrorText(int error) { return std::strerror(error); }

std::string devicePathForPort(const std::string& name) {
  const std::string prefix = "\\\\.\\";
  if (name.compare(0, prefix.size(), prefix) != 0) return name;
  const std::string rest = name.substr(prefix.size());
  return !rest.empty() && rest[0] == '/' ? rest : "/dev/" + rest;
}

int Deadline::remainingMs() const {
  const auto left = end_ - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

bool TermiosPort::fail() {
  error_ = errno;
  return false;
}

// The line's speed, character size, parity and stop bits are kept as the system has
// them; the line is made raw, as binary frames need (no echo, no line editing, no
// character translation), which a fresh pseudo-terminal does not have either.
bool TermiosPort::open(const std::string& name) {
  close();
  fd_ = ::open(devicePathForPort(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return fail();
  // The line is this station's alone: a second program on it would take the
  // interface's answers. The lock keeps out every other opener (root included, whom
  // TIOCEXCL lets through); TIOCEXCL also keeps out programs that do not lock.
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno == EWOULDBLOCK ? EBUSY : errno;
    close();
    return false;
  }
  if (isatty(fd_)) ioctl(fd_, TIOCEXCL);
  termios line{};
  if (tcgetattr(fd_, &line) == 0) {
    line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag |= CREAD | CLOCAL;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &line) != 0) {
      fail();
      close();
      return false;
    }
  }
  return true;
}

void TermiosPort::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TermiosPort::setTimeouts(const SerialTimeouts& timeouts) {
  if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  timeouts_ = timeouts;
  return true;
}

bool TermiosPort::read(std::uint8_t* buffer, std::size_t count, std::size_t& got) {
  got = 0;
  if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  const bool noWait = timeouts_.readInterval == SerialTimeouts::kNoWait;
  const auto budget = noWait ? 0 : static_cast<long long>(timeouts_.readTotalMultiplier) * static_cast<long long>(count) +
                                       timeouts_.readTotalConstant;
  const Deadline deadline{std::chrono::milliseconds(budget)};
  const bool gapLimited = !noWait && timeouts_.readInterval != 0;
  Deadline gap{std::chrono::milliseconds(gapLimited ? timeouts_.readInterval : budget)};
  while (got < count) {
    const ssize_t n = ::read(fd_, buffer + got, count - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      if (gapLimited) gap = Deadline{std::chrono::milliseconds(timeouts_.readInterval)};
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return fail();
    if (noWait || deadline.expired() || gap.expired()) break;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, std::min(deadline.remainingMs(), gap.remainingMs()));
    if (ready < 0 && errno != EINTR) return fail();
    if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0) {
      error_ = EIO;
      return false;
    }
    if (ready > 0 && (p.revents & POLLHUP) != 0 && (p.revents & POLLIN) == 0) break;  // the other end is gone
  }
  return true;
}

bool TermiosPort::write(const std::uint8_t* buffer, std::size_t count, std::size_t& sent) {
  sent = 0;
  if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  const auto budget = static_cast<long long>(timeouts_.writeTotalMultiplier) * static_cast<long long>(count) +
                      timeouts_.writeTotalConstant;
  const Deadline deadline{std::chrono::milliseconds(budget)};
  while (sent < count) {
    const ssize_t n = ::write(fd_, buffer + sent, count - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return fail();
    if (deadline.expired()) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, deadline.remainingMs()) < 0 && errno != EINTR) return fail();
  }
  return true;
}

bool TermiosPort::purgeReceive() {
  if (fd_ < 0 || tcflush(fd_, TCIFLUSH) != 0) return fail();
  return true;
}

}  // namespace trimwell
