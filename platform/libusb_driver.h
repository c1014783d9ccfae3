#pragma once
// The USB driver layer on libusb-1.0, for real interfaces.
//
// Interface number n is the n-th attached device of a supported vendor (0x7A3C or
// 0x0547), counted in bus and port order so that the numbering stays put while the
// same devices stay plugged. A vendor request is one control transfer built from the
// request block; libusb's errors are turned into errno values here and nowhere else.

#include <cstdint>
#include <map>
#include <memory>

#include "platform/usb_driver.h"

struct libusb_context;
struct libusb_device_handle;

namespace trimwell {

// The setup fields of a control transfer, from a 10-byte vendor request block.
struct ControlSetup {
  std::uint8_t requestType = 0;  // bmRequestType
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  bool deviceToHost = false;
};
bool controlSetupFromBlock(const std::uint8_t* block, std::size_t length, ControlSetup& setup);

// errno value for a libusb error code.
std::uint32_t errnoFromLibusb(int libusbError);

class LibusbDriver final : public UsbDriver {
 public:
  static constexpr unsigned kTransferTimeoutMs = 2000;

  LibusbDriver();
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  // False when libusb could not start (then every open fails with ENODEV).
  bool available() const { return context_ != nullptr; }

  DeviceHandle open(const std::string& path, std::uint32_t& error) override;
  bool control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input, std::size_t inputLength,
               std::uint8_t* output, std::size_t outputLength, std::size_t& returned,
               std::uint32_t& error) override;
  void close(DeviceHandle handle) override;

 private:
  libusb_context* context_ = nullptr;
  std::map<DeviceHandle, libusb_device_handle*> handles_;
  DeviceHandle nextHandle_ = 1;
};

}  // namespace trimwell
