#include "platform/usb_driver.h"

#include <cerrno>
#include <cstring>

namespace trimwell {
namespace {

class NoDevicesDriver final : public UsbDriver {
 public:
  DeviceHandle open(const std::string&, std::uint32_t& error) override {
    error = ENOENT;
    return kInvalidHandle;
  }
  bool control(DeviceHandle, std::uint32_t, const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t,
               std::size_t& returned, std::uint32_t& error) override {
    returned = 0;
    error = EBADF;
    return false;
  }
  void close(DeviceHandle) override {}
};

NoDevicesDriver noDevices;
UsbDriver* installed = &noDevices;

}  // namespace

UsbDriver& usbDriver() { return *installed; }

UsbDriver* installUsbDriver(UsbDriver* driver) {
  UsbDriver* previous = installed;
  installed = driver != nullptr ? driver : &noDevices;
  return previous;
}

int interfaceNumberFromPath(const std::string& path) {
  const std::size_t prefix = std::strlen(kDevicePathPrefix);
  if (path.size() <= prefix || path.compare(0, prefix, kDevicePathPrefix) != 0) return -1;
  int number = 0;
  for (std::size_t i = prefix; i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9' || number > 1000) return -1;
    number = number * 10 + (path[i] - '0');
  }
  return number;
}

}  // namespace trimwell
