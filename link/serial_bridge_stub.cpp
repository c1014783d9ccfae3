// Until the wireless interface is supported, interface 9 is simply absent.
#include <cerrno>

#include "link/serial_bridge.h"

namespace trimwell {

DeviceHandle bridgeConnect(std::uint32_t& error) {
  error = ENODEV;
  return kInvalidHandle;
}

bool bridgeControl(std::uint32_t, const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t,
                   std::size_t& returned, std::uint32_t& error) {
  returned = 0;
  error = ENODEV;
  return false;
}

}  // namespace trimwell
