#include "platform/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
  const std::string device = devicePathForPort(name);
  if (!takeLockFile(device)) return false;
  fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    fail();
    close();
    return false;
  }
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
  if (!lockFile_.empty()) ::unlink(lockFile_.c_str());
  lockFile_.clear();
}

std::string TermiosPort::lockFileName(const std::string& devicePath) {
  std::string name = devicePath.rfind("/dev/", 0) == 0 ? devicePath.substr(5) : devicePath;
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

namespace {

// The PID a lock file names: ten digits or fewer, in text (or a binary int, as
// old programs wrote it); 0 when it names none.
pid_t lockHolder(const std::string& file) {
  char text[32] = {};
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got <= 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  if (end != text && pid > 0 && pid < 0x7FFFFFFF) return static_cast<pid_t>(pid);
  int binary = 0;
  if (got == static_cast<ssize_t>(sizeof binary)) std::memcpy(&binary, text, sizeof binary);
  return binary > 0 ? binary : 0;
}

bool alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

bool TermiosPort::takeLockFile(const std::string& devicePath) {
  const std::string file = lockFolder_ + "/" + lockFileName(devicePath);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
      char text[16];
      const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
      const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
      ::close(fd);
      if (!written) {
        ::unlink(file.c_str());
        return fail();
      }
      lockFile_ = file;
      return true;
    }
    if (errno != EEXIST) {
      // No lock folder to write in (or none at all): the device's own locks still hold.
      return true;
    }
    const pid_t holder = lockHolder(file);
    if (alive(holder)) {
      error_ = EBUSY;
      return false;
    }
    ::unlink(file.c_str());  // left by a program that ended without removing it
  }
  error_ = EBUSY;
  return false;
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
