#pragma once
// A loopback TCP port nothing listens on now, for a server a test starts (0 when
// none could be had): servers of tests run at once each listen on their own.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace trimwell::test {

inline int freeLoopbackPort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool found = bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(probe);
  return found ? ntohs(address.sin_port) : 0;
}

}  // namespace trimwell::test
