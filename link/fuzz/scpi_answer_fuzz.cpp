// libFuzzer target: a reference instrument answering with any bytes, on a real
// socket: its identity, then readings and their error queries, until the line
// ends. The client may refuse, never hand on a reading that is not a finite
// number, nor read past what it was given.
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "link/scpi_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return 0;
  // The instrument's whole answer waits on the line, then the line ends.
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = write(ends[1], data + sent, size - sent);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  shutdown(ends[1], SHUT_WR);
  trimwell::InstrumentLine line;
  line.adopt(ends[0]);
  trimwell::ScpiClient client(line, 20);
  trimwell::InstrumentIdentity identity;
  std::string problem;
  client.identify(identity, problem);
  for (int i = 0; i < 64 && line.isOpen(); ++i) {
    double value = NAN;
    if (client.read("READ?", 0.001, value, problem) == trimwell::ReadingFault::None && !std::isfinite(value)) {
      std::abort();  // a reading that is no finite number was handed on
    }
  }
  close(ends[1]);
  return 0;
}
