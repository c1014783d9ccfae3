#include "link/device_link.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "link/serial_bridge.h"
#include "link/vendor_request.h"

namespace trimwell {

const std::uint16_t supportedInterfaceMask = kSupportedInterfaceMaskDefault;

namespace {

constexpr std::uint32_t kErrorNoBuffer = 1;
constexpr std::uint32_t kErrorShortDescriptor = 2;
constexpr std::uint16_t kWirelessMaskBit = 0x8000;

struct AcceptedProduct {
  std::uint16_t maskBit;
  std::uint16_t vendorId;
  int productId;  // -1: any product of the vendor
};

constexpr AcceptedProduct kAcceptance[] = {
    // mask bit  vendor  product (-1: any of the vendor's)
    {0x0100,     0x7A3C, 0x0002},
    {0x0200,     0x7A3C, 0x0003},
    {0x4000,     0x7A3C, 0x0006},
    {0x2000,     0x7A3C, 0x0005},
    {0x8000,     0x7A3C, 0x0007},
    {0x0400,     0x7A3C, 0x0101},
    {0x1000,     0x7A3C, 0x0100},
    {0x0001,     0x0547, -1},
};

}  // namespace

bool isSupportedInterface(std::uint16_t vendorId, std::uint16_t productId) {
  return std::any_of(std::begin(kAcceptance), std::end(kAcceptance), [&](const AcceptedProduct& row) {
    return (supportedInterfaceMask & row.maskBit) != 0 && row.vendorId == vendorId &&
           (row.productId < 0 || row.productId == productId);
  });
}

std::string devicePath(int interfaceNumber) { return kDevicePathPrefix + std::to_string(interfaceNumber); }

DeviceLink::~DeviceLink() { close(); }

DeviceHandle DeviceLink::openHandle(int number, std::uint32_t& error) {
  if (number == kWirelessInterface) {
    if ((supportedInterfaceMask & kWirelessMaskBit) == 0) {
      error = 0;
      return kInvalidHandle;
    }
    return bridgeConnect(error);
  }
  return usbDriver().open(devicePath(number), error);
}

bool DeviceLink::open(int number) {
  close();
  interfaceNumber = number;
  std::uint32_t error = 0;
  handle_ = openHandle(number, error);
  if (handle_ == kInvalidHandle) {
    lastError = error;
    return false;
  }
  return true;
}

bool DeviceLink::probe(int number, bool identify, std::uint16_t* vendorOut, std::uint16_t* productOut) {
  DeviceLink link;
  if (!link.open(number)) return false;
  if (!identify) {
    link.close();
    return true;
  }
  std::uint16_t vendor = 0, product = 0;
  const bool read = link.getIds(&vendor, &product);
  link.close();
  if (!read) return false;
  if (vendorOut != nullptr) *vendorOut = vendor;
  if (productOut != nullptr) *productOut = product;
  return isSupportedInterface(vendor, product);
}

bool DeviceLink::close() {
  // The bridge's port is shared by every link to interface 9 and stays open.
  if (handle_ != kInvalidHandle && interfaceNumber != kWirelessInterface) usbDriver().close(handle_);
  handle_ = kInvalidHandle;
  return true;
}

bool DeviceLink::control(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength,
                         std::uint8_t* output, std::size_t outputLength, std::size_t* returnedOut) {
  std::size_t returned = 0;
  std::uint32_t error = 0;
  bool ok = false;
  if (interfaceNumber == kWirelessInterface) {
    ok = handle_ != kInvalidHandle && bridgeControl(code, input, inputLength, output, outputLength, returned, error);
    if (handle_ == kInvalidHandle) error = EBADF;
  } else {
    ok = usbDriver().control(handle_, code, input, inputLength, output, outputLength, returned, error);
  }
  if (!ok) {
    returned = 0;
    lastError = error;
  }
  if (returnedOut != nullptr) *returnedOut = returned;
  return ok;
}

bool DeviceLink::isAlive() {
  std::array<std::uint8_t, 4> answer{};
  return control(kControlPresence, nullptr, 0, answer.data(), answer.size());
}

bool DeviceLink::getDeviceDescriptor(std::uint8_t* buffer) {
  if (buffer == nullptr) {
    lastError = kErrorNoBuffer;
    return false;
  }
  std::size_t returned = 0;
  const bool ok = control(kControlGetDescriptor, nullptr, 0, buffer, kDeviceDescriptorLength, &returned);
  if (returned < kDeviceDescriptorLength) {
    lastError = kErrorShortDescriptor;
    return false;
  }
  lastError = 0;
  return ok;
}

bool DeviceLink::getIds(std::uint16_t* vendorOut, std::uint16_t* productOut) {
  std::array<std::uint8_t, kDeviceDescriptorLength> descriptor{};
  if (!getDeviceDescriptor(descriptor.data())) return false;
  if (vendorOut != nullptr) *vendorOut = static_cast<std::uint16_t>(descriptor[8] | descriptor[9] << 8);
  if (productOut != nullptr) *productOut = static_cast<std::uint16_t>(descriptor[10] | descriptor[11] << 8);
  return true;
}

namespace {

std::array<std::uint8_t, kVendorRequestBlockLength> requestBlock(std::uint8_t direction, int request, int value,
                                                                  int index) {
  VendorRequestBlock block;
  block.direction = direction;
  block.request = static_cast<std::uint8_t>(request);
  block.value = static_cast<std::uint16_t>(value);
  block.index = static_cast<std::uint16_t>(index);
  if (writesEeprom(request, direction == VendorRequestBlock::kHostToDevice)) {
    block.driverFlags = kVendorRequestWritesEeprom;
  }
  return block.toBytes();
}

}  // namespace

bool DeviceLink::vendorRead(int request, int value, int index, std::uint8_t* buffer, std::size_t length,
                            std::size_t* returnedOut) {
  const auto bytes = requestBlock(VendorRequestBlock::kDeviceToHost, request, value, index);
  return control(kControlVendorRequest, bytes.data(), bytes.size(), buffer, buffer != nullptr ? length : 0,
                 returnedOut);
}

bool DeviceLink::vendorWrite(int request, int value, int index, const std::uint8_t* buffer, std::size_t length) {
  const auto bytes = requestBlock(VendorRequestBlock::kHostToDevice, request, value, index);
  // The driver carries host-to-device data in the output position and only reads it.
  return control(kControlVendorRequest, bytes.data(), bytes.size(), const_cast<std::uint8_t*>(buffer),
                 buffer != nullptr ? length : 0);
}

}  // namespace trimwell
