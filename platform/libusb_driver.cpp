#include "platform/libusb_driver.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

namespace trimwell {
namespace {

struct Candidate {
  std::array<std::uint8_t, 8> location{};  // bus, then the port path
  libusb_device* device = nullptr;
};

bool isAccepted(libusb_device* device, const LibusbDriver::Acceptance& accepts) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != 0) return false;
  return accepts && accepts(descriptor.idVendor, descriptor.idProduct);
}

void writeDescriptor(const libusb_device_descriptor& d, std::uint8_t* out) {
  const std::uint8_t bytes[kDeviceDescriptorLength] = {
      d.bLength, d.bDescriptorType, static_cast<std::uint8_t>(d.bcdUSB), static_cast<std::uint8_t>(d.bcdUSB >> 8),
      d.bDeviceClass, d.bDeviceSubClass, d.bDeviceProtocol, d.bMaxPacketSize0,
      static_cast<std::uint8_t>(d.idVendor), static_cast<std::uint8_t>(d.idVendor >> 8),
      static_cast<std::uint8_t>(d.idProduct), static_cast<std::uint8_t>(d.idProduct >> 8),
      static_cast<std::uint8_t>(d.bcdDevice), static_cast<std::uint8_t>(d.bcdDevice >> 8), d.iManufacturer,
      d.iProduct, d.iSerialNumber, d.bNumConfigurations};
  std::copy(std::begin(bytes), std::end(bytes), out);
}

}  // namespace

bool controlSetupFromBlock(const std::uint8_t* block, std::size_t length, ControlSetup& setup) {
  if (block == nullptr || length < kVendorRequestBlockLength) return false;
  const std::uint8_t direction = block[0];
  const std::uint8_t requestType = block[1];
  const std::uint8_t recipient = block[2];
  if (direction > 1 || requestType > 3 || recipient > 31) return false;
  setup.deviceToHost = direction == 1;
  setup.requestType = static_cast<std::uint8_t>((direction << 7) | (requestType << 5) | recipient);
  setup.request = block[4];
  setup.value = static_cast<std::uint16_t>(block[6] | block[7] << 8);
  setup.index = static_cast<std::uint16_t>(block[8] | block[9] << 8);
  setup.writesEeprom = (block[kVendorRequestFlagsOffset] & kVendorRequestWritesEeprom) != 0;
  return true;
}

std::uint32_t errnoFromLibusb(int libusbError) {
  switch (libusbError) {
    case LIBUSB_ERROR_IO: return EIO;
    case LIBUSB_ERROR_INVALID_PARAM: return EINVAL;
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND: return ENOENT;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_INTERRUPTED: return EINTR;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_NOT_SUPPORTED: return ENOTSUP;
    default: return EIO;
  }
}

unsigned transferTimeoutMs(const ControlSetup& setup, std::size_t length) {
  if (!setup.writesEeprom) return kRequestTimeoutMs;
  const auto pages = static_cast<unsigned>((length + kEepromPageBytes - 1) / kEepromPageBytes);
  return kRequestTimeoutMs + pages * kEepromPageWriteMs * kEepromTimeoutMargin;
}

LibusbDriver::LibusbDriver(Acceptance accepts) : accepts_(std::move(accepts)) {
  if (libusb_init(&context_) != 0) context_ = nullptr;
}

LibusbDriver::~LibusbDriver() {
  for (auto& [handle, device] : handles_) libusb_close(device);
  if (context_ != nullptr) libusb_exit(context_);
}

DeviceHandle LibusbDriver::open(const std::string& path, std::uint32_t& error) {
  const int number = interfaceNumberFromPath(path);
  if (context_ == nullptr || number < 0) {
    error = context_ == nullptr ? ENODEV : ENOENT;
    return kInvalidHandle;
  }
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  if (count < 0) {
    error = errnoFromLibusb(static_cast<int>(count));
    return kInvalidHandle;
  }
  std::vector<Candidate> candidates;
  for (ssize_t i = 0; i < count; ++i) {
    if (!isAccepted(list[i], accepts_)) continue;
    Candidate c;
    c.device = list[i];
    c.location[0] = libusb_get_bus_number(list[i]);
    libusb_get_port_numbers(list[i], c.location.data() + 1, static_cast<int>(c.location.size() - 1));
    candidates.push_back(c);
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.location < b.location; });
  DeviceHandle result = kInvalidHandle;
  error = ENOENT;
  if (static_cast<std::size_t>(number) < candidates.size()) {
    libusb_device_handle* device = nullptr;
    const int rc = libusb_open(candidates[static_cast<std::size_t>(number)].device, &device);
    if (rc == 0) {
      result = nextHandle_++;
      handles_[result] = device;
    } else {
      error = errnoFromLibusb(rc);
    }
  }
  libusb_free_device_list(list, 1);
  return result;
}

bool LibusbDriver::control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                           std::size_t inputLength, std::uint8_t* output, std::size_t outputLength,
                           std::size_t& returned, std::uint32_t& error) {
  returned = 0;
  const auto it = handles_.find(handle);
  if (it == handles_.end()) {
    error = EBADF;
    return false;
  }
  libusb_device_handle* device = it->second;
  switch (code) {
    case kControlGetDescriptor: {
      libusb_device_descriptor descriptor{};
      const int rc = libusb_get_device_descriptor(libusb_get_device(device), &descriptor);
      if (rc != 0) {
        error = errnoFromLibusb(rc);
        return false;
      }
      std::uint8_t bytes[kDeviceDescriptorLength];
      writeDescriptor(descriptor, bytes);
      returned = std::min(outputLength, kDeviceDescriptorLength);
      if (output != nullptr) std::copy(bytes, bytes + returned, output);
      return true;
    }
    case kControlPresence: {
      // A standard GET_STATUS answers only while the device is still attached.
      std::uint8_t status[2] = {0, 0};
      const int rc = libusb_control_transfer(device, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_STATUS, 0, 0, status,
                                             sizeof status, kRequestTimeoutMs);
      if (rc < 0) {
        error = errnoFromLibusb(rc);
        return false;
      }
      returned = std::min<std::size_t>(outputLength, 4);
      return true;
    }
    case kControlVendorRequest: {
      ControlSetup setup;
      // More than kMaxControlTransfer bytes libusb refuses itself (INVALID_PARAM, so
      // EINVAL), as usbfs would; the 16-bit wLength is all that needs a check here.
      if (!controlSetupFromBlock(input, inputLength, setup) || outputLength > 0xFFFF) {
        error = EINVAL;
        return false;
      }
      const int rc = libusb_control_transfer(device, setup.requestType, setup.request, setup.value, setup.index,
                                             output, static_cast<std::uint16_t>(outputLength),
                                             transferTimeoutMs(setup, outputLength));
      if (rc < 0) {
        error = errnoFromLibusb(rc);
        return false;
      }
      returned = static_cast<std::size_t>(rc);
      // Part of a write is a failed write: the sensor or interface holds half of it.
      if (!setup.deviceToHost && returned < outputLength) {
        error = EIO;
        return false;
      }
      return true;
    }
    default:
      error = EINVAL;
      return false;
  }
}

void LibusbDriver::close(DeviceHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return;
  libusb_close(it->second);
  handles_.erase(it);
}

}  // namespace trimwell
