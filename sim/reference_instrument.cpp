#include "sim/reference_instrument.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <deque>
#include <vector>

namespace trimwell::sim {
namespace {

using Clock = std::chrono::steady_clock;

std::string command(const std::string& line) {
  std::string c;
  for (char ch : line) {
    if (ch != '\r' && ch != ' ' && ch != '\t') c += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  return c;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool isReadingQuery(const std::string& c) {
  return c == "READ?" || c == "FETC?" || c == "FETCH?" || startsWith(c, "MEAS");
}

bool isErrorQuery(const std::string& c) { return startsWith(c, "SYST:ERR") || startsWith(c, "SYSTEM:ERROR"); }

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

ReferenceInstrument::ReferenceInstrument() {
  char folder[] = "/tmp/trimwell-reference-XXXXXX";
  if (mkdtemp(folder) != nullptr) {
    folder_ = folder;
    link_ = folder_ + "/meter";
  }
}

ReferenceInstrument::~ReferenceInstrument() {
  switchOff();
  if (!link_.empty()) ::unlink(link_.c_str());
  if (!folder_.empty()) ::rmdir(folder_.c_str());
}

std::string ReferenceInstrument::address() const { return "127.0.0.1:" + std::to_string(tcpPort_); }

bool ReferenceInstrument::switchOn() {
  if (on_) return true;
  if (link_.empty()) return false;
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  char name[128] = {};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    closeFd(master_);
    return false;
  }
  slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios line{};
  if (slaveKeeper_ >= 0 && tcgetattr(slaveKeeper_, &line) == 0) {
    cfmakeraw(&line);
    tcsetattr(slaveKeeper_, TCSANOW, &line);
  }
  ::unlink(link_.c_str());
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  at.sin_port = htons(static_cast<std::uint16_t>(tcpPort_));
  socklen_t size = sizeof at;
  if (symlink(name, link_.c_str()) != 0 || listener_ < 0 ||
      bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener_, 2) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
    closeFd(listener_);
    closeFd(slaveKeeper_);
    closeFd(master_);
    return false;
  }
  tcpPort_ = ntohs(at.sin_port);
  stop_ = false;
  on_ = true;
  thread_ = std::thread([this] { run(); });
  return true;
}

void ReferenceInstrument::switchOff() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  on_ = false;
  // Off is an adapter unplugged: no such port. A link left to the closed terminal
  // would name whichever terminal another program opens next under its number.
  if (!link_.empty()) ::unlink(link_.c_str());
  closeFd(listener_);
  closeFd(slaveKeeper_);
  closeFd(master_);
}

std::string ReferenceInstrument::answer(const std::string& line, Mode mode) {
  const std::string c = command(line);
  std::lock_guard<std::mutex> lock(errorMutex_);
  if (c.empty()) return {};
  if (c == "*IDN?") return kIdentity;
  if (c == "*OPC?") return "1";
  if (c == "*CLS" || c == "*RST") {
    errorPending_ = false;
    return {};
  }
  if (isErrorQuery(c)) {
    const bool error = errorPending_;
    errorPending_ = false;
    return error ? "-222,\"Data out of range\"" : "+0,\"No error\"";
  }
  if (isReadingQuery(c)) {
    const unsigned long n = readings_++;
    if (mode == Mode::Garble) return "#\x7f~ERR";
    if (mode == Mode::NotANumber) return "+9.91000E+37";
    if (mode == Mode::Error) errorPending_ = true;
    const double noise = (n % 2 == 0 ? 1.0 : -1.0) * noise_;
    // NR3 with a point whatever the locale, as instruments send it.
    char text[48] = {'+'};
    const double value = (trueValue_ + noise) / scale_;
    const auto [end, error] = std::to_chars(text + 1, text + sizeof text, value, std::chars_format::scientific, 7);
    if (error != std::errc()) return "9.91E37";
    const std::string shown(value < 0 ? text + 1 : text, end);
    return shown;
  }
  errorPending_ = true;  // -113, undefined header: nothing answers it
  return {};
}

// One line of the bench's traffic: what came on fd is answered on it, line by line.
void ReferenceInstrument::run() {
  struct Due {
    Clock::time_point at;
    int fd;
    std::string text;
  };
  std::deque<Due> due;
  int client = -1;
  std::string serialInbox, clientInbox;
  Mode exchangeMode = mode_.load();
  while (!stop_) {
    std::vector<pollfd> fds{{master_, POLLIN, 0}, {listener_, POLLIN, 0}};
    if (client >= 0) fds.push_back({client, POLLIN, 0});
    int wait = 20;  // looks at stop_ this often
    if (!due.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due.front().at - Clock::now()).count();
      wait = static_cast<int>(std::clamp<long long>(left, 0, wait));
    }
    poll(fds.data(), fds.size(), wait);
    while (!due.empty() && due.front().at <= Clock::now()) {
      const std::string bytes = due.front().text + "\n";
      // A controller that went meanwhile gets nothing; a socket is written without SIGPIPE.
      if (due.front().fd == master_) {
        [[maybe_unused]] const ssize_t sent = ::write(master_, bytes.data(), bytes.size());
      } else if (due.front().fd == client) {
        [[maybe_unused]] const ssize_t sent = ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      }
      due.pop_front();
    }
    if ((fds[1].revents & POLLIN) != 0) {
      const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (accepted >= 0) {
        closeFd(client);  // one controller at a time, as such meters take
        client = accepted;
        clientInbox.clear();
      }
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (i == 1 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      const int fd = fds[i].fd;
      std::string& inbox = fd == master_ ? serialInbox : clientInbox;
      char buffer[256];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) {
        if (fd == client && n == 0) closeFd(client);
        continue;
      }
      inbox.append(buffer, static_cast<std::size_t>(n));
      for (auto end = inbox.find('\n'); end != std::string::npos; end = inbox.find('\n')) {
        const std::string line = inbox.substr(0, end);
        inbox.erase(0, end + 1);
        // A change of the bench's mode takes effect at the next reading: the
        // error query after a reading answers as that reading did, so a fault
        // always shows at the reading query.
        const std::string c = command(line);
        if (isReadingQuery(c)) exchangeMode = mode_.load();
        const Mode mode = isReadingQuery(c) || isErrorQuery(c) ? exchangeMode : mode_.load();
        const std::string reply = answer(line, mode);
        if (reply.empty() || mode == Mode::Silent) continue;
        const int delay = mode == Mode::Slow ? kSlowMs : 0;
        due.push_back({Clock::now() + std::chrono::milliseconds(delay), fd, reply});
      }
    }
  }
  closeFd(client);
}

}  // namespace trimwell::sim
