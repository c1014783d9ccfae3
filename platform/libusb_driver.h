#pragma once
// The USB driver layer on libusb-1.0, for real interfaces.
//
// Interface number n is the n-th attached device whose vendor and product the
// station accepts, counted in bus and port order so that the numbering stays put
// while the same devices stay plugged; other devices never take a number. A vendor
// request is one control transfer built from the request block; libusb's errors are
// turned into errno values here and nowhere else.

#include <cstdint>
#include <functional>
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
  bool writesEeprom = false;  // the block's kVendorRequestWritesEeprom
};
bool controlSetupFromBlock(const std::uint8_t* block, std::size_t length, ControlSetup& setup);

// errno value for a libusb error code.
std::uint32_t errnoFromLibusb(int libusbError);

// How long one control transfer may take. A short request gets a few seconds; one
// that writes the sensor's EEPROM (as its block says) as long as a slow EEPROM needs
// for the whole transfer: 5 ms per 32-byte page, four times
// over, on top of the short timeout. The largest transfer (4096 bytes, 128 pages)
// so gets 3000 + 128 x 20 = 5560 ms.
constexpr unsigned kRequestTimeoutMs = 3000;
constexpr unsigned kEepromPageBytes = 32;
constexpr unsigned kEepromPageWriteMs = 5;
constexpr unsigned kEepromTimeoutMargin = 4;
unsigned transferTimeoutMs(const ControlSetup& setup, std::size_t length);

class LibusbDriver final : public UsbDriver {
 public:
  // Whether a device of this vendor and product is an interface the station serves.
  using Acceptance = std::function<bool(std::uint16_t vendor, std::uint16_t product)>;

  explicit LibusbDriver(Acceptance accepts);
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
  Acceptance accepts_;
  libusb_context* context_ = nullptr;
  std::map<DeviceHandle, libusb_device_handle*> handles_;
  DeviceHandle nextHandle_ = 1;
};

}  // namespace trimwell
