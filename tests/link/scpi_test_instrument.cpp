// A stand-alone SCPI meter for the client's tests, written apart from the bench's
// own: a process that can be stopped and started again. It serves one line, on a
// loopback TCP port (--listen PORT) or on a pseudo-terminal reached through a link
// (--pty LINK), and says "ready" on its standard output once it can be reached.
//   *IDN?         -> Test Bench,TI-1,SERIAL,0.1  (--serial SERIAL, else TI-0001)
//   READ?, MEAS?  -> the n-th reading is n, in NR3 ("+1.000000E+00")
//   SYST:ERR?     -> 0,"No error"
// --late-first MS answers the first reading that late; --answer TEXT answers every
// reading with TEXT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Options {
  int port = 0;
  std::string link;
  std::string serial = "TI-0001";
  int lateFirstMs = 0;
  std::string answer;
};

std::string reply(const std::string& line, const Options& o, int& readings) {
  if (line == "*IDN?") return "Test Bench,TI-1," + o.serial + ",0.1";
  if (line == "SYST:ERR?") return "0,\"No error\"";
  if (line == "READ?" || line == "MEAS?" || line == "FETC?") {
    ++readings;
    if (!o.answer.empty()) return o.answer;
    char text[32];
    std::snprintf(text, sizeof text, "%+.6E", static_cast<double>(readings));
    return text;
  }
  return {};
}

void serve(int fd, const Options& o, bool socket) {
  std::string inbox;
  int readings = 0;
  char buffer[256];
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, -1) < 0) return;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0 && socket) return;
    if (n <= 0) continue;
    inbox.append(buffer, static_cast<std::size_t>(n));
    for (auto end = inbox.find('\n'); end != std::string::npos; end = inbox.find('\n')) {
      std::string line = inbox.substr(0, end);
      inbox.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const bool firstReading = readings == 0;
      const std::string text = reply(line, o, readings);
      if (text.empty()) continue;
      if (firstReading && readings == 1 && o.lateFirstMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(o.lateFirstMs));
      }
      const std::string out = text + "\n";
      if (socket) {
        send(fd, out.data(), out.size(), MSG_NOSIGNAL);
      } else if (write(fd, out.data(), out.size()) < 0) {
        return;
      }
    }
  }
}

int servePty(const Options& o) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  char name[128] = {};
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) return 1;
  const int keeper = open(name, O_RDWR | O_NOCTTY);
  termios line{};
  if (keeper >= 0 && tcgetattr(keeper, &line) == 0) {
    cfmakeraw(&line);
    tcsetattr(keeper, TCSANOW, &line);
  }
  unlink(o.link.c_str());
  if (symlink(name, o.link.c_str()) != 0) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  serve(master, o, false);
  return 0;
}

int serveTcp(const Options& o) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  at.sin_port = htons(static_cast<std::uint16_t>(o.port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 2) != 0) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  while (true) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) return 1;
    serve(client, o, true);
    close(client);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--listen") o.port = std::atoi(value.c_str());
    if (option == "--pty") o.link = value;
    if (option == "--serial") o.serial = value;
    if (option == "--late-first") o.lateFirstMs = std::atoi(value.c_str());
    if (option == "--answer") o.answer = value;
  }
  return o.link.empty() ? serveTcp(o) : servePty(o);
}
