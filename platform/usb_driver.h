#pragma once
// The USB driver layer: what the station asks of the interface's driver.
//
// A device is opened by its device path ("\\.\qzusb-" and the interface number) and
// answers three control codes. Every call reports a system error code on failure
// (errno values: ENOENT when there is no such device, ENODEV when it has gone, EIO,
// ETIMEDOUT, ...). Implementations: the libusb one for real interfaces and the
// simulated one of sim/.

#include <cstddef>
#include <cstdint>
#include <string>

namespace trimwell {

using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kInvalidHandle = -1;

// Control codes of the driver, as the interface's driver defines them.
constexpr std::uint32_t kControlGetDescriptor = 0x222004;  // out: 18-byte device descriptor
constexpr std::uint32_t kControlPresence = 0x22205C;       // out: 4 bytes, content ignored
constexpr std::uint32_t kControlVendorRequest = 0x222059;  // in: VendorRequestBlock; out: the data

constexpr std::size_t kDeviceDescriptorLength = 18;
// Linux usbfs moves at most this many data bytes in one control transfer. Every
// driver of this layer keeps to it, so that a longer request fails the same way,
// simulated or real, before anything goes out.
constexpr std::size_t kMaxControlTransfer = 4096;
constexpr std::size_t kVendorRequestBlockLength = 10;
// Byte 5 of the request block holds what the caller tells the driver about the
// request, so that the driver need not know any request's code.
constexpr std::size_t kVendorRequestFlagsOffset = 5;
constexpr std::uint8_t kVendorRequestWritesEeprom = 0x01;  // the device writes its EEPROM: wait longer
constexpr const char* kDevicePathPrefix = "\\\\.\\qzusb-";

class UsbDriver {
 public:
  virtual ~UsbDriver() = default;

  // A handle for the device at path, or kInvalidHandle with error set.
  virtual DeviceHandle open(const std::string& path, std::uint32_t& error) = 0;
  // One control request. For kControlVendorRequest the data of a host-to-device
  // request travels in output, as the driver expects. returned is the number of
  // bytes transferred (0 on failure); error is set when the answer is false.
  virtual bool control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input, std::size_t inputLength,
                       std::uint8_t* output, std::size_t outputLength, std::size_t& returned,
                       std::uint32_t& error) = 0;
  virtual void close(DeviceHandle handle) = 0;
};

// The driver every DeviceLink uses. Until one is installed, a driver with no devices.
UsbDriver& usbDriver();
// Installs driver (not owned; it must outlive its use) and returns the previous one;
// nullptr restores the driver with no devices.
UsbDriver* installUsbDriver(UsbDriver* driver);

// The interface number in a device path, or -1 when the path is not one of ours.
int interfaceNumberFromPath(const std::string& path);

}  // namespace trimwell

namespace trimwell {

// Installs a driver for the lifetime of this object.
class UsbDriverScope {
 public:
  explicit UsbDriverScope(UsbDriver& driver) : previous_(installUsbDriver(&driver)) {}
  ~UsbDriverScope() { installUsbDriver(previous_); }
  UsbDriverScope(const UsbDriverScope&) = delete;
  UsbDriverScope& operator=(const UsbDriverScope&) = delete;

 private:
  UsbDriver* previous_;
};

}  // namespace trimwell
