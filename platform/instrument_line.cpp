#include "platform/instrument_line.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace trimwell {
namespace {

struct BaudRate {
  int rate;
  speed_t code;
};
constexpr BaudRate kBaudRates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},    {9600, B9600},
                                   {19200, B19200}, {38400, B38400}, {57600, B57600},  {115200, B115200},
                                   {230400, B230400}};

int remainingMs(std::chrono::steady_clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::chrono::steady_clock::time_point after(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

bool networkAddress(const std::string& location, std::string& host, int& port) {
  if (location.empty() || location[0] == '/') return false;
  const auto colon = location.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == location.size()) return false;
  const std::string digits = location.substr(colon + 1);
  if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const long number = std::strtol(digits.c_str(), nullptr, 10);
  if (number < 1 || number > 65535) return false;
  host = location.substr(0, colon);
  // [::1]:5025 names an IPv6 host in brackets.
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  port = static_cast<int>(number);
  return true;
}

bool supportedBaud(int baud) {
  for (const BaudRate& b : kBaudRates) {
    if (b.rate == baud) return true;
  }
  return false;
}

bool InstrumentLine::failed(const std::string& what, int error) {
  error_ = error;
  problem_ = what;
  close();
  return false;
}

bool InstrumentLine::open(const InstrumentLineSettings& settings, int timeoutMs) {
  close();
  problem_.clear();
  error_ = 0;
  ending_ = settings.lineEnding.empty() ? "\n" : settings.lineEnding;
  std::string host;
  int port = 0;
  if (networkAddress(settings.location, host, port)) return openNetwork(host, port, timeoutMs);
  return openSerial(settings);
}

bool InstrumentLine::openSerial(const InstrumentLineSettings& settings) {
  if (!serial_.open(settings.location)) return failed(systemErrorText(serial_.lastError()), serial_.lastError());
  fd_ = static_cast<int>(serial_.handle());
  termios line{};
  if (isatty(fd_) && tcgetattr(fd_, &line) == 0) {
    speed_t speed = B9600;
    for (const BaudRate& b : kBaudRates) {
      if (b.rate == settings.baud) speed = b.code;
    }
    cfsetispeed(&line, speed);
    cfsetospeed(&line, speed);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    line.c_cflag |= settings.parity == LineParity::None ? CS8 : CS7;
    if (settings.parity != LineParity::None) line.c_cflag |= PARENB;
    if (settings.parity == LineParity::Odd) line.c_cflag |= PARODD;
    if (tcsetattr(fd_, TCSANOW, &line) != 0) return failed(systemErrorText(errno), errno);
  }
  tcflush(fd_, TCIOFLUSH);
  return true;
}

bool InstrumentLine::openNetwork(const std::string& host, int port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); code != 0) {
    return failed(std::string("the host is not known (") + gai_strerror(code) + ")", EHOSTUNREACH);
  }
  int error = ECONNREFUSED;
  const auto end = after(timeoutMs);
  for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (s < 0) continue;
    int connected = ::connect(s, a->ai_addr, a->ai_addrlen);
    if (connected != 0 && errno == EINPROGRESS) {
      pollfd p{s, POLLOUT, 0};
      socklen_t size = sizeof error;
      if (poll(&p, 1, remainingMs(end)) == 1 && getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
          error == 0) {
        connected = 0;
      } else if (error == 0) {
        error = ETIMEDOUT;
      }
    } else if (connected != 0) {
      error = errno;
    }
    if (connected != 0) {
      ::close(s);
      continue;
    }
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    socket_ = fd_ = s;
  }
  freeaddrinfo(found);
  return fd_ >= 0 || failed(systemErrorText(error), error);
}

void InstrumentLine::adopt(int socket) {
  close();
  problem_.clear();
  error_ = 0;
  socket_ = fd_ = socket;
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

void InstrumentLine::close() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  serial_.close();
  fd_ = -1;
  pending_.clear();
}

bool InstrumentLine::writeLine(const std::string& text, int timeoutMs) {
  if (fd_ < 0) return false;
  const std::string bytes = text + ending_;
  const auto end = after(timeoutMs);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = socket_ >= 0 ? ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL)
                                   : ::write(fd_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EIO) return failed("the line hung up", EIO);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return failed(systemErrorText(errno), errno);
    pollfd p{fd_, POLLOUT, 0};
    const int left = remainingMs(end);
    if (left == 0 || poll(&p, 1, left) <= 0) return false;
    if ((p.revents & (POLLERR | POLLHUP)) != 0) return failed("the line hung up", EPIPE);
  }
  return true;
}

LineRead InstrumentLine::gone(const std::string& what, int error) {
  failed(what, error);
  return LineRead::Gone;
}

LineRead InstrumentLine::readLine(std::string& line, int timeoutMs) {
  const auto end = after(timeoutMs);
  while (fd_ >= 0) {
    const auto newline = pending_.find('\n');
    if (newline != std::string::npos || pending_.size() >= kLongestLine) {
      const std::size_t length = newline != std::string::npos ? newline : kLongestLine;
      line = pending_.substr(0, length);
      pending_.erase(0, newline != std::string::npos ? length + 1 : length);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return LineRead::Line;
    }
    char buffer[512];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      pending_.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    // The far end closed its socket, or the pseudo-terminal's master went (EIO).
    if (n == 0 && socket_ >= 0) return gone("the instrument closed the connection", ECONNRESET);
    // A serial line whose device went (an adapter pulled, a pseudo-terminal's
    // master closed) answers EIO.
    if (n < 0 && errno == EIO) return gone("the line hung up", EIO);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return gone(systemErrorText(errno), errno);
    const int left = remainingMs(end);
    if (left == 0) return LineRead::Timeout;
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, left);
    if (ready == 0) return LineRead::Timeout;
    if (ready > 0 && (p.revents & POLLIN) == 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      return gone("the line hung up", EPIPE);
    }
  }
  return LineRead::Gone;
}

void InstrumentLine::dropInput() {
  pending_.clear();
  if (fd_ < 0) return;
  char buffer[512];
  while (::read(fd_, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace trimwell
